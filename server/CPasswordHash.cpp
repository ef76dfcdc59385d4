#include "server/CPasswordHash.h"

#include <sodium.h>

#include <array>
#include <semaphore>

namespace tavik::server {

namespace {

bool sodiumReady() {
    // sodium_init is safe to call more than once, but once is enough.
    static const bool ready = ::sodium_init() >= 0;
    return ready;
}

std::counting_semaphore<CPasswordHash::kConcurrentChecks>& checkSlots() {
    static std::counting_semaphore<CPasswordHash::kConcurrentChecks> slots(
        CPasswordHash::kConcurrentChecks);
    return slots;
}

class CSlot {
public:
    CSlot() { checkSlots().acquire(); }
    ~CSlot() { checkSlots().release(); }
    CSlot(const CSlot&) = delete;
    CSlot& operator=(const CSlot&) = delete;
};

using Digest = std::array<unsigned char, crypto_generichash_BYTES>;

Digest digestOf(std::string_view text) {
    Digest digest{};
    crypto_generichash(digest.data(), digest.size(),
                       reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr,
                       0);
    return digest;
}

} // namespace

bool CPasswordHash::looksLikeHash(std::string_view text) {
    return text.substr(0, kHashPrefix.size()) == kHashPrefix;
}

std::optional<CPasswordHash> CPasswordHash::fromHash(std::string_view text) {
    if (!sodiumReady() || !looksLikeHash(text) || text.size() >= crypto_pwhash_STRBYTES) {
        return std::nullopt;
    }
    const std::string stored(text);
    // needs_rehash parses the text and answers -1 for anything that is not a valid hash.
    if (::crypto_pwhash_str_needs_rehash(stored.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                         crypto_pwhash_MEMLIMIT_INTERACTIVE) < 0) {
        return std::nullopt;
    }
    return CPasswordHash(stored, false);
}

CPasswordHash CPasswordHash::fromPlain(std::string_view password) {
    return CPasswordHash(std::string(password), true);
}

std::optional<std::string> CPasswordHash::hash(std::string_view password) {
    if (!sodiumReady()) {
        return std::nullopt;
    }
    std::array<char, crypto_pwhash_STRBYTES> text{};
    CSlot slot;
    if (::crypto_pwhash_str_alg(
            text.data(), password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return std::string(text.data());
}

bool CPasswordHash::matches(std::string_view given) const {
    if (!sodiumReady()) {
        return false;
    }
    if (plain_) {
        // Equal-length digests compared in constant time: neither the position of the first
        // difference nor the password's length shows in the time taken.
        const Digest a = digestOf(stored_);
        const Digest b = digestOf(given);
        return ::sodium_memcmp(a.data(), b.data(), a.size()) == 0;
    }
    CSlot slot;
    return ::crypto_pwhash_str_verify(stored_.c_str(), given.data(), given.size()) == 0;
}

} // namespace tavik::server
