// One TCP connection to a disk server: connect, close, readiness waits with millisecond
// time-outs (-1: no limit), partial and complete sends and receives, and one packet per
// SendPacket/ReceivePacket. Owned by exactly one CSession and used under its lock. Transport
// operations never touch the library's last error; they clear and read only the thread's socket
// error. Every failing SendPacket/ReceivePacket closes the connection.
//
// Small receives read ahead up to 4 KiB of whatever has arrived, so that a reply's header and
// body usually come with one system call; every receive and readiness wait serves those bytes
// first. On a blocking socket a receive sleeps in the kernel with the time-out set on the socket
// instead of waiting for readiness first.
//
// After StartTls every send and receive goes through TLS, with the same bytes inside; the socket
// itself then never blocks, and "blocking" only chooses how a receive waits.
#pragma once

#include "sdk/core/CHostAddresses.h"
#include "tls/CTlsChannel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavik {

class CPacket;

class CConnection {
public:
    CConnection() = default;
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // Host is ANSI text: an IPv4 or IPv6 address (the latter also in brackets), or a name whose
    // IPv6 and IPv4 addresses are tried in the resolver's order until one connects.
    // connectTimeoutMs bounds the wait for the connection to be made (-1: as long as the system
    // keeps trying; a connect that runs out of time fails with the socket error WSAETIMEDOUT).
    bool Connect(const char* host, uint16_t port, bool blocking, int32_t connectTimeoutMs = -1);
    // Tries the addresses in order, each with a share of connectTimeoutMs (see
    // CHostAddresses::attemptBudget); true when one connected (the socket stays blocking).
    bool ConnectAny(const std::vector<CHostAddresses::Candidate>& candidates,
                    int32_t connectTimeoutMs);
    void Close();
    bool IsOpen() const { return socket_ >= 0; }

    enum class TlsStart {
        Secure,     // TLS is on and the server trusted
        NotOffered, // the server did not answer in TLS (a plain-only server)
        Untrusted,  // the server's certificate is not the pinned one, or no trusted CA's
        Failed      // anything else: time-out, broken handshake
    };
    // Right after Connect: TLS with the server, trusting it by pinnedFingerprint (see
    // Fingerprint.h; empty: the system's CAs and host). fingerprint gets the server's certificate
    // fingerprint when it showed one, reason what went wrong. Anything but Secure closes the
    // connection.
    TlsStart StartTls(const std::string& host, const std::string& pinnedFingerprint,
                      int32_t timeoutMs, std::string& fingerprint, std::string& reason);
    bool IsSecure() const { return tls_ != nullptr; }
    int Socket() const { return socket_; }
    bool SetBlocking(bool blocking);
    // Either flag may be null; on return each given flag tells whether the socket is ready.
    bool WaitReady(bool* wantRead, bool* wantWrite, int32_t timeoutMs);
    // One readiness wait and at most one send/recv: count, 0 (time-out or would block) or -1.
    int SendSome(const void* bytes, int count, int32_t timeoutMs);
    int RecvSome(void* buffer, int count, int32_t timeoutMs);
    bool SendAll(const void* bytes, int count, int32_t timeoutMs);
    bool RecvAll(void* buffer, int count, int32_t timeoutMs);
    // 16 + body length, or -1 (allocation, binary), -2 (allocation, text), -3 (serialise),
    // -4 (send).
    int SendPacket(CPacket& packet, int32_t timeoutMs);
    // 16 + body length, or -1 (short read), -2 (time used up by the header), -3 (body length),
    // -4 (allocation), -5 (parse).
    int ReceivePacket(CPacket& packet, int32_t timeoutMs);

private:
    // RecvSome without the bytes read ahead.
    int receive(void* buffer, int count, int32_t timeoutMs);
    // A blocking receive bounded by the socket's receive time-out; -2 when it could not wait
    // that way (a signal cut the wait short, or the time-out could not be set), so that the
    // caller waits the usual way for what is left of the time.
    int receiveSleeping(void* buffer, int count, int32_t timeoutMs);
    bool pendingAhead() const { return aheadStart_ < aheadEnd_; }
    int takeAhead(void* buffer, int count);
    // One TLS read or write, waiting for the socket up to timeoutMs when TLS asks: count, 0 on
    // time-out (-1 with no limit), -1 on failure or the peer's close.
    int tlsTransfer(void* buffer, int count, int32_t timeoutMs, bool sending);

    static constexpr int kReadAhead = 4096;
    static constexpr int32_t kTimeoutUnknown = -2;

    int socket_ = -1;
    std::unique_ptr<tls::CTlsChannel> tls_;
    bool blocking_ = true;
    int32_t socketTimeoutMs_ = kTimeoutUnknown; // the receive time-out set on the socket
    std::array<uint8_t, kReadAhead> ahead_{};
    size_t aheadStart_ = 0;
    size_t aheadEnd_ = 0;
};

} // namespace tavik
