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

CAccountAuthenticator::CAccountAuthenticator(const ServiceConfig& service, CSessionKeyStore* keys,
                                             CCommandLog& log, CLoginThrottle& throttle)
    : service_(service), keys_(keys), log_(log), throttle_(throttle) {}

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
    auto found = hashes_.find(account.identifier());
    if (found == hashes_.end()) {
        found = hashes_.emplace(account.identifier(), CPasswordHash::fromHash(account.passwordHash))
                    .first;
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

bool CAccountAuthenticator::sessionKeyMatches(const AccountConfig* account,
                                              const std::string& key) {
    return account != nullptr && keys_ != nullptr &&
           keys_->consume(account->identifier(), key, secondsNow());
}

const AccountConfig* CAccountAuthenticator::authenticate(const Request& request,
                                                         const std::atomic<bool>& stopping) {
    const AccountConfig* account = decide(request, stopping);
    CMetrics::instance().add("tavik_service_logins_total",
                             {{"result", account != nullptr ? "ok" : "failed"}});
    return account;
}

const AccountConfig* CAccountAuthenticator::decide(const Request& request,
                                                   const std::atomic<bool>& stopping) {
    const AccountConfig* account = service_.findAccount(request.identifier);
    // Only accounts that exist are named, so that guessed names cannot fill the throttle's table.
    const CLoginThrottle::Attempt attempt{
        account != nullptr ? account->identifier() : std::string(), request.peerAddress};
    const auto wait = throttle_.reserve(attempt);
    if (!wait) {
        log_.event(request.peerAddress,
                   "login of " + request.identifier + " refused: too many failed logins");
        return nullptr;
    }
    if (*wait > 0 && !pause(*wait, stopping)) {
        return nullptr;
    }
    const bool withKey = !request.sessionKey.empty();
    const bool accepted = withKey ? sessionKeyMatches(account, request.sessionKey)
                                  : passwordMatches(account, request.password);
    if (!accepted) {
        const int failures = throttle_.failed(attempt);
        log_.event(request.peerAddress,
                   "login of " + request.identifier + (withKey ? " with a session key" : "") +
                       " failed (" + std::to_string(failures) +
                       " in a row from this address; next attempt waits " +
                       std::to_string(throttle_.delayAfter(failures)) + " ms)");
        return nullptr;
    }
    throttle_.succeeded(attempt);
    log_.event(request.peerAddress, "login of " + account->identifier());
    return account;
}

} // namespace tavik::server
