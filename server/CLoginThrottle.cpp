#include "server/CLoginThrottle.h"

#include <algorithm>
#include <chrono>

namespace tavik::server {

namespace {

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CLoginThrottle::CLoginThrottle() : CLoginThrottle(Settings(), Clock()) {}

CLoginThrottle::CLoginThrottle(Settings settings, Clock clock)
    : policy_(settings), clock_(clock ? std::move(clock) : Clock(steadyMs)) {}

ThrottleEntries CLoginThrottle::load(const ThrottleKeys& keys, int64_t now) {
    ThrottleEntries entries;
    entries.withAccount = !keys.pair.empty();
    const auto take = [&](const std::string& key, std::optional<ThrottleEntry>& out) {
        const auto found = key.empty() ? entries_.end() : entries_.find(key);
        if (found != entries_.end()) {
            out = found->second;
        }
    };
    take(keys.address, entries.address);
    take(keys.pair, entries.pair);
    take(keys.account, entries.account);
    policy_.dropStale(entries, now);
    return entries;
}

void CLoginThrottle::put(const std::string& key, std::optional<ThrottleEntry>& entry, int64_t now) {
    if (key.empty()) {
        return;
    }
    if (!entry) {
        entries_.erase(key);
        return;
    }
    if (!entries_.contains(key) && entries_.size() >= policy_.settings().maxKeys) {
        forgetOld(now);
    }
    entries_[key] = *entry;
}

void CLoginThrottle::save(const ThrottleKeys& keys, ThrottleEntries& entries, int64_t now) {
    put(keys.address, entries.address, now);
    put(keys.pair, entries.pair, now);
    put(keys.account, entries.account, now);
}

void CLoginThrottle::forgetOld(int64_t now) {
    std::erase_if(entries_, [&](const auto& entry) { return policy_.stale(entry.second, now); });
    // Still too many (a flood of addresses): drop the longest quiet ones.
    while (entries_.size() >= policy_.settings().maxKeys && !entries_.empty()) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
            return a.second.lastSeen < b.second.lastSeen;
        });
        entries_.erase(oldest);
    }
}

std::optional<int> CLoginThrottle::reserve(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    const ThrottleKeys keys = ThrottleKeys::of(attempt.account, attempt.address);
    ThrottleEntries entries = load(keys, now);
    const std::optional<int> wait = policy_.reserve(entries, now);
    save(keys, entries, now);
    return wait;
}

int CLoginThrottle::failed(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    const ThrottleKeys keys = ThrottleKeys::of(attempt.account, attempt.address);
    ThrottleEntries entries = load(keys, now);
    const int counted = policy_.failed(entries, now);
    save(keys, entries, now);
    return counted;
}

void CLoginThrottle::succeeded(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    const ThrottleKeys keys = ThrottleKeys::of(attempt.account, attempt.address);
    ThrottleEntries entries = load(keys, now);
    policy_.succeeded(entries, now);
    save(keys, entries, now);
}

} // namespace tavik::server
