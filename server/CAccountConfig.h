// The service part of the configuration: the accounts the authentication server knows, the
// disks each account may use, and the settings of the two service servers. Read from the
// "[service]" table and the "[[account]]" entries of the server's TOML file (format in README,
// "Accounts and the service servers").
#pragma once

#include <toml++/toml.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::server {

// One disk an account may use. The client is handed a capability for diskId and connects to
// server on the disk port.
struct AccountDisk {
    std::string diskId; // a [[disk]] id of the disk server named below (UTF-8)
    std::string name;   // shown in the explorer's disk list (UTF-8)
    std::string server; // host of the disk server holding it
};

struct AccountConfig {
    std::string user;         // as typed at login, compared exactly
    std::string domain;       // lower case; compared without regard to case
    std::string passwordHash; // argon2id string; empty: password logins refused (session keys only)
    std::string displayName;
    int64_t userNumber = 0;
    std::vector<AccountDisk> disks;

    // "user@domain": the login identifier and the key of session keys.
    std::string identifier() const { return user + "@" + domain; }
};

struct ServiceConfig {
    uint16_t authPort = 10020;
    uint16_t diskInfoPort = 22222;
    std::filesystem::path stateDatabase;   // session keys; default beside the configuration
    std::filesystem::path installationKey; // capability key file; default beside the configuration
    int capabilityLifetimeHours = 48;      // at least 24: the library logs in again by itself
    int diskInfoWindowSeconds = 300;       // the address rule's window after a login
    // Also answer GetDiskInfo without a ticket, for any client on the address an account logged
    // in from within the window (clients that cannot send the ticket; exposes the disk list and
    // its disk ids to everyone behind that address).
    bool diskInfoAddressRule = false;
    int maxConnections = 512;   // per service server
    int maxPerAddress = 64;     // per service server and client address
    int idleTimeoutMs = 60000;  // a silent connection is closed
    int frameTimeoutMs = 10000; // a whole frame must arrive within this
    int loginTimeoutMs = 30000; // a connection not logged in (or served) by then is closed
    std::vector<AccountConfig> accounts;
    // "[store] postgresql": the shared store's connection URI; empty: the embedded store.
    std::string postgresql;
    // Whether the file has a [service] table (with a shared store, the accounts may all live in
    // the store, and the table alone says that this process serves them).
    bool serviceTableGiven = false;

    // Accounts in the file, or a service over the shared store.
    bool enabled() const { return !accounts.empty() || (!postgresql.empty() && serviceTableGiven); }
    // The account "user@domain" (domain case-insensitive), or nullptr.
    const AccountConfig* findAccount(std::string_view identifier) const;
};

class CConfigReader;

// Reads "[service]", "[store]" and "[[account]]" from a parsed document. defaultServer is the
// address the disk server listens on (the default server of an account disk); baseDir resolves
// relative paths. False (the message in reader) on any bad or unknown entry.
bool readServiceConfig(const toml::table& document, const std::filesystem::path& baseDir,
                       const std::string& defaultServer, ServiceConfig& service,
                       CConfigReader& reader);

} // namespace tavik::server
