// TLS over one connected, non-blocking TCP socket (an OpenSSL SSL object). The socket stays the
// caller's: the channel neither opens nor closes it, and the caller waits for readiness itself
// when a read or write answers WantRead/WantWrite. Used by one thread at a time.
//
// A client channel verifies nothing on its own during the handshake: after it, checkPeer()
// decides, before the caller sends a single byte of its own protocol.
//
// Unless the kernel can encrypt for a server (kernel TLS), a write encrypts as many records as
// it is given and the socket takes, and sends them gathered (CGatheredSends). A read returns the
// bytes of every whole record already received, up to its count, without waiting.
#pragma once

#include "tls/CGatheredSends.h"
#include "tls/CTlsContext.h"

#include <openssl/types.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace tavik::tls {

class CTlsChannel {
public:
    enum class Status { Done, WantRead, WantWrite, Closed, Failed };
    struct Step {
        Status status = Status::Failed;
        size_t count = 0; // bytes moved when Done
    };
    // NotTls (a client's only): the peer ended the handshake without ever showing a
    // certificate, as a server that speaks plain only does (it closes, or answers with its own
    // bytes). A time-out proves nothing either way and stays Timeout.
    enum class Handshake { Done, Timeout, Failed, NotTls };

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

    // Reads what has arrived, up to count bytes; WantRead when no whole record is there.
    Step read(void* buffer, size_t count);
    // Sends up to count bytes: Done with the count the socket has taken (possibly fewer), or
    // WantWrite when it took none. As with a TLS write that must be repeated, the bytes not
    // taken must come first in the next write, at least as many of them: the first retained()
    // of them are already encrypted and on their way, and are not read again. A shorter next
    // write fails.
    Step write(const void* bytes, size_t count);
    size_t retained() const { return retained_; }
    // Whether received bytes may wait inside the channel, so that the socket may look idle;
    // after a read that answered WantRead, only records still incomplete can be there.
    bool hasPending() const;

    // Whether the kernel encrypts what this channel sends (kernel TLS), so that sendFile works.
    bool kernelSends() const;
    // sendfile() of up to count bytes from offset (advanced) through kernel TLS: the count sent,
    // or -1 with errno (EAGAIN when the socket has no room).
    long sendFile(int fileFd, off_t& offset, size_t count);

    // The suite the handshake agreed on, in its standard name ("TLS_AES_128_GCM_SHA256");
    // empty before a handshake.
    std::string cipherSuite() const;
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
    // Gives OpenSSL its socket: directly where kernel TLS may take over, else through a gather.
    bool attachSocket();
    // write() through OpenSSL's own socket BIO: one record after another while the socket takes
    // them.
    Step writeDirect(const uint8_t* bytes, size_t count);
    // Encrypts from bytes + retained_ into the gather until count or the gather is full.
    Step encryptMore(const uint8_t* bytes, size_t count);
    // The plaintext of the records the socket has taken whole since the last report.
    size_t takeSentRecords();

    struct Record {
        uint64_t end = 0; // the gather's appended() after its last byte
        size_t plain = 0; // its plaintext bytes
    };

    std::shared_ptr<const CTlsContext> context_;
    SSL* ssl_;
    int fd_;
    std::string failure_;
    // Null where OpenSSL writes to the socket itself; outlives the BIO over it (freed with ssl_).
    std::unique_ptr<CGatheredSends> gathered_;
    std::deque<Record> records_; // encrypted, not yet reported to the writer
    size_t retained_ = 0;        // their plaintext bytes
    // False only after a read that found no whole record: the handshake may have received the
    // peer's first records along with its own.
    bool readMayHaveMore_ = true;
    // An end or failure met after a read had already got bytes: the next read answers it.
    std::optional<Step> deferred_;
};

// Whether the first bytes a client sent (at least 3) open a TLS handshake: a handshake record
// (22) of a TLS/SSL 3 version. No design packet or frame starts that way.
bool startsTlsHandshake(const unsigned char* bytes, size_t count);

} // namespace tavik::tls
