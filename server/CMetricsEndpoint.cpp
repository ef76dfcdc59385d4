#include "server/CMetricsEndpoint.h"

#include "server/CFileDescriptor.h"
#include "server/CMetrics.h"
#include "server/CNetAddress.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>

namespace tavik::server {

namespace {

constexpr int kRequestMs = 2000;
constexpr size_t kMaxRequest = 8192;

// Sends all of text within the request's deadline; false when the client does not take it.
bool sendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, kRequestMs) != 1) {
            return false;
        }
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

CMetricsEndpoint::~CMetricsEndpoint() {
    stop();
}

std::optional<std::pair<std::string, uint16_t>>
CMetricsEndpoint::parse(const std::string& address) {
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon + 1 == address.size()) {
        return std::nullopt;
    }
    std::string host = address.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return std::nullopt; // an IPv6 literal needs its brackets
    }
    unsigned port = 0;
    const char* end = address.data() + address.size();
    const auto parsed = std::from_chars(address.data() + colon + 1, end, port);
    if (parsed.ec != std::errc() || parsed.ptr != end || port > 65535 ||
        !CNetAddress::parseLiteral(host, 0)) {
        return std::nullopt;
    }
    return std::make_pair(host, static_cast<uint16_t>(port));
}

bool CMetricsEndpoint::start(const std::string& address, std::string& error) {
    const auto parsed = parse(address);
    if (!parsed) {
        error = "metrics_address is not host:port: " + address;
        return false;
    }
    if (!listening_.open({parsed->first}, parsed->second, false, error)) {
        error = "metrics: " + error;
        return false;
    }
    thread_ = std::thread([this] { serveLoop(); });
    return true;
}

void CMetricsEndpoint::stop() {
    if (thread_.joinable()) {
        listening_.wake();
        thread_.join();
        listening_.closeListener();
    }
}

void CMetricsEndpoint::serveLoop() {
    for (;;) {
        std::vector<pollfd> entries = listening_.pollSet(true);
        if (::poll(entries.data(), entries.size(), -1) < 0 && errno != EINTR) {
            return;
        }
        if (entries[0].revents != 0) {
            return;
        }
        sockaddr_storage peer{};
        const int fd = listening_.acceptNext(peer);
        if (fd >= 0) {
            CFileDescriptor connection(fd);
            answer(connection.get());
        }
    }
}

void CMetricsEndpoint::answer(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestMs);
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left)) != 1) {
            return;
        }
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        request.append(buffer, static_cast<size_t>(n));
    }
    const bool metrics =
        request.rfind("GET /metrics ", 0) == 0 || request.rfind("GET /metrics?", 0) == 0;
    const std::string body = metrics ? CMetrics::instance().text() : "not found\n";
    const std::string head =
        std::string(metrics ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 404 Not Found\r\n") +
        (metrics ? "Content-Type: text/plain; version=0.0.4\r\n" : "Content-Type: text/plain\r\n") +
        "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    sendAll(fd, head + body);
}

} // namespace tavik::server
