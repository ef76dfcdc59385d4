// A bound, listening IPv4 socket with the wake-up pipe its accept loop also watches, shared by
// the disk server and the service servers. Not thread-safe except wake(), which any thread may
// call while another polls.
#pragma once

#include "server/CFileDescriptor.h"

#include <cstdint>
#include <string>

namespace tavik::server {

class CListeningSocket {
public:
    // Binds address:port (port 0: any free one) with SO_REUSEADDR, listens, and makes the
    // wake-up pipe. False with error set ("not an IPv4 address: …", "cannot listen on A:P: …",
    // "cannot create the wake-up pipe") when any step fails.
    bool open(const std::string& address, uint16_t port, std::string& error);
    // Closes the listener (the wake-up pipe stays until destruction).
    void closeListener() { listener_.reset(); }

    int listenerFd() const { return listener_.get(); }
    int wakeFd() const { return wakeRead_.get(); }
    // The port actually bound.
    uint16_t port() const { return port_; }
    // Makes wakeFd() readable, so that a poll on it returns.
    void wake() const;

private:
    CFileDescriptor listener_;
    CFileDescriptor wakeRead_;
    CFileDescriptor wakeWrite_;
    uint16_t port_ = 0;
};

} // namespace tavik::server
