// The bound, listening sockets of one server (one per configured address, all on the same port)
// with the wake-up pipe its accept loop also watches, shared by the disk server and the service
// servers. Not thread-safe except wake(), which any thread may call while another polls.
#pragma once

#include "server/CFileDescriptor.h"

#include <poll.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::server {

class CListeningSocket {
public:
    // Binds every address (IPv4 or IPv6 literal) on port (0: a free one, then the same one for
    // the rest) with SO_REUSEADDR, listens, and makes the wake-up pipe. An IPv6 socket takes
    // IPv6 only, so that "::" and "0.0.0.0" can both be listed. With ipv6Optional an IPv6
    // address this machine lacks (no IPv6, or no such address) is skipped, as long as another
    // address is bound. False with error set ("not an IP address: …", "cannot listen on A:P: …",
    // "cannot create the wake-up pipe") when any step fails.
    bool open(const std::vector<std::string>& addresses, uint16_t port, bool ipv6Optional,
              std::string& error);
    // Closes the listeners (the wake-up pipe stays until destruction).
    void closeListener() { listeners_.clear(); }

    // The wake-up pipe at index 0, then (withListeners) one entry per listener, all for POLLIN.
    std::vector<pollfd> pollSet(bool withListeners) const;
    // Accepts one waiting connection from any listener, taking them in turn; -1 with errno set
    // (EAGAIN when none waits).
    int acceptNext(sockaddr_storage& peer);
    // The port actually bound.
    uint16_t port() const { return port_; }
    // The addresses actually listened on.
    const std::vector<std::string>& addresses() const { return bound_; }
    // Makes the wake-up pipe readable, so that a poll on it returns.
    void wake() const;

private:
    bool listenOn(const std::string& address, bool ipv6Optional, std::string& error);

    std::vector<CFileDescriptor> listeners_;
    std::vector<std::string> bound_;
    size_t nextListener_ = 0;
    CFileDescriptor wakeRead_;
    CFileDescriptor wakeWrite_;
    uint16_t port_ = 0;
};

} // namespace tavik::server
