// Slows down password guessing without ever locking out an owner who is not guessing.
//
// Every attempt names the account it tries (empty when there is no such account) and the
// client's address. Failures are counted three ways: per address, per (account, address) pair
// and per account. The first two are the brakes on a guesser: while they hold failures, further
// attempts from that address must wait for their turn, and the turns lie a growing delay apart
// (firstDelayMs after the first failure, doubling up to maxDelayMs; a turn more than maxDelayMs
// ahead is refused at once, and the caller answers it as a failed login without checking it).
// Attempts are spaced out whatever the number of connections they come on.
//
// The account's count only slows guessing spread over many addresses, and how much depends on
// the address:
//   - an address that has failed suspectAfter times or more (on any account) queues behind
//     every other such address trying the account, one turn per growing delay;
//   - any other address waits at most cleanAddressDelayMs, is never queued and never refused
//     because of failures made elsewhere;
//   - a pair that has logged in successfully is not slowed by the account's count at all.
// A success ends the delay for its account and address: the address's and the pair's failures
// are cleared, and the pair's failures are taken off the account's count. Failures from other
// addresses stay counted. Entries quiet for forgetAfterMs are forgotten.
//
// The rules themselves are CThrottlePolicy's; this object keeps the counts in memory, for one
// process.
//
// Usage per attempt: reserve() → wait the returned time → check the password → failed() or
// succeeded(). Thread-safe; one object is shared by all connections of a server.
#pragma once

#include "server/CThrottlePolicy.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tavik::server {

class CLoginThrottle {
public:
    using Settings = ThrottleSettings;
    struct Attempt {
        std::string account; // the disk id or account identifier; empty: no such account
        std::string address; // the client's address without the port
    };
    // Milliseconds on a monotonic clock; replaceable for tests.
    using Clock = std::function<int64_t()>;

    CLoginThrottle();
    CLoginThrottle(Settings settings, Clock clock);

    // The wait in milliseconds before this attempt may be checked, or nullopt when it is refused
    // at once. Reserves the attempt's turn.
    std::optional<int> reserve(const Attempt& attempt);
    // Counts a failed attempt; returns the failures now counted on its address.
    int failed(const Attempt& attempt);
    void succeeded(const Attempt& attempt);

    // The delay that follows the given number of failures.
    int delayAfter(int failures) const { return policy_.delayAfter(failures); }

private:
    // Takes the attempt's entries out of the table (stale ones dropped) and puts them back.
    ThrottleEntries load(const ThrottleKeys& keys, int64_t now);
    void save(const ThrottleKeys& keys, ThrottleEntries& entries, int64_t now);
    void put(const std::string& key, std::optional<ThrottleEntry>& entry, int64_t now);
    void forgetOld(int64_t now);

    CThrottlePolicy policy_;
    Clock clock_;
    std::mutex mutex_;
    std::map<std::string, ThrottleEntry> entries_;
};

} // namespace tavik::server
