#include "platform/SocketTimeout.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/time.h>

namespace tavik::platform {

bool setReceiveTimeout(int fd, int32_t timeoutMs) {
    if (timeoutMs == 0) {
        errno = EINVAL;
        return false;
    }
    timeval limit{}; // all zero: no limit
    if (timeoutMs > 0) {
        limit.tv_sec = timeoutMs / 1000;
        limit.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
    }
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

} // namespace tavik::platform
