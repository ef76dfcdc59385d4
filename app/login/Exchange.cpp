#include "app/login/Exchange.h"

#include "app/socket/CSocketBase.h"
#include "codec/CFormFramer.h"
#include "codec/CFormMessage.h"

#include "platform/SocketTimeout.h"

#include <array>
#include <chrono>

namespace tavik::app {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReceivePiece = 1024;

// Gives the next receive what is left of the reply's time; false when nothing is left.
bool boundNextReceive(CSocketBase& client, int32_t replyWithinMs, Clock::time_point start) {
    if (replyWithinMs < 0) {
        return true;
    }
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    auto left = static_cast<int64_t>(replyWithinMs) - spent.count();
    return left > 0 && platform::setReceiveTimeout(client.Handle(), static_cast<int32_t>(left));
}

} // namespace

int Exchange(CSocketBase& client, const CFormMessage& request, CFormMessage& reply, bool scramble,
             bool binary, int32_t replyWithinMs) {
    CFormFramer outgoing(scramble, binary);
    if (!outgoing.Append(request)) {
        return kExchangeBuildFailed;
    }
    std::span<const uint8_t> frame = outgoing.Bytes();
    if (client.SendAll(frame.data(), static_cast<int>(frame.size())) != 0) {
        return kExchangeSendFailed;
    }

    Clock::time_point start = Clock::now();
    CFormFramer incoming(scramble, binary);
    std::array<uint8_t, kReceivePiece> piece{};
    for (;;) {
        if (!boundNextReceive(client, replyWithinMs, start)) {
            return kExchangeReceiveFailed;
        }
        // 0 is the peer's close, or a receive that timed out (it would block).
        int count = client.Recv(piece.data(), kReceivePiece);
        if (count <= 0) {
            return kExchangeReceiveFailed;
        }
        switch (incoming.Feed(std::span<const uint8_t>(piece.data(), static_cast<size_t>(count)))) {
        case CFormFramer::kNeedMore:
            break;
        case CFormFramer::kTooLarge:
            return kExchangeReplyTooLarge;
        case CFormFramer::kMalformed:
            return kExchangeReceiveFailed;
        case CFormFramer::kComplete:
            incoming.Extract(reply);
            incoming.Consume();
            return kExchangeOk;
        }
    }
}

} // namespace tavik::app
