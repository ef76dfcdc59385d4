#include "app/socket/CBufferedSocket.h"

#include "app/socket/CWindowMessage.h"
#include "app/socket/SocketEvents.h"

#include "platform/WinsockError.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace tavik::app {

namespace {
constexpr int kWsaEmsgsize = 10040;
}

CBufferedSocket::CBufferedSocket(bool registered) : CPollSocket(registered) {}

LPARAM CBufferedSocket::ReportedHandle() const {
    return Handle() != kInvalidHandle ? Handle() : LastHandle();
}

void CBufferedSocket::OnConnect() {
    if (Handle() != kInvalidHandle) {
        CWindowMessage::Post(notifyWindow_.load(), WM_SOCKEVENT, kSockEventConnect, Handle());
    }
}

void CBufferedSocket::OnClose() {
    // A close is reported after the handle was closed, so it carries the handle it had.
    if (ReportedHandle() != kInvalidHandle) {
        CWindowMessage::Post(notifyWindow_.load(), WM_SOCKEVENT, kSockEventClose, ReportedHandle());
    }
}

void CBufferedSocket::OnReceive() {
    if (Handle() != kInvalidHandle) {
        CWindowMessage::Post(notifyWindow_.load(), WM_SOCKEVENT, kSockEventReceive, Handle());
    }
}

void CBufferedSocket::OnAccept() {
    // Posted, not sent: the poll thread holds the socket list's lock here, and a blocking send
    // would wait for a user-interface thread that may itself be waiting for that lock.
    if (Handle() != kInvalidHandle) {
        CWindowMessage::Post(notifyWindow_.load(), WM_SOCKEVENT, kSockEventAccept, 0);
    }
}

int CBufferedSocket::Receive(size_t maxHeld) {
    if (Handle() == kInvalidHandle) {
        platform::WSASetLastError(10038);
        return -1;
    }
    if (held_ >= maxHeld) {
        platform::WSASetLastError(kWsaEmsgsize);
        return -1;
    }
    if (received_.size() - held_ < kReadStep) {
        received_.resize(held_ + kReadStep);
    }
    int count = Recv(received_.data() + held_, static_cast<int>(kReadStep));
    if (count > 0) {
        held_ += static_cast<size_t>(count);
    }
    if (TlsPending()) {
        // Bytes already read off the socket wait in the channel: the poll thread will not see
        // them, so the next receive is asked for here.
        OnReceive();
    }
    return count;
}

bool CBufferedSocket::Queue(const uint8_t* bytes, size_t length) {
    queue_.push_back(Block{std::vector<uint8_t>(bytes, bytes + length), 0});
    return true;
}

int64_t CBufferedSocket::Flush() {
    int64_t total = 0;
    while (!queue_.empty()) {
        Block& block = queue_.front();
        if (block.sent < block.bytes.size()) {
            size_t piece = std::min(kSendPiece, block.bytes.size() - block.sent);
            int sent = Send(block.bytes.data() + block.sent, static_cast<int>(piece));
            if (sent < 0 && platform::WSAGetLastError() == platform::WSAEWOULDBLOCK) {
                if (!WaitWritable()) {
                    return -1;
                }
                continue;
            }
            if (sent <= 0) {
                return -1;
            }
            block.sent += static_cast<size_t>(sent);
            total += sent;
        }
        if (block.sent >= block.bytes.size()) {
            queue_.pop_front();
        }
    }
    return total;
}

bool CBufferedSocket::WaitWritable() {
    pollfd fd{Handle(), POLLOUT, 0};
    int ready = 0;
    do {
        ready = poll(&fd, 1, kFlushStallLimitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        platform::WSASetLastError(ready == 0 ? 10060 : platform::wsaErrorFromErrno(errno));
        return false;
    }
    return true;
}

void CBufferedSocket::Consume(size_t count) {
    count = std::min(count, held_);
    std::copy(received_.begin() + static_cast<std::ptrdiff_t>(count),
              received_.begin() + static_cast<std::ptrdiff_t>(held_), received_.begin());
    held_ -= count;
}

size_t CBufferedSocket::QueuedBytes() const {
    size_t bytes = 0;
    for (const Block& block : queue_) {
        bytes += block.bytes.size() - block.sent;
    }
    return bytes;
}

} // namespace tavik::app
