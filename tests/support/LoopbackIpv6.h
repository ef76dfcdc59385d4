// Whether this machine can listen on IPv6 loopback (::1). Containers and some CI hosts run
// without IPv6; the tests that need ::1 skip there with a line saying so.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::test {

inline bool loopbackIpv6Available() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

#define TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK()                                                         \
    if (!::tavik::test::loopbackIpv6Available()) {                                                 \
        GTEST_SKIP() << "no IPv6 on loopback (::1 cannot be bound; see ip -6 addr show lo)";       \
    }

} // namespace tavik::test
