// Counters that "getserverinfo" reports: open connections, running downloads and uploads, and
// when the server started. Shared by all connection threads; every member is atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavik::server {

class CServerStats {
public:
    CServerStats();

    // Counts one running transfer for as long as the guard lives.
    class CGuard {
    public:
        explicit CGuard(std::atomic<int32_t>& counter) : counter_(counter) { ++counter_; }
        ~CGuard() { --counter_; }
        CGuard(const CGuard&) = delete;
        CGuard& operator=(const CGuard&) = delete;

    private:
        std::atomic<int32_t>& counter_;
    };

    std::atomic<int32_t> connections{0};
    std::atomic<int32_t> downloads{0};
    std::atomic<int32_t> uploads{0};
    // Seconds since 1970-01-01 UTC, as the 32-bit "nStartTime".
    const int32_t startTime;
};

} // namespace tavik::server
