// Capability disk ids: what the disk-information server hands out as an account disk's "diskid".
// The protocol's client opens an account's disk with the disk id as its only credential, so the id
// itself must be unguessable, bound to one disk and checkable by any disk server of the
// installation without asking anyone. Its text is
//
//   <disk id> "~" <expiry, decimal seconds since 1970 UTC> "~" <32 lower-case hex digits>
//
// where the hex digits are the first 16 bytes of HMAC-SHA-256, under the installation key, of
// "tavik-disk-capability" NUL <disk id> NUL <expiry text>. The disk id may itself contain "~":
// the last two fields are split off from the right. The library logs in again by itself with the
// same id after a dropped connection, so ids live for a day at least (see kMinimumLifetime).
//
// All functions are pure and thread-safe. The key is the installation's shared secret.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::server {

class CDiskCapability {
public:
    using Key = std::array<uint8_t, 32>;
    static constexpr std::chrono::seconds kMinimumLifetime{24 * 3600};

    // The capability for diskId valid until now + lifetime.
    static std::string issue(const Key& key, std::string_view diskId, int64_t nowSeconds,
                             std::chrono::seconds lifetime);
    // The disk id a capability grants, or nullopt when the text is not a capability, its MAC is
    // wrong (compared in constant time) or it expired at or before nowSeconds.
    static std::optional<std::string> check(const Key& key, std::string_view text,
                                            int64_t nowSeconds);
    // Reads the installation key (64 hex digits) from file, creating the file with a random key
    // (mode 0600) when it does not exist; nullopt with error when it cannot be read or made. The
    // servers of one installation share this file.
    static std::optional<Key> loadKey(const std::filesystem::path& file, std::string& error);
    // A random key, for a server that lives only as long as its process (--demo).
    static Key randomKey();
    // True when the text has the shape of a capability (two "~" fields, the last one 32 hex
    // digits): such an id is never looked up as a plain disk id.
    static bool looksLikeCapability(std::string_view text);
    // The text with the expiry and MAC of every capability in it (anywhere, e.g. quoted in a
    // log line) taken out, so that only the disk ids remain: what may be written to a log.
    static std::string withoutMacs(std::string_view text);

private:
    static std::string mac(const Key& key, std::string_view diskId, std::string_view expiry);
};

} // namespace tavik::server
