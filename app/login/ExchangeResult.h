// Result codes of one disk-information request/reply exchange, shared by the program's blocking
// client and the code that frames its bytes.
#pragma once

namespace tavik::app {

enum ExchangeResult : int {
    kExchangeOk = 0,
    // The request could not be framed.
    kExchangeBuildFailed = -1,
    // Sending failed.
    kExchangeSendFailed = -2,
    // Receiving failed, the peer closed before a whole reply arrived, or what arrived is not a
    // frame (its text length runs past its total length).
    kExchangeReceiveFailed = -3,
    // The reply would need a buffer beyond 65,536 bytes.
    kExchangeReplyTooLarge = -4,
};

} // namespace tavik::app
