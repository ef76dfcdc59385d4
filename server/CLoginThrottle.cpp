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
    : settings_(settings), clock_(clock ? std::move(clock) : Clock(steadyMs)) {}

int CLoginThrottle::delayAfter(int failures) const {
    if (failures <= 0) {
        return 0;
    }
    int64_t delay = settings_.firstDelayMs;
    for (int i = 1; i < failures && delay < settings_.maxDelayMs; ++i) {
        delay *= 2;
    }
    return static_cast<int>(std::min<int64_t>(delay, settings_.maxDelayMs));
}

bool CLoginThrottle::stale(const Entry& entry, int64_t now) const {
    return now - entry.lastFailure >= settings_.forgetAfterMs && now >= entry.nextTurn;
}

CLoginThrottle::Entry* CLoginThrottle::find(const std::string& key, int64_t now) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return nullptr;
    }
    if (stale(found->second, now)) {
        entries_.erase(found);
        return nullptr;
    }
    return &found->second;
}

void CLoginThrottle::forgetOld(int64_t now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        it = stale(it->second, now) ? entries_.erase(it) : std::next(it);
    }
    // Still too many (a flood of addresses): drop the longest quiet ones.
    while (entries_.size() > settings_.maxKeys) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
            return a.second.lastFailure < b.second.lastFailure;
        });
        entries_.erase(oldest);
    }
}

std::optional<int> CLoginThrottle::reserve(const std::vector<std::string>& keys) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    int64_t turn = now;
    for (const std::string& key : keys) {
        if (const Entry* entry = find(key, now)) {
            turn = std::max(turn, entry->nextTurn);
        }
    }
    if (turn - now > settings_.maxDelayMs) {
        return std::nullopt;
    }
    // The turn is taken on every key under suspicion, as if the attempt will fail: a second
    // attempt arriving meanwhile queues behind it instead of being checked at the same time.
    for (const std::string& key : keys) {
        if (Entry* entry = find(key, now)) {
            entry->nextTurn = turn + delayAfter(entry->failures);
        }
    }
    return static_cast<int>(turn - now);
}

int CLoginThrottle::failed(const std::vector<std::string>& keys) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    if (entries_.size() >= settings_.maxKeys) {
        forgetOld(now);
    }
    int counted = 0;
    for (const std::string& key : keys) {
        find(key, now); // a failure long ago starts the count afresh
        Entry& entry = entries_[key];
        entry.failures = std::min(entry.failures + 1, 1 << 20);
        entry.lastFailure = now;
        entry.nextTurn = std::max(entry.nextTurn, now + delayAfter(entry.failures));
        if (counted == 0) {
            counted = entry.failures;
        }
    }
    return counted;
}

void CLoginThrottle::succeeded(const std::vector<std::string>& keys) {
    std::lock_guard lock(mutex_);
    for (const std::string& key : keys) {
        entries_.erase(key);
    }
}

} // namespace tavik::server
