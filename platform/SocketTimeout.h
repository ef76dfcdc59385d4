// The receive time-out of a socket, for receives that sleep in the kernel instead of waiting for
// readiness first: a blocking receive then fails with EAGAIN once the time has passed.
#pragma once

#include <cstdint>

namespace tavik::platform {

// Sets the time-out of each blocking receive on fd: timeoutMs > 0 milliseconds, or no limit for
// a negative value. Zero is refused (false): the socket reads a zero time-out as no limit, which
// is not what a caller asking for zero means. False also when the option cannot be set (errno).
bool setReceiveTimeout(int fd, int32_t timeoutMs);

} // namespace tavik::platform
