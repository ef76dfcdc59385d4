#include "server/CThrottlePolicy.h"

#include <algorithm>

namespace tavik::server {

ThrottleKeys ThrottleKeys::of(const std::string& account, const std::string& address) {
    ThrottleKeys keys{"address\n" + address, "", ""};
    if (!account.empty()) {
        keys.pair = "pair\n" + account + "\n" + address;
        keys.account = "account\n" + account;
    }
    return keys;
}

int CThrottlePolicy::delayAfter(int failures) const {
    if (failures <= 0) {
        return 0;
    }
    int64_t delay = settings_.firstDelayMs;
    for (int i = 1; i < failures && delay < settings_.maxDelayMs; ++i) {
        delay *= 2;
    }
    return static_cast<int>(std::min<int64_t>(delay, settings_.maxDelayMs));
}

bool CThrottlePolicy::stale(const ThrottleEntry& entry, int64_t now) const {
    return now - entry.lastSeen >= settings_.forgetAfterMs && now >= entry.nextTurn;
}

void CThrottlePolicy::dropStale(ThrottleEntries& entries, int64_t now) const {
    for (std::optional<ThrottleEntry>* entry :
         {&entries.address, &entries.pair, &entries.account}) {
        if (*entry && stale(**entry, now)) {
            entry->reset();
        }
    }
    if (!entries.withAccount) {
        entries.pair.reset();
        entries.account.reset();
    }
}

void CThrottlePolicy::countFailure(ThrottleEntry& entry, int64_t now) const {
    entry.failures = std::min(entry.failures + 1, 1 << 20);
    entry.lastSeen = now;
    entry.nextTurn = std::max(entry.nextTurn, now + delayAfter(entry.failures));
}

std::optional<int> CThrottlePolicy::reserve(ThrottleEntries& entries, int64_t now) const {
    std::optional<ThrottleEntry>& address = entries.address;
    std::optional<ThrottleEntry>& pair = entries.pair;
    std::optional<ThrottleEntry>& account = entries.account;
    int64_t turn = now;
    for (const std::optional<ThrottleEntry>* own : {&address, &pair}) {
        if (*own) {
            turn = std::max(turn, (*own)->nextTurn);
        }
    }
    const bool trusted = pair && pair->trusted;
    const bool suspect = address && address->failures >= settings_.suspectAfter;
    const bool queued = account && !trusted && suspect;
    if (queued) {
        turn = std::max(turn, account->nextTurn);
    } else if (account && !trusted) {
        // Failures made elsewhere cost an innocent address a moment at most, and no place in
        // the guessers' queue.
        const int elsewhere = account->failures - (pair ? pair->failures : 0);
        const int delay = std::min(delayAfter(elsewhere), settings_.cleanAddressDelayMs);
        turn = std::max(turn, now + delay);
    }
    if (turn - now > settings_.maxDelayMs) {
        return std::nullopt;
    }
    // The turn is taken as if the attempt will fail: a second attempt arriving meanwhile queues
    // behind it instead of being checked at the same time.
    for (std::optional<ThrottleEntry>* own : {&address, &pair}) {
        if (*own) {
            (*own)->nextTurn = turn + delayAfter((*own)->failures);
        }
    }
    if (queued) {
        account->nextTurn = turn + delayAfter(account->failures);
    }
    return static_cast<int>(turn - now);
}

int CThrottlePolicy::failed(ThrottleEntries& entries, int64_t now) const {
    ThrottleEntry& address = entries.address ? *entries.address : entries.address.emplace();
    countFailure(address, now);
    if (entries.withAccount) {
        ThrottleEntry& pair = entries.pair ? *entries.pair : entries.pair.emplace();
        countFailure(pair, now);
        // A login once made does not excuse guessing from the same place.
        pair.trusted = pair.trusted && pair.failures < settings_.suspectAfter;
        countFailure(entries.account ? *entries.account : entries.account.emplace(), now);
    }
    return address.failures;
}

void CThrottlePolicy::succeeded(ThrottleEntries& entries, int64_t now) const {
    entries.address.reset();
    if (!entries.withAccount) {
        return;
    }
    // The owner's own mistakes no longer count against the account.
    if (entries.account && entries.pair) {
        entries.account->failures = std::max(0, entries.account->failures - entries.pair->failures);
    }
    if (entries.account && entries.account->failures == 0) {
        entries.account.reset();
    }
    entries.pair = ThrottleEntry{0, 0, now, true};
}

} // namespace tavik::server
