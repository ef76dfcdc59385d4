// The sending side of one TLS connection when user space encrypts: records are gathered here and
// leave in large sends, so that a burst of 16 KiB records costs one system call (and, on a fast
// link, one pass through the network stack) instead of one each.
//
// The BIO made by newBio() is the connection's write BIO: every write lands here and always
// succeeds; a flush (OpenSSL's during the handshake and alerts, or flush() below) sends what the
// socket takes and asks for a retry when it takes less. The socket stays the caller's; it must
// be non-blocking. Used by one thread at a time, like the connection.
#pragma once

#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik::tls {

class CGatheredSends {
public:
    // What a writer should gather at most before it flushes: sixteen records.
    static constexpr size_t kBurstBytes = 256 * 1024;

    explicit CGatheredSends(int fd) : fd_(fd) {}
    CGatheredSends(const CGatheredSends&) = delete;
    CGatheredSends& operator=(const CGatheredSends&) = delete;

    // A BIO over this object, owned by whoever it is given to (SSL_set_bio); null when OpenSSL
    // cannot make one. This object must outlive it.
    BIO* newBio();

    // Room for a burst is taken at the first append after the last one was sent.
    void append(const uint8_t* bytes, size_t count);
    // Sends as much as the socket takes now: true when nothing waits any more; false with errno
    // (EAGAIN: the socket has no room).
    bool flush();
    size_t waiting() const { return buffer_.size() - start_; }
    // Totals since the start: bytes appended, and bytes of them the socket has taken.
    uint64_t appended() const { return appended_; }
    uint64_t sent() const { return appended_ - waiting(); }

private:
    int fd_;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0; // bytes of buffer_ already sent
    uint64_t appended_ = 0;
};

} // namespace tavik::tls
