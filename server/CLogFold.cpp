#include "server/CLogFold.h"

namespace tavik::server {

bool CLogFold::admit(std::string_view address, std::string_view text, Clock::time_point now) {
    auto found = windows_.find(address);
    if (found == windows_.end()) {
        windows_.emplace(std::string(address), Window{now, 1, 0, {}});
        return true;
    }
    if (now - found->second.start >= interval_) {
        // The window is over: what it folded waits for due(), and a new one begins.
        if (found->second.folded > 0) {
            pending_.push_back(
                {found->first, found->second.folded, std::move(found->second.lastText)});
        }
        found->second = Window{now, 1, 0, {}};
        return true;
    }
    Window& window = found->second;
    if (window.written < kLinesPerInterval) {
        ++window.written;
        return true;
    }
    ++window.folded;
    window.lastText.assign(text);
    return false;
}

std::vector<CLogFold::Summary> CLogFold::due(Clock::time_point now, bool all) {
    std::vector<Summary> summaries = std::move(pending_);
    pending_.clear();
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (!all && now - it->second.start < interval_) {
            ++it;
            continue;
        }
        if (it->second.folded > 0) {
            summaries.push_back({it->first, it->second.folded, std::move(it->second.lastText)});
        }
        it = windows_.erase(it);
    }
    return summaries;
}

} // namespace tavik::server
