#include "tls/Fingerprint.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cctype>

namespace tavik::tls {

namespace {

constexpr size_t kDigestBytes = 32;

std::string hexPairs(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            out += ':';
        }
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

} // namespace

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1 ||
        length != kDigestBytes) {
        return "";
    }
    return hexPairs(digest, length);
}

std::optional<std::string> parseFingerprint(const std::string& text) {
    std::string rest = text;
    const std::string prefix = "SHA256:";
    if (rest.size() > prefix.size()) {
        std::string head = rest.substr(0, prefix.size());
        for (char& c : head) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        if (head == prefix) {
            rest = rest.substr(prefix.size());
        }
    }
    unsigned char bytes[kDigestBytes];
    size_t count = 0;
    int high = -1;
    for (const char c : rest) {
        if (c == ':' || c == ' ') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)) || (high < 0 && count == kDigestBytes)) {
            return std::nullopt;
        }
        const int value = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        if (high < 0) {
            high = value;
        } else {
            bytes[count++] = static_cast<unsigned char>(high << 4 | value);
            high = -1;
        }
    }
    if (count != kDigestBytes || high >= 0) {
        return std::nullopt;
    }
    return hexPairs(bytes, count);
}

} // namespace tavik::tls
