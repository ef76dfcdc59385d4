// How sessions secure their connections. The process keeps one choice for the sessions it
// creates next (tavik_SetSecurity); each session copies it at creation and keeps it for its
// reconnects, and a duplicate copies its original's. Each thread remembers the certificate
// fingerprint of the last server it shook hands with, so that a caller can show it after a
// refusal (trust on first use).
#pragma once

#include "sdk/core/CConnection.h"
#include "sdk/core/Result.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tavik {

struct SessionSecurity {
    int32_t mode = 0;              // TAVIK_SECURITY_OFF, _REQUIRED or _PREFERRED
    std::string pinnedFingerprint; // in Fingerprint.h's form; empty: the system's CAs
};

// Thread-safe. Returns the previous choice.
SessionSecurity SetDefaultSecurity(SessionSecurity security);
SessionSecurity DefaultSecurity();

// The fingerprint this thread saw last (empty when the server showed none), as UTF-16.
void NoteServerFingerprint(const std::string& fingerprint);
const std::u16string& LastServerFingerprint();

// Right after a connect: TLS as the security asks. A plain-only server is used in plain only
// when the mode is TAVIK_SECURITY_PREFERRED (reconnect() then makes a new plain connection).
// Fails with 21101 (certificate not trusted, with the reason) or 21102 (no secure connection).
Result<Done> SecureConnection(CConnection& connection, const SessionSecurity& security,
                              const std::string& host, int32_t timeoutMs,
                              const std::function<bool()>& reconnect);

} // namespace tavik
