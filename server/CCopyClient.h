// The server's side of "copyex" towards the other server: it logs in there as a client of the
// remote-disk protocol and uploads the range it copies. Used by one connection thread.
#pragma once

#include "server/CSocketStream.h"
#include "server/TransferPlan.h"

#include <cstddef>
#include <cstdint>

namespace tavik::server {

class CCopyClient {
public:
    // The login "version" this server sends as a client.
    static constexpr const char* kClientVersion = "2.12.06.1";

    // Connects, logs in (offering 64-bit positions) and announces the upload of [start, end).
    // Returns 0, or the error for the requesting client's first reply: 21001 when the other
    // server cannot be reached, 21002 when it stops answering, 21004 when it asks for another
    // authentication, 24001 when the range needs 64 bits and the other server did not agree, or
    // the error the other server replied.
    int32_t open(const CopyTarget& target, uint64_t start, uint64_t end, int timeoutMs);
    bool send(const void* bytes, size_t count, int timeoutMs);
    // Waits for the other server's closing reply: its "error", or 21002 when none came.
    int32_t finish(int timeoutMs);
    void close() { stream_.close(); }

private:
    // Sends a request and reads its reply; the reply's "error", or 21002.
    int32_t exchange(CPacket& request, CPacket& reply, int timeoutMs);

    CSocketStream stream_;
};

} // namespace tavik::server
