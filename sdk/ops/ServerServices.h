// The server services: status, quota, virus check, remote command with its text output, change
// of the server-side folder. Each is one round trip of the common calling pattern; the reports
// are what the last error must become.
#pragma once

#include "sdk/core/CPacket.h"
#include "sdk/core/Result.h"
#include "sdk/include/TavikLargeFiles.h"
#include "sdk/include/TavikTransfer.h"

#include <string>

namespace tavik {

Result<Done> getServerInfo(TAVIK_SERVERINFO* info, TAVIK_SESSION session);
Result<Done> getDiskSpace(TAVIK_DISKSPACE* diskspace, TAVIK_SESSION session);
// Free and total bytes: the server's 64-bit items when the session agreed on them, else the
// words multiplied in 64 bits.
Result<Done> getDiskSpace64(TAVIK_DISKSPACE64* space, TAVIK_SESSION session);
Result<int> checkVirus(LPCWSTR path, TAVIK_SESSION session);
// The registered result text.
Result<const char*> openCommand(LPCWSTR command, TAVIK_SESSION session);
Result<Done> changeDir(LPCWSTR name, TAVIK_SESSION session);

// The text of a "remotecmd" reply: the "result" item up to its first NUL. With "retlen", at most
// that many bytes of the item are taken and the last one taken is the terminator's place
// ("retlen" below 1: empty text); "retlen" never reaches past the item. A missing "result" is an
// empty text.
std::string commandResultText(const CPacket& reply);

} // namespace tavik
