#include "server/CServer.h"

#include "server/CMetrics.h"
#include "server/CNetAddress.h"
#include "server/CPathResolver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::server {

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
    fitDescriptorLimit();
    warnIfExposed();
    snapshot_.replace(std::make_shared<const CServerConfig>(config_));
    if (!listening_.open(config_.addresses, config_.port, config_.addressesDefaulted, error)) {
        return false;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void CServer::reload(CServerConfig fresh) {
    fresh.addresses = config_.addresses;
    fresh.addressesDefaulted = config_.addressesDefaulted;
    fresh.port = config_.port;
    fresh.maxConnections = config_.maxConnections;
    fresh.service.maxConnections = config_.service.maxConnections;
    // Writes running under the old configuration keep their reservations in the same ledger as
    // new ones, so that the quota holds across the reload.
    const std::shared_ptr<const CServerConfig> current = snapshot_.current();
    for (DiskConfig& disk : fresh.disks) {
        if (const DiskConfig* running = current->findDisk(disk.id);
            running != nullptr && running->root == disk.root) {
            disk.ledger = running->ledger;
        }
    }
    snapshot_.replace(std::make_shared<const CServerConfig>(std::move(fresh)));
}

void CServer::stopAccepting() {
    if (acceptThread_.joinable()) {
        listening_.wake();
        acceptThread_.join();
        listening_.closeListener();
    }
    connections_.drainAll();
}

void CServer::stop() {
    if (stopped_ || !acceptThread_.joinable()) {
        stopped_ = true;
        connections_.stopAll();
        return;
    }
    stopped_ = true;
    listening_.wake();
    acceptThread_.join();
    listening_.closeListener();
    connections_.stopAll();
}

void CServer::warnIfExposed() {
    if (config_.tls) {
        return;
    }
    for (const std::string& address : config_.addresses) {
        if (!CNetAddress::isLoopback(address)) {
            warnings_.push_back("listening on " + address +
                                " without TLS: passwords and files cross the network readable "
                                "by anyone; set tls_certificate and tls_key");
        }
    }
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
    int64_t available = static_cast<int64_t>(limit.rlim_cur) - kServerOwn;
    if (config_.service.enabled()) {
        available -= fitServiceConnections(available);
    }
    const int64_t fits = std::max<int64_t>(1, available / descriptorsPerConnection(config_));
    if (fits < config_.maxConnections) {
        warnings_.push_back("max_connections lowered from " +
                            std::to_string(config_.maxConnections) + " to " + std::to_string(fits) +
                            ": the descriptor limit is " + std::to_string(limit.rlim_cur));
        config_.maxConnections = static_cast<int>(fits);
    }
}

int64_t CServer::fitServiceConnections(int64_t available) {
    // Two service servers, one descriptor per connection. They may take what the disk server
    // does not need, and at least half of the budget when it needs more.
    ServiceConfig& service = config_.service;
    const int64_t wanted = 2 * int64_t{service.maxConnections};
    const int64_t diskWanted = int64_t{config_.maxConnections} * descriptorsPerConnection(config_);
    const int64_t share = std::min(wanted, std::max(available / 2, available - diskWanted));
    if (share < wanted) {
        const int fits = static_cast<int>(std::max<int64_t>(1, share / 2));
        warnings_.push_back("[service] max_connections lowered from " +
                            std::to_string(service.maxConnections) + " to " + std::to_string(fits) +
                            " to share the descriptor limit");
        service.maxConnections = fits;
    }
    return 2 * int64_t{service.maxConnections};
}

void CServer::acceptLoop() {
    static constexpr int kBackOffMs = 200;
    bool exhausted = false;
    for (;;) {
        // After running out of descriptors only the wake-up pipe is watched for a moment: the
        // waiting connection keeps the listener readable and would spin this loop.
        std::vector<pollfd> entries = listening_.pollSet(!exhausted);
        const int ready = ::poll(entries.data(), entries.size(), exhausted ? kBackOffMs : 1000);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (entries[0].revents != 0) {
            return;
        }
        const bool wasExhausted = exhausted;
        exhausted = false;
        const bool waiting = std::any_of(entries.begin() + 1, entries.end(),
                                         [](const pollfd& entry) { return entry.revents != 0; });
        if (wasExhausted || waiting) {
            exhausted = !acceptOne();
            if (exhausted && !wasExhausted) {
                log_.event("-", "out of file descriptors: new connections wait");
            }
        }
        connections_.reap();
    }
}

bool CServer::acceptOne() {
    sockaddr_storage address{};
    const int fd = listening_.acceptNext(address);
    if (fd < 0) {
        return errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM;
    }
    CSocketStream stream(fd);
    const std::string text = CNetAddress::hostText(address);
    const std::string peer = CNetAddress::withPort(text, CNetAddress::port(address));
    // Just over a cap a connection is still read once, so that its client learns why it is
    // turned away (22004) instead of seeing a bare close; further ones are closed at once.
    std::shared_ptr<const CServerConfig> config = snapshot_.current();
    const size_t fromAddress = connections_.runningFrom(text);
    const auto perAddress = static_cast<size_t>(config->maxConnectionsPerAddress);
    if (fromAddress >= perAddress + kRefusalSlots) {
        CMetrics::instance().add("tavik_connections_refused_total", {{"reason", "address_limit"}});
        log_.event(peer, "closed: too many connections from this address");
        return true;
    }
    const bool overAddressCap = fromAddress >= perAddress;
    // A full server makes room by closing a connection that has not logged in (those of the
    // address holding the most go first), so that clients reconnecting without logging in
    // cannot keep real logins out.
    size_t running = connections_.reap();
    const auto cap = static_cast<size_t>(config_.maxConnections);
    if (!overAddressCap && running >= cap && connections_.makeRoom()) {
        --running;
    }
    if (running >= cap + kRefusalSlots) {
        CMetrics::instance().add("tavik_connections_refused_total",
                                 {{"reason", "connection_limit"}});
        log_.event(peer, "closed: connection limit reached");
        return true;
    }
    const bool refuse = overAddressCap || running >= cap;
    if (refuse) {
        CMetrics::instance().add(
            "tavik_connections_refused_total",
            {{"reason", overAddressCap ? "address_limit" : "connection_limit"}});
    }
    auto connection = std::make_shared<CClientConnection>(
        std::move(stream), peer, std::move(config), stats_, log_, throttle_, refuse);
    connections_.start(
        text, [connection] { connection->run(); }, [connection] { connection->requestStop(); },
        [connection] { return connection->loggedIn(); },
        [connection] { connection->requestDrain(); });
    return true;
}

} // namespace tavik::server
