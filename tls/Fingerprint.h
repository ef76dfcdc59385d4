// SHA-256 fingerprints of certificates, as people compare them: 32 bytes in upper-case hex pairs
// joined by ':' ("AB:01:...", 95 characters).
#pragma once

#include <openssl/types.h>

#include <optional>
#include <string>

namespace tavik::tls {

// The fingerprint of the certificate's DER form; empty when it cannot be encoded.
std::string fingerprintOf(X509* certificate);

// Reads a fingerprint as people type it: hex with or without ':' (or spaces), either case, with
// an optional "SHA256:" prefix. nullopt unless it is exactly 32 bytes.
std::optional<std::string> parseFingerprint(const std::string& text);

} // namespace tavik::tls
