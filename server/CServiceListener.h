// The listener of a service server: accepts connections on one port and serves each on a thread
// of its own with the server's handler. It bounds what clients can hold: at most maxPerAddress
// connections from one client address, and at most maxConnections in all. When all are taken,
// the oldest connection that has not logged in (CServiceConnection::loggedIn) of the address
// holding the most of them is closed to make room; only when every one has logged in is the new
// connection closed at once (and logged). stop() closes the listener, wakes every connection and
// waits for all threads.
#pragma once

#include "server/CCommandLog.h"
#include "server/CConnectionThreads.h"
#include "server/CListeningSocket.h"
#include "server/CServiceConnection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tavik::server {

class CServiceListener {
public:
    struct Limits {
        int maxConnections = 512;
        int maxPerAddress = 64;
    };
    // Runs on the connection's thread until the connection ends; the listener closes it after.
    using Handler = std::function<void(CServiceConnection&)>;

    CServiceListener(std::string name, Limits limits, CCommandLog& log, Handler handler);
    ~CServiceListener();
    CServiceListener(const CServiceListener&) = delete;
    CServiceListener& operator=(const CServiceListener&) = delete;

    // Binds every address on port (port 0: a free one; see CListeningSocket::open) and starts
    // accepting; false with error.
    bool start(const std::vector<std::string>& addresses, uint16_t port, bool ipv6Optional,
               std::string& error);
    uint16_t port() const { return listening_.port(); }
    // Idempotent.
    void stop();

private:
    void acceptLoop();
    void acceptOne();

    std::string name_;
    Limits limits_;
    CCommandLog& log_;
    Handler handler_;
    CListeningSocket listening_;
    std::thread acceptThread_;
    CConnectionThreads connections_;
};

} // namespace tavik::server
