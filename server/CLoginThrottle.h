// Slows down password guessing. Failed logins are counted per key (the server uses one key per
// disk and one per client address); while a key has failures, every further attempt on it must
// wait for its turn, and the turns lie a growing delay apart: firstDelayMs after the first
// failure, doubling with each further one up to maxDelayMs. Attempts are spaced out whatever
// the number of connections they come on. An attempt whose turn lies more than maxDelayMs ahead
// is refused at once (the caller answers it as a failed login without checking the password).
// A success clears the keys it names; a key with no failure for forgetAfterMs is forgotten.
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
#include <vector>

namespace tavik::server {

class CLoginThrottle {
public:
    struct Settings {
        int firstDelayMs = 500;
        int maxDelayMs = 8000;
        int forgetAfterMs = 15 * 60 * 1000;
        // Keys remembered at most; the oldest are dropped beyond it.
        size_t maxKeys = 10000;
    };
    // Milliseconds on a monotonic clock; replaceable for tests.
    using Clock = std::function<int64_t()>;

    CLoginThrottle();
    CLoginThrottle(Settings settings, Clock clock);

    // The wait in milliseconds before this attempt may be checked, or nullopt when it is refused
    // at once. Reserves the attempt's turn on every key.
    std::optional<int> reserve(const std::vector<std::string>& keys);
    // Counts a failed attempt; returns the failures now counted on the first key.
    int failed(const std::vector<std::string>& keys);
    void succeeded(const std::vector<std::string>& keys);

    // The delay that follows the given number of failures.
    int delayAfter(int failures) const;

private:
    struct Entry {
        int failures = 0;
        int64_t nextTurn = 0;    // no attempt is checked before this time
        int64_t lastFailure = 0; // for forgetting
    };

    bool stale(const Entry& entry, int64_t now) const;
    // The live entry of a key; a stale one is dropped on the way.
    Entry* find(const std::string& key, int64_t now);
    void forgetOld(int64_t now);

    Settings settings_;
    Clock clock_;
    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

} // namespace tavik::server
