// Whether a transfer may go on where an earlier one stopped: the shorter copy's last bytes (up
// to kResumeCheckBytes before its end) must equal the longer copy's bytes at the same place, one
// on the device and one on the disk. Anything unreadable counts as different.
// Threads: user-interface thread; the session is the document's.
#pragma once

#include "sdk/include/TavikTypes.h"

#include <QString>

#include <cstdint>

namespace tavik::app {

inline constexpr uint32_t kResumeCheckBytes = 65536;

// The bytes [pos - n, pos) of the device file and of the remote file are equal, n being
// min(pos, kResumeCheckBytes); pos 0 has nothing to compare and is false (nothing to resume).
bool SameBytesBefore(TAVIK_SESSION session, const QString& remotePath, const QString& devicePath,
                     uint64_t pos);

} // namespace tavik::app
