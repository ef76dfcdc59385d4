// The service connection's socket: a CPollSocket with a send queue and a growable receive
// buffer. Its handlers post WM_SOCKEVENT to the notify window: OnConnect 100, OnClose 200,
// OnReceive 300 (lParam = the socket handle; for a close, the handle it had), OnAccept 500
// (lParam 0). A socket that never had a handle posts nothing.
//
// Threads: Receive, Queue, Flush and Consume run on the notify window's thread; the handlers
// run where CPollSocket says and only post.
#pragma once

#include "app/socket/CPollSocket.h"

#include "sdk/include/TavikTypes.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

namespace tavik::app {

class CBufferedSocket : public CPollSocket {
public:
    // The receive buffer never holds more than one largest frame plus one read.
    static constexpr size_t kReadStep = 4096;
    static constexpr size_t kSendPiece = 1024;
    // How long Flush waits for the peer to take more bytes before it gives up.
    static constexpr int kFlushStallLimitMs = 10000;

    explicit CBufferedSocket(bool registered = true);

    // The window must outlive the socket (its owner destroys the socket first).
    void SetNotifyWindow(QObject* window) { notifyWindow_ = window; }

    void OnConnect() override;
    void OnClose() override;
    void OnReceive() override;
    void OnAccept() override;

    // One Recv into the buffer's free space (grown so that 4096 bytes are free); the count
    // received, 0 when the peer closed, -1 (last error set) otherwise, also when the handle is
    // invalid or the buffer would outgrow maxHeld (WSAEMSGSIZE, 10040). Over TLS, bytes left
    // inside the channel post a further receive event.
    int Receive(size_t maxHeld);
    // Appends a block with a copy of the bytes.
    bool Queue(const uint8_t* bytes, size_t length);
    // Sends the queue in pieces of at most 1024 bytes; when the peer's window is full it waits
    // for write readiness (at most kFlushStallLimitMs without progress). The total sent, or -1
    // when a send failed or the wait ran out (what was not sent stays queued).
    int64_t Flush();
    // Drops count bytes from the front of the receive buffer (all when count >= held).
    void Consume(size_t count);

    const uint8_t* Received() const { return received_.data(); }
    size_t Held() const { return held_; }
    size_t QueuedBytes() const;

private:
    struct Block {
        std::vector<uint8_t> bytes;
        size_t sent = 0;
    };
    bool WaitWritable();
    LPARAM ReportedHandle() const;

    std::atomic<QObject*> notifyWindow_{nullptr};
    std::deque<Block> queue_;
    std::vector<uint8_t> received_;
    size_t held_ = 0;
};

} // namespace tavik::app
