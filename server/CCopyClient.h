// The server's side of "copyex" towards the other server: it logs in there as a client of the
// remote-disk protocol and uploads the range it copies. Used by one connection thread. The
// connection is secured as the server's copy_tls says (CopySecurity): TLS with a certificate that
// copy_fingerprints or the system's CAs trust; plain only with a server that does not speak TLS
// at all, and only while TLS is preferred rather than required.
#pragma once

#include "server/CServerConfig.h"
#include "server/CSocketStream.h"
#include "server/TransferPlan.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavik::server {

class CCopyClient {
public:
    // The login "version" this server sends as a client.
    static constexpr const char* kClientVersion = "2.12.06.1";

    // Connects, secures the connection, logs in (offering 64-bit positions) and announces the
    // upload of [start, end). Returns 0, or the error for the requesting client's first reply:
    // 21001 when the other server cannot be reached or not securely (failure() says why),
    // 21002 when it stops answering, 21004 when it asks for another authentication, 24001 when
    // the range needs 64 bits and the other server did not agree, or the error it replied.
    int32_t open(const CopyTarget& target, const CopySecurity& security, uint64_t start,
                 uint64_t end, int timeoutMs);
    // Why the last open() could not secure its connection; empty otherwise.
    const std::string& failure() const { return failure_; }
    bool send(const void* bytes, size_t count, int timeoutMs);
    // Waits for the other server's closing reply: its "error", or 21002 when none came.
    int32_t finish(int timeoutMs);
    void close() { stream_.close(); }

private:
    // Sends a request and reads its reply; the reply's "error", or 21002.
    int32_t exchange(CPacket& request, CPacket& reply, int timeoutMs);
    // Connects as the security asks: 0, or 21001 (with failure_ set when TLS was the reason).
    int32_t connect(const CopyTarget& target, const CopySecurity& security, int timeoutMs);
    bool trusted(const CopySecurity& security, std::string& reason) const;

    CSocketStream stream_;
    std::string failure_;
};

} // namespace tavik::server
