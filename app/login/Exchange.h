// One request/reply exchange of the disk-information protocol over a connected blocking socket:
// the request is framed and sent in pieces of at most 1024 bytes, then the reply is received in
// reads of at most 1024 bytes until one whole frame is held, which is taken into reply.
//
// Results (ExchangeResult.h): 0; -1 the request cannot be framed; -2 sending failed; -3 a
// receive failed, timed out, the peer closed before a whole reply, or what arrived is not a
// frame; -4 the reply would need a buffer beyond 65,536 bytes.
//
// replyWithinMs bounds the wait for the whole reply (each receive gets what is left of it), so
// that a silent server cannot hold the calling (user-interface) thread; negative: no bound other
// than the socket's own. The socket's receive time-out is changed by a bounded exchange.
// Threads: the caller's; the socket is used by one thread at a time.
#pragma once

#include "app/login/ExchangeResult.h"

#include <cstdint>

namespace tavik::app {

class CFormMessage;
class CSocketBase;

int Exchange(CSocketBase& client, const CFormMessage& request, CFormMessage& reply, bool scramble,
             bool binary, int32_t replyWithinMs = -1);

} // namespace tavik::app
