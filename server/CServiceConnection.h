// One connection of a service server (authentication or disk information): reads whole frames
// within deadlines and sends replies. The frame format is the caller's, described by a probe
// function; the connection only enforces the limits every service connection shares:
//
//   - the first byte of a frame must arrive within the idle time-out;
//   - the whole frame must then arrive within the frame time-out, however slowly it dribbles in
//     (the deadline does not restart on each byte);
//   - a frame announcing more than the size limit, or one the probe calls bad, ends the
//     connection at once, before anything of its body is buffered.
//
// Used by the connection's own thread; requestStop() may be called from any thread.
#pragma once

#include "server/CSocketStream.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tavik::server {

// What a probe says about the bytes received so far.
struct FrameProbe {
    enum class Kind { Incomplete, Complete, Bad };
    Kind kind = Kind::Incomplete;
    size_t length = 0; // the frame's length when Complete
};

class CServiceConnection {
public:
    enum class Read { Frame, Closed, Idle, Stalled, Bad };
    using Probe = std::function<FrameProbe(std::span<const uint8_t> received)>;

    CServiceConnection(CSocketStream stream, std::string peerAddress, uint16_t peerPort);

    // The client's IPv4 address ("127.0.0.1") and "address:port" for the log.
    const std::string& peerAddress() const { return peerAddress_; }
    const std::string& peer() const { return peer_; }

    using Clock = std::chrono::steady_clock;

    // Reads the next frame into frame (its bytes only; bytes after it stay buffered). No frame
    // is taken after deadline either: Idle when nothing of it came by then, Stalled when part.
    Read readFrame(const Probe& probe, int idleTimeoutMs, int frameTimeoutMs,
                   std::vector<uint8_t>& frame,
                   Clock::time_point deadline = Clock::time_point::max());
    bool send(std::span<const uint8_t> bytes, int timeoutMs);
    // Before the first frame: TLS when the client opens with a handshake (see
    // CSocketStream::acceptSecurity).
    CSocketStream::Security startSecurity(const std::shared_ptr<const tls::CTlsContext>& context,
                                          bool requireTls, int timeoutMs, std::string& failure) {
        return stream_.acceptSecurity(context, requireTls, timeoutMs, failure);
    }

    void requestStop();
    const std::atomic<bool>& stopping() const { return stopping_; }

    // When the connection was accepted; the login deadline counts from it.
    Clock::time_point accepted() const { return accepted_; }
    // Whether the client has logged in (any thread may ask): the listener never closes such a
    // connection to make room.
    bool loggedIn() const { return loggedIn_; }
    void markLoggedIn() { loggedIn_ = true; }

private:
    // Receives what arrives within timeoutMs into the buffer: false on close, failure or stop.
    enum class Fill { Data, Timeout, Closed };
    Fill fill(int timeoutMs);

    CSocketStream stream_;
    std::string peerAddress_;
    std::string peer_;
    std::vector<uint8_t> buffer_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> loggedIn_{false};
    Clock::time_point accepted_ = Clock::now();
};

} // namespace tavik::server
