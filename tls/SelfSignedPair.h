// A self-signed certificate and its key for a server that has no certificate authority: an
// elliptic-curve (P-256) key and a certificate for host names and IP addresses (the first is
// also its common name), valid ten years.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavik::tls {

struct PemPair {
    std::string certificate;
    std::string key;
};

// A new pair as PEM text; nullopt with error.
std::optional<PemPair> makeSelfSignedPair(const std::vector<std::string>& hosts,
                                          std::string& error);

// Writes the certificate (PEM, 0644) and the key (PEM, 0600, never readable by others, not even
// for a moment) to new files; refuses to replace existing ones. False with error.
bool writeSelfSignedPair(const std::vector<std::string>& hosts, const std::string& certificateFile,
                         const std::string& keyFile, std::string& error);

} // namespace tavik::tls
