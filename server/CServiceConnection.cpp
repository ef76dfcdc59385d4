#include "server/CServiceConnection.h"

#include "server/CNetAddress.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace tavik::server {

namespace {

using Clock = CServiceConnection::Clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
}

} // namespace

CServiceConnection::CServiceConnection(CSocketStream stream, std::string peerAddress,
                                       uint16_t peerPort)
    : stream_(std::move(stream)), peerAddress_(std::move(peerAddress)),
      peer_(CNetAddress::withPort(peerAddress_, peerPort)) {}

void CServiceConnection::requestStop() {
    stopping_ = true;
    stream_.shutdownBoth();
}

CServiceConnection::Fill CServiceConnection::fill(int timeoutMs) {
    uint8_t chunk[4096];
    const long got = stream_.recvSome(chunk, sizeof chunk, timeoutMs);
    if (got < 0 || stopping_) {
        return Fill::Closed;
    }
    if (got == 0) {
        return Fill::Timeout;
    }
    buffer_.insert(buffer_.end(), chunk, chunk + got);
    return Fill::Data;
}

CServiceConnection::Read CServiceConnection::readFrame(const Probe& probe, int idleTimeoutMs,
                                                       int frameTimeoutMs,
                                                       std::vector<uint8_t>& frame,
                                                       Clock::time_point deadline) {
    if (buffer_.empty()) {
        const int waitMs = std::min(idleTimeoutMs, remainingMs(deadline));
        const Fill first = waitMs > 0 ? fill(waitMs) : Fill::Timeout;
        if (first != Fill::Data) {
            return first == Fill::Timeout ? Read::Idle : Read::Closed;
        }
    }
    deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(frameTimeoutMs));
    for (;;) {
        const FrameProbe seen = probe(buffer_);
        if (seen.kind == FrameProbe::Kind::Bad) {
            return Read::Bad;
        }
        if (seen.kind == FrameProbe::Kind::Complete) {
            frame.assign(buffer_.begin(), buffer_.begin() + static_cast<long>(seen.length));
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(seen.length));
            return Read::Frame;
        }
        const int left = remainingMs(deadline);
        if (left == 0) {
            return Read::Stalled;
        }
        const Fill more = fill(left);
        if (more == Fill::Closed) {
            return Read::Closed;
        }
    }
}

bool CServiceConnection::send(std::span<const uint8_t> bytes, int timeoutMs) {
    return stream_.sendAll(bytes.data(), bytes.size(), timeoutMs);
}

} // namespace tavik::server
