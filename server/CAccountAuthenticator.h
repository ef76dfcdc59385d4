// Decides a login of the authentication server: an account identifier ("user@domain") with a
// password or a session key, from one client address.
//
// - Passwords are checked against the account's argon2id hash (CPasswordHash: constant time,
//   a bounded number of key derivations at once). Each account's hash is read once and kept,
//   so that a hash of an older cost, made again at the current cost on a good login, stays
//   upgraded in memory (the configuration file is left as it is). An unknown account costs the same
//   derivation against a stand-in hash and gets the same answer as a wrong password, so neither the
//   reply nor its timing tells whether it exists.
// - A session key is consumed from the store: it works once, for its own account only.
// - Failed logins are slowed down with the disk server's login throttle rules (per client
//   address, per account and address, and gently per account, so that guessers never lock the
//   owner out), counted in the store, and logged; a success ends the delay for its account and
//   address.
// - Accounts are looked up in the store at each login. When the store cannot be reached the
//   login fails (the client sees a failed login), the reason is logged, and nothing is counted
//   against the client.
//
// Thread-safe: one authenticator serves every connection of the server.
#pragma once

#include "server/CAccountConfig.h"
#include "server/CCommandLog.h"
#include "server/CPasswordHash.h"
#include "server/CServiceStore.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tavik::server {

class CAccountAuthenticator {
public:
    struct Request {
        std::string identifier; // "user@domain"
        std::string password;   // UTF-8; empty with a session key
        std::string sessionKey; // empty: a password login
        std::string peerAddress;
    };

    // service (its accounts serve as the stand-in hash's model) and store outlive this object.
    CAccountAuthenticator(const ServiceConfig& service, CServiceStore& store, CCommandLog& log);

    // The account on success, nullopt on any failure. Waits the throttle's delay first; a set
    // stopping flag cuts the wait short (and fails the login).
    std::optional<AccountConfig> authenticate(const Request& request,
                                              const std::atomic<bool>& stopping);

private:
    std::optional<AccountConfig> decide(const Request& request, const std::atomic<bool>& stopping);
    bool passwordMatches(const AccountConfig* account, const std::string& password);
    // True, false, or a failed result when the store could not be asked.
    StoreResult<bool> sessionKeyMatches(const AccountConfig* account, const std::string& key);
    void storeFailed(const Request& request, const std::string& error);
    const std::optional<CPasswordHash>& standInHash();
    // The account's hash, made on first use and kept (by account and hash text, so that a
    // changed password takes effect); nullopt when its text is not a hash.
    std::optional<CPasswordHash> hashOf(const AccountConfig& account);

    const ServiceConfig& service_;
    CServiceStore& store_;
    CCommandLog& log_;
    std::once_flag standInOnce_;
    std::optional<CPasswordHash> standInHash_;
    std::mutex hashesMutex_;
    std::map<std::string, std::optional<CPasswordHash>> hashes_;
};

} // namespace tavik::server
