// A self-signed certificate and its key for a server that has no certificate authority: an
// elliptic-curve (P-256) key and a certificate for one host name or IP address, valid ten years.
#pragma once

#include <string>

namespace tavik::tls {

// Writes the certificate (PEM, 0644) and the key (PEM, 0600, never readable by others, not even
// for a moment) to new files; refuses to replace existing ones. False with error.
bool writeSelfSignedPair(const std::string& host, const std::string& certificateFile,
                         const std::string& keyFile, std::string& error);

} // namespace tavik::tls
