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

CLoginThrottle::Keys CLoginThrottle::keysOf(const Attempt& attempt) {
    // Newlines cannot occur in addresses, and an account name that holds one only names a
    // pair of its own.
    Keys keys{"address\n" + attempt.address, "", ""};
    if (!attempt.account.empty()) {
        keys.pair = "pair\n" + attempt.account + "\n" + attempt.address;
        keys.account = "account\n" + attempt.account;
    }
    return keys;
}

bool CLoginThrottle::stale(const Entry& entry, int64_t now) const {
    return now - entry.lastSeen >= settings_.forgetAfterMs && now >= entry.nextTurn;
}

CLoginThrottle::Entry* CLoginThrottle::find(const std::string& key, int64_t now) {
    if (key.empty()) {
        return nullptr;
    }
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

CLoginThrottle::Entry& CLoginThrottle::fetch(const std::string& key, int64_t now) {
    if (Entry* entry = find(key, now)) {
        return *entry;
    }
    if (entries_.size() >= settings_.maxKeys) {
        forgetOld(now);
    }
    return entries_[key];
}

void CLoginThrottle::forgetOld(int64_t now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        it = stale(it->second, now) ? entries_.erase(it) : std::next(it);
    }
    // Still too many (a flood of addresses): drop the longest quiet ones.
    while (entries_.size() >= settings_.maxKeys && !entries_.empty()) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
            return a.second.lastSeen < b.second.lastSeen;
        });
        entries_.erase(oldest);
    }
}

void CLoginThrottle::countFailure(Entry& entry, int64_t now) const {
    entry.failures = std::min(entry.failures + 1, 1 << 20);
    entry.lastSeen = now;
    entry.nextTurn = std::max(entry.nextTurn, now + delayAfter(entry.failures));
}

std::optional<int> CLoginThrottle::reserve(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    const Keys keys = keysOf(attempt);
    Entry* address = find(keys.address, now);
    Entry* pair = find(keys.pair, now);
    Entry* account = find(keys.account, now);
    int64_t turn = now;
    for (const Entry* own : {address, pair}) {
        if (own != nullptr) {
            turn = std::max(turn, own->nextTurn);
        }
    }
    const bool trusted = pair != nullptr && pair->trusted;
    const bool suspect = address != nullptr && address->failures >= settings_.suspectAfter;
    const bool queued = account != nullptr && !trusted && suspect;
    if (queued) {
        turn = std::max(turn, account->nextTurn);
    } else if (account != nullptr && !trusted) {
        // Failures made elsewhere cost an innocent address a moment at most, and no place in
        // the guessers' queue.
        const int elsewhere = account->failures - (pair != nullptr ? pair->failures : 0);
        const int delay = std::min(delayAfter(elsewhere), settings_.cleanAddressDelayMs);
        turn = std::max(turn, now + delay);
    }
    if (turn - now > settings_.maxDelayMs) {
        return std::nullopt;
    }
    // The turn is taken as if the attempt will fail: a second attempt arriving meanwhile queues
    // behind it instead of being checked at the same time.
    for (Entry* own : {address, pair}) {
        if (own != nullptr) {
            own->nextTurn = turn + delayAfter(own->failures);
        }
    }
    if (queued) {
        account->nextTurn = turn + delayAfter(account->failures);
    }
    return static_cast<int>(turn - now);
}

int CLoginThrottle::failed(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    const Keys keys = keysOf(attempt);
    Entry& address = fetch(keys.address, now);
    countFailure(address, now);
    const int counted = address.failures;
    if (!keys.pair.empty()) {
        Entry& pair = fetch(keys.pair, now);
        countFailure(pair, now);
        // A login once made does not excuse guessing from the same place.
        pair.trusted = pair.trusted && pair.failures < settings_.suspectAfter;
        countFailure(fetch(keys.account, now), now);
    }
    return counted;
}

void CLoginThrottle::succeeded(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    const Keys keys = keysOf(attempt);
    entries_.erase(keys.address);
    if (keys.pair.empty()) {
        return;
    }
    // The owner's own mistakes no longer count against the account.
    const Entry* pair = find(keys.pair, now);
    Entry* account = find(keys.account, now);
    if (account != nullptr && pair != nullptr) {
        account->failures = std::max(0, account->failures - pair->failures);
    }
    if (account != nullptr && account->failures == 0) {
        entries_.erase(keys.account);
    }
    fetch(keys.pair, now) = Entry{0, 0, now, true};
}

} // namespace tavik::server
