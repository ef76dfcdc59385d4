// A stored password: either a salted argon2id hash (the "$argon2id$..." text that
// `tavik-server hash-password` prints) or, for older configurations, the password in clear.
// matches() answers in time that does not depend on where a guess differs from the password.
//
// Checking a hash costs tens of milliseconds and 64 MiB of memory (the cost the hash text was
// made with); at most kConcurrentChecks checks run at once in the process, further callers wait,
// so that a burst of logins cannot exhaust the machine's memory. Thread-safe; copyable.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavik::server {

class CPasswordHash {
public:
    static constexpr int kConcurrentChecks = 2;
    static constexpr std::string_view kHashPrefix = "$argon2id$";

    // A hash text as stored; nullopt when it is not an argon2id hash this library can check.
    static std::optional<CPasswordHash> fromHash(std::string_view text);
    // A password kept in clear (accepted, but the server warns about it at start).
    static CPasswordHash fromPlain(std::string_view password);
    // Makes a new salted hash text of a password; nullopt when the library cannot (no memory).
    static std::optional<std::string> hash(std::string_view password);
    // True when text looks like a hash rather than a clear password.
    static bool looksLikeHash(std::string_view text);

    bool matches(std::string_view given) const;
    bool isPlain() const { return plain_; }

private:
    CPasswordHash(std::string stored, bool plain) : stored_(std::move(stored)), plain_(plain) {}

    std::string stored_;
    bool plain_ = false;
};

} // namespace tavik::server
