// The configuration new connections start with. A reload puts a new one in place; connections
// already running keep the one they started with (they hold it), so nothing changes under a
// running request, and what a reload changes reaches every later connection and login.
// Thread-safe: current() and replace() may be called from any thread.
#pragma once

#include "server/CServerConfig.h"

#include <memory>
#include <mutex>

namespace tavik::server {

class CConfigSnapshot {
public:
    explicit CConfigSnapshot(std::shared_ptr<const CServerConfig> first = nullptr)
        : current_(std::move(first)) {}

    std::shared_ptr<const CServerConfig> current() const {
        const std::lock_guard lock(mutex_);
        return current_;
    }
    void replace(std::shared_ptr<const CServerConfig> next) {
        const std::lock_guard lock(mutex_);
        current_.swap(next);
        // The old one is released outside the lock (by next's destructor).
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const CServerConfig> current_;
};

} // namespace tavik::server
