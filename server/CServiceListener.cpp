#include "server/CServiceListener.h"

#include "server/CNetAddress.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::server {

CServiceListener::CServiceListener(std::string name, Limits limits, CCommandLog& log,
                                   Handler handler)
    : name_(std::move(name)), limits_(limits), log_(log), handler_(std::move(handler)) {}

CServiceListener::~CServiceListener() {
    stop();
}

bool CServiceListener::start(const std::vector<std::string>& addresses, uint16_t port,
                             bool ipv6Optional, std::string& error) {
    std::signal(SIGPIPE, SIG_IGN);
    if (!listening_.open(addresses, port, ipv6Optional, error)) {
        error = name_ + ": " + error;
        return false;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void CServiceListener::stop() {
    if (!acceptThread_.joinable()) {
        return;
    }
    listening_.wake();
    acceptThread_.join();
    listening_.closeListener();
    connections_.stopAll();
}

void CServiceListener::acceptLoop() {
    for (;;) {
        std::vector<pollfd> entries = listening_.pollSet(true);
        const int ready = ::poll(entries.data(), entries.size(), 1000);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (entries[0].revents != 0) {
            return;
        }
        if (std::any_of(entries.begin() + 1, entries.end(),
                        [](const pollfd& entry) { return entry.revents != 0; })) {
            acceptOne();
        }
        connections_.reap();
    }
}

void CServiceListener::acceptOne() {
    sockaddr_storage address{};
    const int fd = listening_.acceptNext(address);
    if (fd < 0) {
        // Out of descriptors: the pending connection stays queued; do not spin on it.
        if (errno == EMFILE || errno == ENFILE) {
            ::poll(nullptr, 0, 100);
        }
        return;
    }
    CSocketStream stream(fd);
    const std::string peerAddress = CNetAddress::hostText(address);
    if (connections_.runningFrom(peerAddress) >= static_cast<size_t>(limits_.maxPerAddress)) {
        log_.event(peerAddress, name_ + ": closed: too many connections from this address");
        return;
    }
    // When every slot is taken, one that has not logged in makes room; only a server full of
    // logged-in clients turns the newcomer away. The protocol has no answer that says so (its
    // one failure code would read as a wrong password), so the connection is simply closed.
    const size_t running = connections_.reap();
    if (running >= static_cast<size_t>(limits_.maxConnections) && !connections_.makeRoom()) {
        log_.event(peerAddress, name_ + ": closed: connection limit reached");
        return;
    }
    auto connection = std::make_shared<CServiceConnection>(std::move(stream), peerAddress,
                                                           CNetAddress::port(address));
    connections_.start(
        peerAddress,
        [this, connection] {
            handler_(*connection);
            connection->requestStop();
        },
        [connection] { connection->requestStop(); },
        [connection] { return connection->loggedIn(); });
}

} // namespace tavik::server
