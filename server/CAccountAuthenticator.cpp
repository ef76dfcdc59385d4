#include "server/CAccountAuthenticator.h"

#include "server/CMetrics.h"

#include <sodium.h>

#include <chrono>
#include <thread>
#include <vector>

namespace tavik::server {

namespace {

int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sleeps in short slices so that a stopping server need not wait out a long delay.
bool pause(int ms, const std::atomic<bool>& stopping) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !stopping;
}

} // namespace

CAccountAuthenticator::CAccountAuthenticator(const ServiceConfig& service, CServiceStore& store,
                                             CCommandLog& log)
    : service_(service), store_(store), log_(log) {}

// An unknown account must cost what a known one costs. The stand-in is an account's own hash
// when there is one (the same parameters, so the same time); its result is never used.
const std::optional<CPasswordHash>& CAccountAuthenticator::standInHash() {
    std::call_once(standInOnce_, [this] {
        for (const AccountConfig& account : service_.accounts) {
            if (!account.passwordHash.empty()) {
                standInHash_ = hashOf(account);
                return;
            }
        }
        unsigned char random[16];
        randombytes_buf(random, sizeof random);
        const auto made =
            CPasswordHash::hash(std::string_view(reinterpret_cast<char*>(random), sizeof random));
        if (made) {
            standInHash_ = CPasswordHash::fromHash(*made);
        }
    });
    return standInHash_;
}

std::optional<CPasswordHash> CAccountAuthenticator::hashOf(const AccountConfig& account) {
    std::lock_guard lock(hashesMutex_);
    const std::string key = account.identifier() + "\n" + account.passwordHash;
    auto found = hashes_.find(key);
    if (found == hashes_.end()) {
        found = hashes_.emplace(key, CPasswordHash::fromHash(account.passwordHash)).first;
    }
    return found->second; // a copy that shares the stored form
}

bool CAccountAuthenticator::passwordMatches(const AccountConfig* account,
                                            const std::string& password) {
    std::optional<CPasswordHash> own;
    if (account != nullptr && !account->passwordHash.empty()) {
        own = hashOf(*account);
    }
    const std::optional<CPasswordHash>& hash = own ? own : standInHash();
    const bool matches = hash && hash->matches(password);
    return own && matches;
}

StoreResult<bool> CAccountAuthenticator::sessionKeyMatches(const AccountConfig* account,
                                                           const std::string& key) {
    if (account == nullptr) {
        return StoreResult<bool>::ok(false);
    }
    return store_.consumeSessionKey(account->identifier(), key, secondsNow());
}

void CAccountAuthenticator::storeFailed(const Request& request, const std::string& error) {
    log_.event(request.peerAddress,
               "login of " + request.identifier + " failed: the store is unavailable (" + error +
                   ")",
               request.identifier);
}

std::optional<AccountConfig>
CAccountAuthenticator::authenticate(const Request& request, const std::atomic<bool>& stopping) {
    std::optional<AccountConfig> account = decide(request, stopping);
    CMetrics::instance().add("tavik_service_logins_total", {{"result", account ? "ok" : "failed"}});
    return account;
}

std::optional<AccountConfig> CAccountAuthenticator::decide(const Request& request,
                                                           const std::atomic<bool>& stopping) {
    auto found = store_.findAccount(request.identifier);
    if (!found) {
        storeFailed(request, found.error());
        return std::nullopt;
    }
    const AccountConfig* account = found->has_value() ? &found->value() : nullptr;
    // Only accounts that exist are named, so that guessed names cannot fill the throttle's table.
    const CLoginThrottle::Attempt attempt{
        account != nullptr ? account->identifier() : std::string(), request.peerAddress};
    const auto wait = store_.reserveLogin(attempt);
    if (!wait) {
        storeFailed(request, wait.error());
        return std::nullopt;
    }
    if (!*wait) {
        log_.event(request.peerAddress,
                   "login of " + request.identifier + " refused: too many failed logins",
                   request.identifier);
        return std::nullopt;
    }
    if (**wait > 0 && !pause(**wait, stopping)) {
        return std::nullopt;
    }
    const bool withKey = !request.sessionKey.empty();
    StoreResult<bool> accepted =
        withKey ? sessionKeyMatches(account, request.sessionKey)
                : StoreResult<bool>::ok(passwordMatches(account, request.password));
    if (!accepted) {
        storeFailed(request, accepted.error());
        return std::nullopt;
    }
    if (!*accepted) {
        const auto failures = store_.loginFailed(attempt);
        const int count = failures ? *failures : 0;
        log_.event(request.peerAddress,
                   "login of " + request.identifier + (withKey ? " with a session key" : "") +
                       " failed (" + std::to_string(count) +
                       " in a row from this address; next attempt waits " +
                       std::to_string(store_.delayAfter(count)) + " ms)",
                   request.identifier);
        return std::nullopt;
    }
    const auto done = store_.loginSucceeded(attempt);
    if (!done) {
        storeFailed(request, done.error());
        return std::nullopt;
    }
    log_.event(request.peerAddress, "login of " + account->identifier(), account->identifier());
    return std::move(found->value());
}

} // namespace tavik::server
