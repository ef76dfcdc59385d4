// The metrics endpoint: answers "GET /metrics" over HTTP with CMetrics' text, on one address
// (metrics_address, "host:port"; port 0: a free one). One request per connection, served on the
// endpoint's own thread, each bounded by a short deadline so that a slow client cannot hold it.
// Other paths get 404. stop() (and destruction) closes it and joins the thread.
#pragma once

#include "server/CListeningSocket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace tavik::server {

class CMetricsEndpoint {
public:
    CMetricsEndpoint() = default;
    ~CMetricsEndpoint();
    CMetricsEndpoint(const CMetricsEndpoint&) = delete;
    CMetricsEndpoint& operator=(const CMetricsEndpoint&) = delete;

    // "127.0.0.1:9101" or "[::1]:9101" into its host literal and port; nullopt when malformed.
    static std::optional<std::pair<std::string, uint16_t>> parse(const std::string& address);
    // Binds and starts serving; false with error.
    bool start(const std::string& address, std::string& error);
    uint16_t port() const { return listening_.port(); }
    void stop();

private:
    void serveLoop();
    void answer(int fd);

    CListeningSocket listening_;
    std::thread thread_;
};

} // namespace tavik::server
