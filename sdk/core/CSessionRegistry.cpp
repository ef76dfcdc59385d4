#include "sdk/core/CSessionRegistry.h"

#include <algorithm>

namespace tavik {

CSessionRegistry& CSessionRegistry::instance() {
    static CSessionRegistry registry;
    return registry;
}

CSession* CSessionRegistry::Add(std::unique_ptr<CSession> session) {
    std::lock_guard<std::mutex> hold(lock_);
    sessions_.push_back(std::move(session));
    return sessions_.back().get();
}

CSession* CSessionRegistry::Find(const void* handle) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = std::find_if(sessions_.begin(), sessions_.end(),
                              [handle](const auto& session) { return session.get() == handle; });
    return found == sessions_.end() ? nullptr : found->get();
}

std::unique_ptr<CSession> CSessionRegistry::Remove(const void* handle) {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = std::find_if(sessions_.begin(), sessions_.end(),
                              [handle](const auto& session) { return session.get() == handle; });
    if (found == sessions_.end()) {
        return nullptr;
    }
    std::unique_ptr<CSession> session = std::move(*found);
    sessions_.erase(found);
    return session;
}

size_t CSessionRegistry::Count() const {
    std::lock_guard<std::mutex> hold(lock_);
    return sessions_.size();
}

} // namespace tavik
