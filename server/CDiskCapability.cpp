#include "server/CDiskCapability.h"

#include <sodium.h>

#include <cctype>
#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace tavik::server {

namespace {

constexpr std::string_view kContext = "tavik-disk-capability";
constexpr size_t kMacBytes = 16;

struct Parts {
    std::string_view diskId;
    std::string_view expiry;
    std::string_view mac;
};

std::optional<Parts> split(std::string_view text) {
    const size_t macStart = text.rfind('~');
    if (macStart == std::string_view::npos || macStart == 0) {
        return std::nullopt;
    }
    const size_t expiryStart = text.rfind('~', macStart - 1);
    if (expiryStart == std::string_view::npos || expiryStart == 0) {
        return std::nullopt;
    }
    Parts parts{text.substr(0, expiryStart),
                text.substr(expiryStart + 1, macStart - expiryStart - 1),
                text.substr(macStart + 1)};
    if (parts.mac.size() != 2 * kMacBytes || parts.expiry.empty()) {
        return std::nullopt;
    }
    for (const char c : parts.mac) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return std::nullopt;
        }
    }
    return parts;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isAlphanumeric(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Where a capability's "~" EXPIRY "~" MAC tail that begins at text[tilde] ends, or 0 when none
// begins there. The expiry is any run without "~", blanks or quotes; the MAC 32 hex digits not
// followed by a letter or digit.
size_t tailEnd(std::string_view text, size_t tilde) {
    size_t at = tilde + 1;
    while (at < text.size() && text[at] != '~' && text[at] != '"' &&
           std::isspace(static_cast<unsigned char>(text[at])) == 0) {
        ++at;
    }
    if (at == tilde + 1 || at >= text.size() || text[at] != '~') {
        return 0;
    }
    const size_t macStart = at + 1;
    const size_t macEnd = macStart + 2 * kMacBytes;
    if (macEnd > text.size()) {
        return 0;
    }
    for (size_t i = macStart; i < macEnd; ++i) {
        if (!isHexDigit(text[i])) {
            return 0;
        }
    }
    return macEnd < text.size() && isAlphanumeric(text[macEnd]) ? 0 : macEnd;
}

} // namespace

std::string CDiskCapability::mac(const Key& key, std::string_view diskId, std::string_view expiry) {
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, key.data(), key.size());
    const auto add = [&state](std::string_view part) {
        crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(part.data()),
                                      part.size());
        const unsigned char nul = 0;
        crypto_auth_hmacsha256_update(&state, &nul, 1);
    };
    add(kContext);
    add(diskId);
    add(expiry);
    unsigned char digest[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256_final(&state, digest);
    char hex[2 * kMacBytes + 1];
    sodium_bin2hex(hex, sizeof hex, digest, kMacBytes);
    return std::string(hex, 2 * kMacBytes);
}

CDiskCapability::Key CDiskCapability::randomKey() {
    Key key{};
    if (sodium_init() >= 0) {
        randombytes_buf(key.data(), key.size());
    }
    return key;
}

std::optional<CDiskCapability::Key> CDiskCapability::loadKey(const std::filesystem::path& file,
                                                             std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        const Key fresh = randomKey();
        char hex[2 * sizeof(Key) + 1];
        sodium_bin2hex(hex, sizeof hex, fresh.data(), fresh.size());
        // O_EXCL: two servers starting at once must not each write a different key.
        const int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const std::string line = std::string(hex) + "\n";
            const bool written =
                ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
            ::close(fd);
            if (!written) {
                error = "cannot write the installation key " + file.string();
                return std::nullopt;
            }
        }
    }
    std::ifstream in(file);
    std::string text;
    in >> text;
    Key key{};
    size_t length = 0;
    if (!in || text.size() != 2 * key.size() ||
        sodium_hex2bin(key.data(), key.size(), text.c_str(), text.size(), nullptr, &length,
                       nullptr) != 0 ||
        length != key.size()) {
        error = "the installation key " + file.string() + " must hold 64 hexadecimal digits";
        return std::nullopt;
    }
    return key;
}

std::string CDiskCapability::issue(const Key& key, std::string_view diskId, int64_t nowSeconds,
                                   std::chrono::seconds lifetime) {
    const std::string expiry = std::to_string(nowSeconds + lifetime.count());
    return std::string(diskId) + "~" + expiry + "~" + mac(key, diskId, expiry);
}

bool CDiskCapability::looksLikeCapability(std::string_view text) {
    return split(text).has_value();
}

std::string CDiskCapability::withoutMacs(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text[at] == '~' ? tailEnd(text, at) : 0;
        if (end == 0) {
            out += text[at++];
        } else {
            at = end;
        }
    }
    return out;
}

std::optional<std::string> CDiskCapability::check(const Key& key, std::string_view text,
                                                  int64_t nowSeconds) {
    const auto parts = split(text);
    if (!parts) {
        return std::nullopt;
    }
    const std::string expected = mac(key, parts->diskId, parts->expiry);
    if (sodium_memcmp(expected.data(), parts->mac.data(), expected.size()) != 0) {
        return std::nullopt;
    }
    int64_t expiry = 0;
    const auto* end = parts->expiry.data() + parts->expiry.size();
    const auto parsed = std::from_chars(parts->expiry.data(), end, expiry);
    if (parsed.ec != std::errc() || parsed.ptr != end || expiry <= nowSeconds) {
        return std::nullopt;
    }
    return std::string(parts->diskId);
}

} // namespace tavik::server
