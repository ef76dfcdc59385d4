#include "app/socket/CSocketFamily.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace tavik::app {

namespace {

int optionOf(int fd, int name) {
    int value = 0;
    socklen_t size = sizeof value;
    return getsockopt(fd, SOL_SOCKET, name, &value, &size) == 0 ? value : -1;
}

void copyTimeout(int from, int to, int name) {
    timeval limit{};
    socklen_t size = sizeof limit;
    if (getsockopt(from, SOL_SOCKET, name, &limit, &size) == 0) {
        setsockopt(to, SOL_SOCKET, name, &limit, sizeof limit);
    }
}

} // namespace

bool CSocketFamily::Match(int fd, int family) {
    return optionOf(fd, SO_DOMAIN) == family || Renew(fd, family);
}

bool CSocketFamily::Renew(int fd, int family) {
    const int current = optionOf(fd, SO_DOMAIN);
    const int type = optionOf(fd, SO_TYPE);
    const int flags = fcntl(fd, F_GETFL);
    if (current < 0 || type < 0 || flags < 0) {
        return false;
    }
    const int fresh = socket(family, type | SOCK_CLOEXEC, 0);
    if (fresh < 0) {
        return false;
    }
    copyTimeout(fd, fresh, SO_SNDTIMEO);
    copyTimeout(fd, fresh, SO_RCVTIMEO);
    const bool ready = fcntl(fresh, F_SETFL, flags) == 0 && dup3(fresh, fd, O_CLOEXEC) == fd;
    const int error = errno;
    close(fresh);
    errno = error;
    return ready;
}

} // namespace tavik::app
