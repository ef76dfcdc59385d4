// The process-wide list of live sessions. It owns them: a handle is valid for the session
// exports exactly while its session is in the list, and removing it hands the session back for
// destruction. Sessions still registered when the library is unloaded are destroyed with it
// (their sockets closed; no command is sent).
//
// The list has a lock of its own, so that creating and destroying sessions on different threads
// cannot corrupt it; the sessions' own fields are not covered by it (see CSession.h).
#pragma once

#include "sdk/core/CSession.h"

#include <memory>
#include <mutex>
#include <vector>

namespace tavik {

class CSessionRegistry {
public:
    static CSessionRegistry& instance();

    // Takes ownership and returns the handle (the session's address).
    CSession* Add(std::unique_ptr<CSession> session);
    // The registered session for a handle, or null.
    CSession* Find(const void* handle) const;
    // Unregisters the session and returns it, or null when the handle is not registered.
    std::unique_ptr<CSession> Remove(const void* handle);
    size_t Count() const;

private:
    CSessionRegistry() = default;

    mutable std::mutex lock_;
    std::vector<std::unique_ptr<CSession>> sessions_;
};

} // namespace tavik
