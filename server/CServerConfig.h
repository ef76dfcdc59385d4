// The server's configuration: where it listens, its limits, and the disks it serves. Read from
// a TOML file (format in README, "tavik-server") or built for one folder by --demo. Reading is
// strict: an unknown section or key, or a value of the wrong type or range, refuses the whole
// file with a message naming file, line and key.
#pragma once

#include "server/CAccountConfig.h"
#include "server/CDiskCapability.h"
#include "server/CLogOutput.h"
#include "server/CPasswordHash.h"
#include "server/CSpaceLedger.h"
#include "tls/CTlsContext.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::server {

// One remote disk: a folder of this machine served under a disk id.
struct DiskConfig {
    std::string id;                        // the login "id" (UTF-8)
    std::string name;                      // display name (UTF-8)
    std::filesystem::path root;            // canonical absolute folder
    std::optional<CPasswordHash> password; // none: any password is accepted
    std::optional<uint64_t> quota;         // bytes; none: the file system's numbers
    // Only capability ids (handed out by the disk-information server) log in to this disk; its
    // plain id is refused like an unknown one.
    bool capabilityOnly = false;
    // Every command that would change the disk is refused (23009).
    bool readOnly = false;
    // Space promised to running writes, shared by every session of the disk (and by copies of
    // the configuration).
    std::shared_ptr<CSpaceLedger> ledger = std::make_shared<CSpaceLedger>();
};

// "copyex" logs in to another server with the password its client gave: by default over TLS
// wherever that server speaks it, and in plain only with a server that does not.
struct CopySecurity {
    enum class Mode { Off, Preferred, Required };
    Mode mode = Mode::Preferred;
    // The other servers' certificate fingerprints (Fingerprint.h's form). Empty: the chain must
    // lead to one of the system's CAs and name the address the copy goes to.
    std::vector<std::string> fingerprints;
};

class CServerConfig {
public:
    // IPv4 and IPv6 literals to listen on, every server on each. The first is the host the disk
    // list names for this server's own disks, so IPv4 loopback comes first by default: clients
    // that only speak IPv4 keep finding the disks.
    std::vector<std::string> addresses{"127.0.0.1", "::1"};
    // True until the file or the command line names addresses: the default's IPv6 loopback is
    // then skipped on a machine without IPv6 instead of stopping the server.
    bool addressesDefaulted = true;
    uint16_t port = 9553;
    int maxConnections = 64;
    // A connection that sends nothing for this long is closed.
    int idleTimeoutMs = 300000;
    // Budget for the rest of a packet once its first byte arrived, and for each send.
    int requestTimeoutMs = 30000;
    // A connection that has not logged in this long after it was accepted is closed.
    int loginTimeoutMs = 30000;
    // Connections one client address may hold at once.
    int maxConnectionsPerAddress = 16;
    int maxOpenFiles = 32;
    // Program names "remotecmd" may run (first word of the command, exact match).
    std::vector<std::string> allowedCommands;
    int commandTimeoutMs = 10000;
    // "host:port" of the metrics endpoint; empty: none.
    std::string metricsAddress;
    // On SIGTERM, how long running requests (transfers) may go on before they are ended.
    int drainTimeoutMs = 30000;
    // Where "copyex" may connect: "address" (any port), "address:port" or "[v6]:port". Empty:
    // nowhere.
    std::vector<std::string> copyTargets;
    // How "copyex" secures its connection to the other server (copy_tls, copy_fingerprints).
    CopySecurity copySecurity;
    bool logCommands = true;
    // The certificate and key every listener serves TLS with (tls_certificate / tls_key); none:
    // plain connections only. A client that opens with a TLS handshake gets TLS, any other plain.
    std::shared_ptr<const tls::CTlsContext> tls;
    // Plain connections are refused (and logged) rather than served.
    bool requireTls = false;
    // Which lines are written, and in which form (see CLogOutput).
    CLogOutput::Level logLevel = CLogOutput::Level::Info;
    CLogOutput::Format logFormat = CLogOutput::Format::Text;
    std::vector<DiskConfig> disks;
    // Accounts and the two service servers; enabled when there are accounts.
    ServiceConfig service;
    // The installation's shared key for capability disk ids; none: capability logins fail.
    std::optional<CDiskCapability::Key> capabilityKey;
    // Things worth saying at start that do not stop the server (passwords kept in clear).
    std::vector<std::string> warnings;

    // Parses TOML text; relative disk roots are taken relative to baseDir; source names the
    // text in messages. On failure returns nullopt and describes the problem in error.
    static std::optional<CServerConfig> fromToml(std::string_view text,
                                                 const std::filesystem::path& baseDir,
                                                 std::string& error,
                                                 std::string_view source = "configuration");
    // Reads the file and, when accounts or capability-only disks need it, the installation key
    // (created beside the configuration on first use).
    static std::optional<CServerConfig> fromFile(const std::filesystem::path& file,
                                                 std::string& error);
    // True when some disk or account needs the installation key.
    bool needsCapabilityKey() const;
    // Serves one folder as the disk "demo" (or diskId) without password or quota.
    static std::optional<CServerConfig> demo(const std::filesystem::path& folder,
                                             const std::string& diskId, std::string& error);

    const DiskConfig* findDisk(std::string_view id) const;
    // Whether an account's disk is one of the [[disk]] entries this server serves.
    bool servesHere(const AccountDisk& disk) const;
    // The accounts ("user@domain", comma-separated) listing this server's disk diskId; empty
    // when none of the file's accounts does (a shared store may still know one).
    std::string accountsOf(std::string_view diskId) const;
    // True when copyTargets lets "copyex" connect to ip:port (ip exactly as listed).
    bool copyTargetAllowed(std::string_view ip, uint16_t port) const;
    // A disk anyone may log in to (no password) while the server listens on an address other
    // machines can reach; null when there is none. The program refuses to start with one unless
    // told --allow-open.
    const DiskConfig* openDiskExposed() const;
    // The host the disk list names for disks served here: the first address.
    const std::string& primaryAddress() const { return addresses.front(); }
    // Checks a list of addresses to listen on (IPv4 or IPv6 literals, none twice, at least one);
    // false with error naming the bad one.
    static bool validAddresses(const std::vector<std::string>& list, std::string& error);
};

} // namespace tavik::server
