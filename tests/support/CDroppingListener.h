// A loopback server that drops connection attempts, as one behind a dead link or an overloaded
// one does: a listener that never accepts, with its queue of waiting connections filled by
// connections of its own, so the kernel drops every further attempt and a connect waits for as
// long as the client lets it.
//
// Ownership: owns the listening socket and the filling connections, closed on destruction.
// port() is 0 when the listener could not be made.
#pragma once

#include <cstdint>
#include <vector>

namespace tavik::test {

class CDroppingListener {
public:
    CDroppingListener();
    ~CDroppingListener();
    CDroppingListener(const CDroppingListener&) = delete;
    CDroppingListener& operator=(const CDroppingListener&) = delete;

    uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    std::vector<int> fillers_;
    uint16_t port_ = 0;
};

} // namespace tavik::test
