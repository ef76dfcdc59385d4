// Clients from several loopback source addresses that each hold up to perAddress connections to
// one port without ever sending a byte, and open a new one as soon as the server closes one: the
// crowd a server must not let keep its slots away from real clients. Each address runs on a
// thread of its own until stop() or destruction; every connect is bounded by a short time-out,
// so a server that no longer accepts cannot hold the test up.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tavik::test {

class CConnectionCrowd {
public:
    CConnectionCrowd(uint16_t port, const std::vector<std::string>& sources, int perAddress);
    ~CConnectionCrowd();
    CConnectionCrowd(const CConnectionCrowd&) = delete;
    CConnectionCrowd& operator=(const CConnectionCrowd&) = delete;

    // Connections opened so far (all addresses).
    uint64_t opened() const { return opened_; }
    // Closes every held connection and joins the threads. Idempotent.
    void stop();

    // "127.0.<third>.1" … "127.0.<third>.<count>".
    static std::vector<std::string> addresses(int third, int count);

private:
    void hold(const std::string& source);

    uint16_t port_;
    int perAddress_;
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> opened_{0};
    std::vector<std::thread> threads_;
};

} // namespace tavik::test
