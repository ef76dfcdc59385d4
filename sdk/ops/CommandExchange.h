// The calling pattern every remote operation shares: null-session check, one Exchange, the
// re-login with a single retry (never for "setuser"), "socket error", and the reply's
// "error"/"errstr" as the report. Operations only build the request and read the reply.
#pragma once

#include "sdk/core/CPacket.h"
#include "sdk/core/Result.h"
#include "sdk/include/TavikTypes.h"

namespace tavik {

// Request flags: every request is binary and scrambled, except "readfile"/"writefile".
inline constexpr uint32_t kScrambledRequest = 2;
inline constexpr uint32_t kPlainRequest = 0;

// Runs one request on the session and fills reply. Succeeds when the exchange succeeded and the
// reply's "error" is 0; the report is always set (the value the last error must take).
Result<Done> runCommand(TAVIK_SESSION session, CPacket& request, CPacket& reply);

} // namespace tavik
