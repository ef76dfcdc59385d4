#include "server/CServer.h"

#include "server/CPathResolver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
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
    if (!CPathResolver::kernelConfines()) {
        // Without openat2() paths could only be checked as text, which a client can race.
        error = "the kernel lacks openat2() with RESOLVE_BENEATH (Linux 5.6 or later needed)";
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config_.port);
    if (::inet_pton(AF_INET, config_.address.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + config_.address;
        return false;
    }
    fitDescriptorLimit();
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

int CServer::descriptorsPerConnection(const CServerConfig& config) {
    static constexpr int kPerRequest = 16;
    return config.maxOpenFiles + 3 + kPerRequest;
}

void CServer::fitDescriptorLimit() {
    static constexpr rlim_t kCeiling = 1 << 20;
    static constexpr int kServerOwn = 64; // listener, pipes, stdio, logs, refused clients
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    const rlim_t wanted = std::min(limit.rlim_max, kCeiling);
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    const int64_t available = static_cast<int64_t>(limit.rlim_cur) - kServerOwn;
    const int64_t fits = std::max<int64_t>(1, available / descriptorsPerConnection(config_));
    if (fits < config_.maxConnections) {
        warnings_.push_back("max_connections lowered from " +
                            std::to_string(config_.maxConnections) + " to " + std::to_string(fits) +
                            ": the descriptor limit is " + std::to_string(limit.rlim_cur));
        config_.maxConnections = static_cast<int>(fits);
    }
}

void CServer::acceptLoop() {
    static constexpr int kBackOffMs = 200;
    bool exhausted = false;
    for (;;) {
        // After running out of descriptors only the wake-up pipe is watched for a moment: the
        // waiting connection keeps the listener readable and would spin this loop.
        pollfd entries[2] = {{wakeRead_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        const int ready = ::poll(entries, exhausted ? 1 : 2, exhausted ? kBackOffMs : 1000);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (entries[0].revents != 0) {
            return;
        }
        const bool wasExhausted = exhausted;
        exhausted = false;
        if (wasExhausted || (entries[1].revents & POLLIN)) {
            exhausted = !acceptOne();
            if (exhausted && !wasExhausted) {
                log_.event("-", "out of file descriptors: new connections wait");
            }
        }
        std::lock_guard lock(workersMutex_);
        reapFinished();
    }
}

size_t CServer::connectionsFrom(const std::string& address) const {
    size_t count = 0;
    for (const Worker& worker : workers_) {
        count += !worker.connection->finished() && worker.connection->address() == address ? 1 : 0;
    }
    return count;
}

bool CServer::acceptOne() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int fd =
        ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        return errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM;
    }
    CSocketStream stream(fd);
    const std::string peer = peerName(address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    std::lock_guard lock(workersMutex_);
    const size_t running = reapFinished();
    const auto cap = static_cast<size_t>(config_.maxConnections);
    if (running >= cap + kRefusalSlots) {
        log_.event(peer, "closed: connection limit reached");
        return true;
    }
    if (connectionsFrom(text) >= static_cast<size_t>(config_.maxConnectionsPerAddress)) {
        log_.event(peer, "closed: too many connections from this address");
        return true;
    }
    // Just over the cap a connection is still read once, so that its client learns why it is
    // turned away (22004) instead of seeing a bare close.
    const bool refuse = running >= cap;
    Worker& worker = workers_.emplace_back();
    worker.connection = std::make_unique<CClientConnection>(std::move(stream), peer, config_,
                                                            stats_, log_, throttle_, refuse);
    worker.thread = std::thread([connection = worker.connection.get()] { connection->run(); });
    return true;
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
