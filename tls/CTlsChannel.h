// TLS over one connected, non-blocking TCP socket (an OpenSSL SSL object). The socket stays the
// caller's: the channel neither opens nor closes it, and the caller waits for readiness itself
// when a read or write answers WantRead/WantWrite. Used by one thread at a time.
//
// A client channel verifies nothing on its own during the handshake: after it, checkPeer()
// decides, before the caller sends a single byte of its own protocol.
#pragma once

#include "tls/CTlsContext.h"

#include <openssl/types.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace tavik::tls {

class CTlsChannel {
public:
    enum class Status { Done, WantRead, WantWrite, Closed, Failed };
    struct Step {
        Status status = Status::Failed;
        size_t count = 0; // bytes moved when Done
    };
    enum class Handshake { Done, Timeout, Failed };

    // Null when OpenSSL cannot make the connection object. The channel keeps the context.
    static std::unique_ptr<CTlsChannel> open(std::shared_ptr<const CTlsContext> context, int fd);
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Client, before the handshake: the host name or IP address (IPv6 with or without brackets)
    // the certificate must name; a name is also sent as the server name indication.
    bool expectHost(const std::string& host);
    // Runs the handshake, waiting for the socket up to timeoutMs in all (-1: no limit). On
    // failure, failure() says why.
    Handshake handshake(int timeoutMs);
    const std::string& failure() const { return failure_; }

    Step read(void* buffer, size_t count);
    Step write(const void* bytes, size_t count);
    // Whether decrypted bytes wait inside the channel (the socket may then look idle). A client
    // channel may also hold whole records not yet decrypted: read before waiting for the socket.
    bool hasPending() const;

    // Whether the kernel encrypts what this channel sends (kernel TLS), so that sendFile works.
    bool kernelSends() const;
    // sendfile() of up to count bytes from offset (advanced) through kernel TLS: the count sent,
    // or -1 with errno (EAGAIN when the socket has no room).
    long sendFile(int fileFd, off_t& offset, size_t count);

    // The peer certificate's fingerprint (Fingerprint.h); empty before a handshake or without one.
    std::string peerFingerprint() const;
    // Client, after the handshake: with a pinned fingerprint, the certificate's must equal it;
    // without one, its chain must lead to a trusted authority and name the expected host.
    // False with a reason for people.
    bool checkPeer(const std::string& pinnedFingerprint, std::string& reason) const;
    // Says goodbye (close_notify) if the socket has room; never waits.
    void closeNotify();

private:
    CTlsChannel(std::shared_ptr<const CTlsContext> context, SSL* ssl, int fd)
        : context_(std::move(context)), ssl_(ssl), fd_(fd) {}
    Step stepFrom(int result, size_t done);

    std::shared_ptr<const CTlsContext> context_;
    SSL* ssl_;
    int fd_;
    std::string failure_;
};

// Whether the first bytes a client sent (at least 3) open a TLS handshake: a handshake record
// (22) of a TLS/SSL 3 version. No design packet or frame starts that way.
bool startsTlsHandshake(const unsigned char* bytes, size_t count);

} // namespace tavik::tls
