// Decides a login of the authentication server: an account identifier ("user@domain") with a
// password or a session key, from one client address.
//
// - Passwords are checked against the account's argon2id hash (constant time by construction).
//   An unknown account costs the same key derivation against a stand-in hash and gets the same
//   answer as a wrong password, so neither the reply nor its timing tells whether it exists.
// - A session key is consumed from the key store: it works once, for its own account only.
// - At most kdfSlots key derivations run at once (each takes tens of MiB): further logins wait.
// - Failed logins are slowed down per account and per client address (see the throttle) and
//   logged; a success clears the account's and the address's record.
//
// Thread-safe: one authenticator serves every connection of the server.
#pragma once

#include "server/CAccountConfig.h"
#include "server/CCommandLog.h"
#include "server/CSessionKeyStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>

namespace tavik::server {

class CAccountAuthenticator {
public:
    struct Request {
        std::string identifier; // "user@domain"
        std::string password;   // UTF-8; empty with a session key
        std::string sessionKey; // empty: a password login
        std::string peerAddress;
    };

    // keys may be null: session-key logins then fail.
    CAccountAuthenticator(const ServiceConfig& service, CSessionKeyStore* keys, CCommandLog& log);
    ~CAccountAuthenticator();

    // The account on success, nullptr on any failure (after the throttle's delay).
    const AccountConfig* authenticate(const Request& request);

private:
    bool passwordMatches(const AccountConfig* account, const std::string& password);
    bool sessionKeyMatches(const AccountConfig* account, const std::string& key);
    const std::string& standInHash();

    const ServiceConfig& service_;
    CSessionKeyStore* keys_;
    CCommandLog& log_;
    std::counting_semaphore<64> kdfSlots_;
    std::once_flag standInOnce_;
    std::string standInHash_;
};

} // namespace tavik::server
