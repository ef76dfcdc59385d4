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
// Usage per attempt: reserve() → wait the returned time → check the password → failed() or
// succeeded(). Thread-safe; one object is shared by all connections of a server.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tavik::server {

class CLoginThrottle {
public:
    struct Settings {
        int firstDelayMs = 500;
        int maxDelayMs = 8000;
        int cleanAddressDelayMs = 1000;
        int suspectAfter = 3;
        int forgetAfterMs = 15 * 60 * 1000;
        // Entries remembered at most; the longest quiet are dropped beyond it.
        size_t maxKeys = 10000;
    };
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
    int delayAfter(int failures) const;

private:
    struct Entry {
        int failures = 0;
        int64_t nextTurn = 0; // no attempt is checked before this time
        int64_t lastSeen = 0; // the last failure or success, for forgetting
        bool trusted = false; // a pair that has logged in
    };
    struct Keys {
        std::string address;
        std::string pair; // empty without an account
        std::string account;
    };

    static Keys keysOf(const Attempt& attempt);
    bool stale(const Entry& entry, int64_t now) const;
    // The live entry of a key (nullptr for none or an empty key); a stale one is dropped.
    Entry* find(const std::string& key, int64_t now);
    // The live entry of a key, made when missing; makes room first when the table is full.
    Entry& fetch(const std::string& key, int64_t now);
    void forgetOld(int64_t now);
    // Counts one failure on an entry and pushes its next turn out by the new delay.
    void countFailure(Entry& entry, int64_t now) const;

    Settings settings_;
    Clock clock_;
    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

} // namespace tavik::server
