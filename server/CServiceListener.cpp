#include "server/CServiceListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
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

bool CServiceListener::start(const std::string& address, uint16_t port, std::string& error) {
    std::signal(SIGPIPE, SIG_IGN);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &bound.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    int one = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (!listener_.valid() ||
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
        ::listen(listener_.get(), SOMAXCONN) != 0) {
        error = name_ + ": cannot listen on " + address + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof bound;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = name_ + ": cannot create the wake-up pipe";
        return false;
    }
    wakeRead_.reset(ends[0]);
    wakeWrite_.reset(ends[1]);
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void CServiceListener::stop() {
    if (!acceptThread_.joinable()) {
        return;
    }
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_.get(), &byte, 1);
    acceptThread_.join();
    listener_.reset();
    std::lock_guard lock(workersMutex_);
    for (Worker& worker : workers_) {
        worker.connection->requestStop();
    }
    for (Worker& worker : workers_) {
        worker.thread.join();
    }
    workers_.clear();
    perAddress_.clear();
}

void CServiceListener::acceptLoop() {
    for (;;) {
        pollfd entries[2] = {{listener_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        const int ready = ::poll(entries, 2, 1000);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (entries[1].revents != 0) {
            return;
        }
        if (entries[0].revents & POLLIN) {
            acceptOne();
        }
        std::lock_guard lock(workersMutex_);
        reapFinished();
    }
}

void CServiceListener::acceptOne() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int fd =
        ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        // Out of descriptors: the pending connection stays queued; do not spin on it.
        if (errno == EMFILE || errno == ENFILE) {
            ::poll(nullptr, 0, 100);
        }
        return;
    }
    CSocketStream stream(fd);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    const std::string peerAddress(text);
    std::lock_guard lock(workersMutex_);
    reapFinished();
    int& fromAddress = perAddress_[peerAddress];
    if (static_cast<int>(workers_.size()) >= limits_.maxConnections ||
        fromAddress >= limits_.maxPerAddress) {
        if (fromAddress == 0) {
            perAddress_.erase(peerAddress);
        }
        log_.event(peerAddress, name_ + ": closed: connection limit reached");
        return;
    }
    ++fromAddress;
    Worker& worker = workers_.emplace_back();
    worker.connection = std::make_unique<CServiceConnection>(std::move(stream), peerAddress,
                                                             ntohs(address.sin_port));
    worker.thread = std::thread([this, &worker] {
        handler_(*worker.connection);
        worker.connection->requestStop();
        worker.finished = true;
    });
}

void CServiceListener::reapFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (!it->finished) {
            ++it;
            continue;
        }
        it->thread.join();
        const auto counted = perAddress_.find(it->connection->peerAddress());
        if (counted != perAddress_.end() && --counted->second <= 0) {
            perAddress_.erase(counted);
        }
        it = workers_.erase(it);
    }
}

} // namespace tavik::server
