#include "server/CServer.h"

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

namespace {

std::string peerName(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace

CServer::CServer(CServerConfig config) : config_(std::move(config)), log_(config_.logCommands) {}

CServer::~CServer() {
    stop();
}

bool CServer::start(std::string& error) {
    std::signal(SIGPIPE, SIG_IGN);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config_.port);
    if (::inet_pton(AF_INET, config_.address.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + config_.address;
        return false;
    }
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    int one = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (!listener_.valid() ||
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), SOMAXCONN) != 0) {
        error = "cannot listen on " + config_.address + ":" + std::to_string(config_.port) + ": " +
                std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    wakeRead_.reset(ends[0]);
    wakeWrite_.reset(ends[1]);
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void CServer::stop() {
    if (stopped_ || !acceptThread_.joinable()) {
        stopped_ = true;
        return;
    }
    stopped_ = true;
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
}

void CServer::acceptLoop() {
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

void CServer::acceptOne() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int fd =
        ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    CSocketStream stream(fd);
    const std::string peer = peerName(address);
    std::lock_guard lock(workersMutex_);
    const size_t running = reapFinished();
    const auto cap = static_cast<size_t>(config_.maxConnections);
    if (running >= cap + kRefusalSlots) {
        log_.event(peer, "closed: connection limit reached");
        return;
    }
    // Just over the cap a connection is still read once, so that its client learns why it is
    // turned away (22004) instead of seeing a bare close.
    const bool refuse = running >= cap;
    Worker& worker = workers_.emplace_back();
    worker.connection = std::make_unique<CClientConnection>(std::move(stream), peer, config_,
                                                            stats_, log_, throttle_, refuse);
    worker.thread = std::thread([connection = worker.connection.get()] { connection->run(); });
}

size_t CServer::reapFinished() {
    size_t running = 0;
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->connection->finished()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++running;
            ++it;
        }
    }
    return running;
}

} // namespace tavik::server
