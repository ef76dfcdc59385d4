// Which account logged in successfully from which client address, and when. The disk-information
// request carries no secret, so the disk-information server answers only for an account that
// authenticated from the same address within its window. Thread-safe.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace tavik::server {

class CRecentLogins {
public:
    using Clock = std::chrono::steady_clock;

    explicit CRecentLogins(std::chrono::seconds window) : window_(window) {}

    void record(std::string_view account, std::string_view address, Clock::time_point when);
    // True when the account logged in from address within the window before now.
    bool allows(std::string_view account, std::string_view address, Clock::time_point now);

private:
    void forgetExpired(Clock::time_point now);

    std::chrono::seconds window_;
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Clock::time_point> logins_;
};

} // namespace tavik::server
