#include "server/CListeningSocket.h"

#include "server/CNetAddress.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

namespace tavik::server {

bool CListeningSocket::open(const std::vector<std::string>& addresses, uint16_t port,
                            bool ipv6Optional, std::string& error) {
    port_ = port;
    for (const std::string& address : addresses) {
        if (!listenOn(address, ipv6Optional, error)) {
            return false;
        }
    }
    if (listeners_.empty()) {
        error = "no address to listen on";
        return false;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    wakeRead_.reset(ends[0]);
    wakeWrite_.reset(ends[1]);
    return true;
}

bool CListeningSocket::listenOn(const std::string& address, bool ipv6Optional, std::string& error) {
    auto bound = CNetAddress::parseLiteral(address, port_);
    if (!bound) {
        error = "not an IP address: " + address;
        return false;
    }
    CFileDescriptor listener(
        ::socket(bound->family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    int one = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bound->family == AF_INET6) {
        ::setsockopt(listener.get(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
    if (!listener.valid() ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&bound->address), bound->length) != 0 ||
        ::listen(listener.get(), SOMAXCONN) != 0) {
        const int failure = errno;
        if (ipv6Optional && bound->family == AF_INET6 &&
            (failure == EAFNOSUPPORT || failure == EADDRNOTAVAIL)) {
            return true;
        }
        error = "cannot listen on " + CNetAddress::withPort(CNetAddress::hostOf(address), port_) +
                ": " +
                (failure == EADDRINUSE ? "port " + std::to_string(port_) + " is taken"
                                       : std::string(std::strerror(failure)));
        return false;
    }
    socklen_t length = sizeof bound->address;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound->address), &length);
    port_ = CNetAddress::port(bound->address);
    listeners_.push_back(std::move(listener));
    bound_.push_back(CNetAddress::hostOf(address));
    return true;
}

std::vector<pollfd> CListeningSocket::pollSet(bool withListeners) const {
    std::vector<pollfd> entries{{wakeRead_.get(), POLLIN, 0}};
    if (withListeners) {
        for (const CFileDescriptor& listener : listeners_) {
            entries.push_back({listener.get(), POLLIN, 0});
        }
    }
    return entries;
}

int CListeningSocket::acceptNext(sockaddr_storage& peer) {
    const size_t count = listeners_.size();
    for (size_t i = 0; i < count; ++i) {
        const size_t index = (nextListener_ + i) % count;
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listeners_[index].get(), reinterpret_cast<sockaddr*>(&peer),
                                 &length, SOCK_CLOEXEC);
        if (fd >= 0) {
            // The next call starts at the next listener, so that a busy one cannot starve the
            // others.
            nextListener_ = index + 1;
            return fd;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED) {
            return -1;
        }
    }
    errno = EAGAIN;
    return -1;
}

void CListeningSocket::wake() const {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_.get(), &byte, 1);
}

} // namespace tavik::server
