#include "server/CAccountAuthenticator.h"

#include <sodium.h>

#include <algorithm>
#include <thread>

namespace tavik::server {

namespace {

int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

ptrdiff_t kdfSlotCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<ptrdiff_t>(cores == 0 ? 1 : cores, 1, 64);
}

} // namespace

CAccountAuthenticator::CAccountAuthenticator(const ServiceConfig& service, CSessionKeyStore* keys,
                                             CCommandLog& log)
    : service_(service), keys_(keys), log_(log), kdfSlots_(kdfSlotCount()) {}

CAccountAuthenticator::~CAccountAuthenticator() = default;

// An unknown account must cost what a known one costs. The stand-in is an account's own hash
// when there is one (the same parameters, so the same time); its result is never used.
const std::string& CAccountAuthenticator::standInHash() {
    std::call_once(standInOnce_, [this] {
        for (const AccountConfig& account : service_.accounts) {
            if (!account.passwordHash.empty()) {
                standInHash_ = account.passwordHash;
                return;
            }
        }
        char hash[crypto_pwhash_STRBYTES];
        unsigned char random[16];
        randombytes_buf(random, sizeof random);
        if (crypto_pwhash_str(hash, reinterpret_cast<const char*>(random), sizeof random,
                              crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE) == 0) {
            standInHash_ = hash;
        }
    });
    return standInHash_;
}

bool CAccountAuthenticator::passwordMatches(const AccountConfig* account,
                                            const std::string& password) {
    const bool known = account != nullptr && !account->passwordHash.empty();
    const std::string& hash = known ? account->passwordHash : standInHash();
    if (hash.empty()) {
        return false;
    }
    kdfSlots_.acquire();
    const bool matches =
        crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    kdfSlots_.release();
    return known && matches;
}

bool CAccountAuthenticator::sessionKeyMatches(const AccountConfig* account,
                                              const std::string& key) {
    return account != nullptr && keys_ != nullptr &&
           keys_->consume(account->identifier(), key, secondsNow());
}

const AccountConfig* CAccountAuthenticator::authenticate(const Request& request) {
    const AccountConfig* account = service_.findAccount(request.identifier);
    const bool withKey = !request.sessionKey.empty();
    const bool accepted = withKey ? sessionKeyMatches(account, request.sessionKey)
                                  : passwordMatches(account, request.password);
    if (!accepted) {
        log_.event(request.peerAddress, "login failed for " + request.identifier +
                                            (withKey ? " (session key)" : " (password)"));
        return nullptr;
    }
    log_.event(request.peerAddress, "login of " + account->identifier());
    return account;
}

} // namespace tavik::server
