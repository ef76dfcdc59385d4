// The calling pattern every remote operation shares: null-session check, one Exchange, the
// re-login with a single retry (never for "setuser", and only while the session's time-out,
// which bounds the whole command, is not used up), "socket error", and the reply's
// "error"/"errstr" as the report. Operations only build the request and read the reply.
#pragma once

#include "sdk/core/CPacket.h"
#include "sdk/core/Result.h"
#include "sdk/include/TavikTypes.h"

#include <string>

namespace tavik {

// Request flags: every request is binary and scrambled, except "readfile"/"writefile".
inline constexpr uint32_t kScrambledRequest = 2;
inline constexpr uint32_t kPlainRequest = 0;

// Runs one request on the session and fills reply. Succeeds when the exchange succeeded and the
// reply's "error" is 0; the report is always set (the value the last error must take).
Result<Done> runCommand(TAVIK_SESSION session, CPacket& request, CPacket& reply);

// What a received reply leaves in the last error: "error" (a 4-byte integer, 0 when absent or of
// another size) and "errstr" (a string item, empty otherwise) converted from ANSI.
ErrorReport replyReport(const CPacket& reply);

// 24001 "wrong parameter": an argument the library refuses before sending anything.
ErrorReport wrongParameter();

// A text argument's ANSI form always fits the 512-byte conversion buffer: at most 510 bytes
// (its NUL and one more behind it make 512).
inline constexpr size_t kMaxAnsiArgument = 510;

// Converts a UTF-16 argument for a string item. A null text, or one whose ANSI form is longer
// than kMaxAnsiArgument, fails with 24001 "wrong parameter" (cutting a path short would act on
// another file).
Result<std::string> ansiArgument(LPCWSTR text);

} // namespace tavik
