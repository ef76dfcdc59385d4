#include "server/CRecentLogins.h"

namespace tavik::server {

void CRecentLogins::record(std::string_view account, std::string_view address,
                           Clock::time_point when) {
    std::lock_guard lock(mutex_);
    forgetExpired(when);
    logins_[{std::string(account), std::string(address)}] = when;
}

bool CRecentLogins::allows(std::string_view account, std::string_view address,
                           Clock::time_point now) {
    std::lock_guard lock(mutex_);
    forgetExpired(now);
    const auto found = logins_.find({std::string(account), std::string(address)});
    return found != logins_.end() && found->second <= now;
}

// The table holds at most the logins of one window, however long the server runs.
void CRecentLogins::forgetExpired(Clock::time_point now) {
    for (auto it = logins_.begin(); it != logins_.end();) {
        if (now - it->second > window_) {
            it = logins_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace tavik::server
