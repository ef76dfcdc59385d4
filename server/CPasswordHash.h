// A stored password: either a salted argon2id hash (the "$argon2id$..." text that
// `tavik-server hash-password` prints) or, for older configurations, the password in clear.
// matches() answers in time that does not depend on where a guess differs from the password.
//
// New hashes are made at the widely recommended minimum for interactive logins (argon2id,
// 19 MiB, two passes, one lane: tens of milliseconds). A hash made at another cost is checked
// with its own parameters, and on its first good check it is made again at the current cost;
// the new form lives in memory only (in this object and every copy of it: the server never
// rewrites its configuration file), so later checks cost the current amount.
//
// Checks run as many at once as the machine has cores and, together, within kMemoryBudgetKiB of
// the hashes' own memory cost (one check always runs, whatever its cost); further callers wait,
// so that a burst of logins can neither exhaust the memory nor queue behind idle cores.
// Thread-safe; copyable (copies share the stored form).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::server {

class CPasswordHash {
public:
    static constexpr std::string_view kHashPrefix = "$argon2id$";
    static constexpr uint64_t kOpsLimit = 2;
    static constexpr uint64_t kMemoryKiB = 19 * 1024;
    static constexpr uint64_t kMemoryBudgetKiB = 256 * 1024;

    // A hash text as stored; nullopt when it is not an argon2id hash this library can check.
    static std::optional<CPasswordHash> fromHash(std::string_view text);
    // A password kept in clear (accepted, but the server warns about it at start).
    static CPasswordHash fromPlain(std::string_view password);
    // Makes a new salted hash text of a password at the current cost; nullopt when the library
    // cannot (no memory).
    static std::optional<std::string> hash(std::string_view password);
    // True when text looks like a hash rather than a clear password.
    static bool looksLikeHash(std::string_view text);
    // How many checks may run at once: the machine's cores.
    static int concurrentChecks();

    bool matches(std::string_view given) const;
    bool isPlain() const { return plain_; }
    // True while the stored hash is of another cost than new ones (false for clear passwords).
    bool needsRehash() const;

private:
    struct Stored;

    CPasswordHash(std::string stored, bool plain);
    std::string storedText() const;
    // Replaces an old-cost hash by one of the current cost, after given has matched it.
    void upgrade(std::string_view given) const;

    std::shared_ptr<Stored> stored_;
    bool plain_ = false;
};

} // namespace tavik::server
