// The rules of the login throttle (see CLoginThrottle for what they achieve), apart from where
// the counts live: each call gets the three entries an attempt concerns (its address, its
// account and address pair, its account), decides, and changes them in place. The in-memory
// throttle keeps entries in a map; the shared store keeps them in rows it locks for the call, so
// that every replica of the service applies the same rules to the same counts.
//
// Times are milliseconds on one clock that every caller of the same entries shares. Pure and
// stateless apart from the settings; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavik::server {

struct ThrottleSettings {
    int firstDelayMs = 500;
    int maxDelayMs = 8000;
    int cleanAddressDelayMs = 1000;
    int suspectAfter = 3;
    int forgetAfterMs = 15 * 60 * 1000;
    // Entries remembered at most (in memory); the longest quiet are dropped beyond it.
    size_t maxKeys = 10000;
};

struct ThrottleEntry {
    int failures = 0;
    int64_t nextTurn = 0; // no attempt is checked before this time
    int64_t lastSeen = 0; // the last failure or success, for forgetting
    bool trusted = false; // a pair that has logged in
};

// The entries of one attempt; nullopt where there is none. Without an account only the address
// entry takes part.
struct ThrottleEntries {
    bool withAccount = false;
    std::optional<ThrottleEntry> address;
    std::optional<ThrottleEntry> pair;
    std::optional<ThrottleEntry> account;
};

// The keys under which an attempt's entries are kept. Newlines cannot occur in addresses, and
// an account name that holds one only names a pair of its own.
struct ThrottleKeys {
    std::string address;
    std::string pair;    // empty without an account
    std::string account; // empty without an account

    static ThrottleKeys of(const std::string& account, const std::string& address);
};

class CThrottlePolicy {
public:
    explicit CThrottlePolicy(ThrottleSettings settings) : settings_(settings) {}

    const ThrottleSettings& settings() const { return settings_; }
    // The delay that follows the given number of failures.
    int delayAfter(int failures) const;
    // True when an entry may be forgotten.
    bool stale(const ThrottleEntry& entry, int64_t now) const;
    // Drops the entries that may be forgotten (call before each of the three below).
    void dropStale(ThrottleEntries& entries, int64_t now) const;

    // The wait before the attempt may be checked, or nullopt when it is refused at once; takes
    // the attempt's turn.
    std::optional<int> reserve(ThrottleEntries& entries, int64_t now) const;
    // Counts a failure; returns the failures now counted on the address.
    int failed(ThrottleEntries& entries, int64_t now) const;
    void succeeded(ThrottleEntries& entries, int64_t now) const;

private:
    void countFailure(ThrottleEntry& entry, int64_t now) const;

    ThrottleSettings settings_;
};

} // namespace tavik::server
