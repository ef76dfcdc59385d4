// One TCP socket with time-outs, and the framing of one packet on it. Used for the clients'
// connections and for the connection copyex opens to another server. One thread uses a stream at
// a time; shutdownBoth() may be called from another thread to wake a blocked wait.
//
// Every operation but one is non-blocking with a readiness wait. The exception is the wait for
// the next packet: it sleeps inside the receive, with the time-out set on the socket, which saves
// a readiness wait per request. The stream switches the socket's mode as each call needs it.
//
// After acceptSecurity() has found a TLS handshake, every operation below goes through TLS and
// the protocol's bytes inside are the same; the socket then never blocks.
#pragma once

#include "server/CFileDescriptor.h"
#include "tls/CTlsChannel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <vector>

namespace tavik {
class CPacket;
}

namespace tavik::server {

class CSocketStream {
public:
    enum class Wait { Ready, Timeout, Failed };
    enum class Receive { Ok, Closed, Timeout, Malformed };
    // What the client's first bytes asked for. Refused: plain while TLS is required.
    enum class Security { Plain, Tls, Refused, Failed };

    CSocketStream() = default;
    // Takes ownership of a connected socket and makes it non-blocking.
    explicit CSocketStream(int fd);

    // Connects to an IPv4 or IPv6 address, or a host name whose addresses are tried in the
    // resolver's order, each within timeoutMs.
    static bool connectTo(const std::string& host, uint16_t port, int timeoutMs,
                          CSocketStream& out);

    bool valid() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }
    void close() {
        tls_.reset();
        fd_.reset();
    }

    // A new connection of a server: waits up to timeoutMs for the client's first bytes without
    // taking them. A TLS handshake is completed within timeoutMs and serves everything after;
    // other bytes are Plain (Refused when TLS is required). Failed (why in failure): a handshake
    // without a context or that did not complete, or (with TLS required) nothing at all.
    Security acceptSecurity(const std::shared_ptr<const tls::CTlsContext>& context, bool requireTls,
                            int timeoutMs, std::string& failure);
    bool secure() const { return tls_ != nullptr; }
    // The TLS channel of a secure stream, for its peer's certificate; null in plain.
    const tls::CTlsChannel* tlsChannel() const { return tls_.get(); }

    // A connection this server opened (connectTo): a TLS handshake within timeoutMs with the
    // server at host (the name or address its certificate must show, for checkPeer). Secure:
    // everything after goes through TLS. NotOffered: the peer answered without a certificate,
    // as a server that speaks plain only does. Failed: anything else (a time-out too). On
    // anything but Secure the stream is closed and failure says why.
    enum class TlsStart { Secure, NotOffered, Failed };
    TlsStart startTls(const std::shared_ptr<const tls::CTlsContext>& context,
                      const std::string& host, int timeoutMs, std::string& failure);
    // Stops traffic both ways without closing the descriptor (safe from another thread).
    void shutdownBoth();

    // events: POLLIN / POLLOUT. timeoutMs -1 waits without limit.
    Wait waitFor(short events, int timeoutMs);
    // Receives exactly count bytes, all of them within timeoutMs.
    Receive recvExact(void* buffer, size_t count, int timeoutMs);
    // Receives what is there (at most count bytes) after waiting up to timeoutMs; returns the
    // count, 0 on time-out, -1 on a closed or failed connection.
    long recvSome(void* buffer, size_t count, int timeoutMs);
    // Sends all bytes; each wait for room may take up to timeoutMs.
    bool sendAll(const void* bytes, size_t count, int timeoutMs);
    // One sendfile() of up to count bytes of the file from offset, without waiting: the count
    // sent (offset advanced), 0 when the file has no more bytes, -1 with errno (EAGAIN when the
    // socket has no room).
    long sendFileSome(int fileFd, off_t& offset, size_t count);

    // Waits up to idleMs for a packet to start, then up to requestMs for the whole packet.
    // A body length outside 0..1 MiB or a packet that does not parse is Malformed.
    Receive receivePacket(CPacket& packet, int idleMs, int requestMs);
    // Why the last Malformed packet was refused ("header checksum mismatch", ...).
    const std::string& malformedReason() const { return malformed_; }
    bool sendPacket(CPacket& packet, int timeoutMs);

    // True when the peer has closed its side (or the socket failed); never blocks.
    bool peerGone();

private:
    static bool connectOne(const sockaddr& address, socklen_t length, int timeoutMs,
                           CSocketStream& out);
    // Reads whatever has arrived (up to kReadAhead bytes) without waiting, so that a request
    // usually costs one receive instead of one for its header and one for its body.
    void readAhead();
    size_t takePending(void* buffer, size_t count);
    // Sleeps in a receive of up to kReadAhead bytes for at most timeoutMs.
    Wait receiveAhead(int timeoutMs);
    bool setBlocking(bool blocking);
    // One receive / send that never blocks, through TLS when it is on: the count, 0 when the
    // peer closed (receive), or -1 with errno (EAGAIN when it would block).
    long receiveNow(void* buffer, size_t count);
    long sendNow(const void* bytes, size_t count);
    // Whether the first bytes (peeked, not taken) open a TLS handshake; nullopt when fewer
    // than three came within timeoutMs.
    std::optional<bool> peekHandshake(int timeoutMs);
    // sendFileSome() through TLS without kernel TLS: the file's bytes pass through a buffer.
    long sendFileCopying(int fileFd, off_t& offset, size_t count);

    static constexpr size_t kReadAhead = 4096;

    CFileDescriptor fd_;
    std::unique_ptr<tls::CTlsChannel> tls_;
    std::string malformed_;
    std::vector<uint8_t> copyBuffer_; // sendFileCopying()'s
    // Bytes received ahead of what callers asked for; every receive serves them first.
    std::array<uint8_t, kReadAhead> pending_{};
    size_t pendingStart_ = 0;
    size_t pendingEnd_ = 0;
    bool blocking_ = false;
    int receiveTimeoutMs_ = kTimeoutUnknown; // as set on the socket
    static constexpr int kTimeoutUnknown = -2;
};

} // namespace tavik::server
