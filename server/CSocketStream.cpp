#include "server/CSocketStream.h"

#include "platform/SocketTimeout.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/PacketWire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tavik::server {

namespace {

bool setMode(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 &&
           ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

void setNoDelay(int fd) {
    // Every packet goes out in one send, so Nagle only adds the delayed-ack stall.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Numeric hosts of either family are taken as they are; names are looked up for both families,
// in the order the resolver prefers.
struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) {
            ::freeaddrinfo(head);
        }
    }
};

bool resolve(const std::string& host, uint16_t port, AddressList& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    return ::getaddrinfo(host.c_str(), service.c_str(), &hints, &out.head) == 0 &&
           out.head != nullptr;
}

// A TLS step as a socket call's result: the count, 0 for the peer's close, -1 with errno.
long fromStep(const tls::CTlsChannel::Step& step) {
    switch (step.status) {
    case tls::CTlsChannel::Status::Done:
        return static_cast<long>(step.count);
    case tls::CTlsChannel::Status::WantRead:
    case tls::CTlsChannel::Status::WantWrite:
        errno = EAGAIN;
        return -1;
    case tls::CTlsChannel::Status::Closed:
        return 0;
    default:
        errno = EIO;
        return -1;
    }
}

} // namespace

CSocketStream::CSocketStream(int fd) : fd_(fd) {
    if (fd_.valid()) {
        setMode(fd_.get(), false);
        setNoDelay(fd_.get());
    }
}

bool CSocketStream::connectTo(const std::string& host, uint16_t port, int timeoutMs,
                              CSocketStream& out) {
    AddressList addresses;
    if (!resolve(host, port, addresses)) {
        return false;
    }
    for (const addrinfo* entry = addresses.head; entry != nullptr; entry = entry->ai_next) {
        if (connectOne(*entry->ai_addr, entry->ai_addrlen, timeoutMs, out)) {
            return true;
        }
    }
    return false;
}

bool CSocketStream::connectOne(const sockaddr& address, socklen_t length, int timeoutMs,
                               CSocketStream& out) {
    CSocketStream stream(::socket(address.sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!stream.valid()) {
        return false;
    }
    if (::connect(stream.fd(), &address, length) != 0) {
        if (errno != EINPROGRESS || stream.waitFor(POLLOUT, timeoutMs) != Wait::Ready) {
            return false;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(stream.fd(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            return false;
        }
    }
    out = std::move(stream);
    return true;
}

void CSocketStream::shutdownBoth() {
    if (fd_.valid()) {
        ::shutdown(fd_.get(), SHUT_RDWR);
    }
}

CSocketStream::Wait CSocketStream::waitFor(short events, int timeoutMs) {
    if (!fd_.valid()) {
        return Wait::Failed;
    }
    if ((events & POLLIN) != 0 && tls_ && tls_->hasPending()) {
        return Wait::Ready; // decrypted bytes wait inside TLS; the socket may look idle
    }
    pollfd entry{fd_.get(), events, 0};
    for (;;) {
        const int n = ::poll(&entry, 1, timeoutMs);
        if (n > 0) {
            // POLLHUP/POLLERR count as ready: the next recv or send reports what happened.
            return Wait::Ready;
        }
        if (n == 0) {
            return Wait::Timeout;
        }
        if (errno != EINTR) {
            return Wait::Failed;
        }
    }
}

void CSocketStream::readAhead() {
    if (pendingStart_ < pendingEnd_) {
        return;
    }
    pendingStart_ = 0;
    long n = -1;
    do {
        n = receiveNow(pending_.data(), pending_.size());
    } while (n < 0 && errno == EINTR);
    // Nothing there, a close or a failure: the next real receive finds out and reports it.
    pendingEnd_ = n > 0 ? static_cast<size_t>(n) : 0;
}

bool CSocketStream::setBlocking(bool blocking) {
    if (blocking != blocking_) {
        if (!setMode(fd_.get(), blocking)) {
            return false;
        }
        blocking_ = blocking;
    }
    return true;
}

CSocketStream::Wait CSocketStream::receiveAhead(int timeoutMs) {
    if (!fd_.valid()) {
        return Wait::Failed;
    }
    // The kernel's receive time-out cannot see into TLS: a secure stream waits for readiness.
    if (timeoutMs != 0 && !tls_ && setBlocking(true)) {
        if (timeoutMs != receiveTimeoutMs_ && platform::setReceiveTimeout(fd_.get(), timeoutMs)) {
            receiveTimeoutMs_ = timeoutMs;
        }
        if (timeoutMs == receiveTimeoutMs_) {
            pendingStart_ = 0;
            const ssize_t n = ::recv(fd_.get(), pending_.data(), pending_.size(), 0);
            const int error = errno;
            pendingEnd_ = n > 0 ? static_cast<size_t>(n) : 0;
            if (n > 0) {
                return Wait::Ready;
            }
            if (n == 0) {
                return Wait::Failed; // the peer closed its side
            }
            if (error == EAGAIN || error == EWOULDBLOCK) {
                return Wait::Timeout;
            }
            if (error != EINTR) {
                return Wait::Failed;
            }
            // A signal cut the wait short: wait again below.
        }
    }
    const Wait wait = waitFor(POLLIN, timeoutMs);
    if (wait == Wait::Ready) {
        readAhead();
    }
    return wait;
}

long CSocketStream::sendFileSome(int fileFd, off_t& offset, size_t count) {
    // sendfile() has no flag of its own: the socket itself must not block.
    if (!setBlocking(false)) {
        return -1;
    }
    if (tls_) {
        return tls_->kernelSends() ? tls_->sendFile(fileFd, offset, count)
                                   : sendFileCopying(fileFd, offset, count);
    }
    return ::sendfile(fd_.get(), fileFd, &offset, count);
}

long CSocketStream::sendFileCopying(int fileFd, off_t& offset, size_t count) {
    // Sixteen records at a time. The bytes from offset that TLS holds already encrypted from the
    // last call are not read again: only the file after them is.
    static constexpr size_t kChunk = 256 * 1024;
    const size_t held = tls_->retained();
    const size_t want = std::max(held, std::min(count, kChunk));
    copyBuffer_.resize(kChunk);
    size_t have = held;
    if (want > held) {
        const ssize_t got = ::pread(fileFd, copyBuffer_.data() + held, want - held,
                                    offset + static_cast<off_t>(held));
        if (got < 0 || (got == 0 && held == 0)) {
            return got;
        }
        have += static_cast<size_t>(got);
    }
    const long sent = sendNow(copyBuffer_.data(), have);
    if (sent > 0) {
        offset += sent;
    }
    return sent;
}

long CSocketStream::receiveNow(void* buffer, size_t count) {
    if (!tls_) {
        return ::recv(fd_.get(), buffer, count, MSG_DONTWAIT);
    }
    const tls::CTlsChannel::Step step = tls_->read(buffer, count);
    return fromStep(step);
}

long CSocketStream::sendNow(const void* bytes, size_t count) {
    if (!tls_) {
        return ::send(fd_.get(), bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    const tls::CTlsChannel::Step step = tls_->write(bytes, count);
    if (step.status == tls::CTlsChannel::Status::Closed) {
        errno = EPIPE; // a send never answers 0
        return -1;
    }
    return fromStep(step);
}

std::optional<bool> CSocketStream::peekHandshake(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    unsigned char first[3] = {};
    for (;;) {
        const ssize_t n = ::recv(fd_.get(), first, sizeof first, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return std::nullopt;
        }
        // One byte that cannot start a handshake settles it; a handshake needs all three.
        if (n > 0 && (first[0] != 22 || n == static_cast<ssize_t>(sizeof first))) {
            return tls::startsTlsHandshake(first, static_cast<size_t>(n));
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || waitFor(POLLIN, static_cast<int>(left)) != Wait::Ready) {
            return std::nullopt;
        }
        if (n > 0) {
            // Part of the record header is here: give the rest a moment without spinning.
            ::poll(nullptr, 0, 1);
        }
    }
}

CSocketStream::Security
CSocketStream::acceptSecurity(const std::shared_ptr<const tls::CTlsContext>& context,
                              bool requireTls, int timeoutMs, std::string& failure) {
    if (!setBlocking(false)) {
        failure = "socket error";
        return Security::Failed;
    }
    const std::optional<bool> handshake = peekHandshake(timeoutMs);
    if (!handshake) {
        // Silence or a close: the usual reading finds out and says so, unless TLS is required.
        failure = "nothing received";
        return requireTls ? Security::Failed : Security::Plain;
    }
    if (!*handshake) {
        return requireTls ? Security::Refused : Security::Plain;
    }
    if (!context) {
        // Closed at once: a client that may fall back to plain learns it now, not after its
        // time-out, and the handshake is never read as a packet.
        failure = "TLS asked for, but no certificate is configured";
        return Security::Failed;
    }
    auto channel = tls::CTlsChannel::open(context, fd_.get());
    if (!channel) {
        failure = "cannot start TLS";
        return Security::Failed;
    }
    if (channel->handshake(timeoutMs) != tls::CTlsChannel::Handshake::Done) {
        failure = "TLS handshake failed: " + channel->failure();
        return Security::Failed;
    }
    tls_ = std::move(channel);
    return Security::Tls;
}

CSocketStream::TlsStart
CSocketStream::startTls(const std::shared_ptr<const tls::CTlsContext>& context,
                        const std::string& host, int timeoutMs, std::string& failure) {
    auto channel =
        context && setBlocking(false) ? tls::CTlsChannel::open(context, fd_.get()) : nullptr;
    if (!channel || !channel->expectHost(host)) {
        failure = "cannot start TLS";
        close();
        return TlsStart::Failed;
    }
    const auto shaken = channel->handshake(timeoutMs);
    if (shaken != tls::CTlsChannel::Handshake::Done) {
        failure = "TLS handshake failed: " + channel->failure();
        close();
        return shaken == tls::CTlsChannel::Handshake::NotTls ? TlsStart::NotOffered
                                                             : TlsStart::Failed;
    }
    tls_ = std::move(channel);
    return TlsStart::Secure;
}

size_t CSocketStream::takePending(void* buffer, size_t count) {
    const size_t n = std::min(count, pendingEnd_ - pendingStart_);
    std::memcpy(buffer, pending_.data() + pendingStart_, n);
    pendingStart_ += n;
    return n;
}

long CSocketStream::recvSome(void* buffer, size_t count, int timeoutMs) {
    if (count > 0 && pendingStart_ < pendingEnd_) {
        return static_cast<long>(takePending(buffer, count));
    }
    for (;;) {
        const long n = receiveNow(buffer, count);
        if (n > 0) {
            return n;
        }
        if (n == 0) {
            return -1;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return -1;
        }
        const Wait wait = waitFor(POLLIN, timeoutMs);
        if (wait == Wait::Timeout) {
            return 0;
        }
        if (wait == Wait::Failed) {
            return -1;
        }
    }
}

CSocketStream::Receive CSocketStream::recvExact(void* buffer, size_t count, int timeoutMs) {
    // One deadline for all of it: a peer that dribbles a byte now and then must not stretch
    // the wait without end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return Receive::Timeout;
        }
        const long n = recvSome(bytes + done, count - done, static_cast<int>(left));
        if (n == 0) {
            return Receive::Timeout;
        }
        if (n < 0) {
            return Receive::Closed;
        }
        done += static_cast<size_t>(n);
    }
    return Receive::Ok;
}

bool CSocketStream::sendAll(const void* bytes, size_t count, int timeoutMs) {
    const auto* data = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    while (done < count) {
        const long n = sendNow(data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        if (waitFor(POLLOUT, timeoutMs) != Wait::Ready) {
            return false;
        }
    }
    return true;
}

namespace {

// Why a packet did not parse, in words (the codes of CPacket::ParseInPlace).
std::string parseFailure(int code) {
    switch (code) {
    case -1:
        return "short header";
    case -2:
        return "wrong magic";
    case -3:
        return "unknown version";
    case -4:
        return "wrong body length";
    case -5:
        return "header checksum mismatch";
    case -6:
        return "short body";
    default:
        return "malformed body";
    }
}

} // namespace

CSocketStream::Receive CSocketStream::receivePacket(CPacket& packet, int idleMs, int requestMs) {
    if (pendingStart_ == pendingEnd_) {
        const Wait first = receiveAhead(idleMs);
        if (first == Wait::Timeout) {
            return Receive::Timeout;
        }
        if (first == Wait::Failed) {
            return Receive::Closed;
        }
    }
    // From its first byte on, the whole packet must arrive within requestMs.
    const auto started = std::chrono::steady_clock::now();
    uint8_t header[wire::kHeaderSize];
    Receive got = recvExact(header, sizeof header, requestMs);
    if (got != Receive::Ok) {
        return got;
    }
    int32_t bodyLength = 0;
    std::memcpy(&bodyLength, header + 8, sizeof bodyLength);
    // The length is checked before anything is allocated for the body.
    if (bodyLength < 0 || bodyLength > wire::kMaxBodyLength) {
        malformed_ = "body length " + std::to_string(bodyLength) + " outside 0.." +
                     std::to_string(wire::kMaxBodyLength);
        return Receive::Malformed;
    }
    std::vector<uint8_t> buffer(wire::kHeaderSize + static_cast<size_t>(bodyLength));
    std::memcpy(buffer.data(), header, sizeof header);
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
    if (spent >= requestMs) {
        return Receive::Timeout;
    }
    got = recvExact(buffer.data() + wire::kHeaderSize, static_cast<size_t>(bodyLength),
                    requestMs - static_cast<int>(spent));
    if (got != Receive::Ok) {
        return got;
    }
    if (const int parsed = packet.ParseInPlace(buffer.data(), static_cast<int>(buffer.size()));
        parsed < 0) {
        malformed_ = parseFailure(parsed);
        return Receive::Malformed;
    }
    return Receive::Ok;
}

bool CSocketStream::sendPacket(CPacket& packet, int timeoutMs) {
    std::vector<uint8_t> buffer(static_cast<size_t>(packet.SizeBound()));
    const int n = packet.Serialize(buffer.data(), static_cast<int>(buffer.size()));
    if (n <= 0) {
        return false;
    }
    return sendAll(buffer.data(), static_cast<size_t>(n), timeoutMs);
}

bool CSocketStream::peerGone() {
    if (!fd_.valid()) {
        return true;
    }
    pollfd entry{fd_.get(), POLLIN | POLLRDHUP, 0};
    if (::poll(&entry, 1, 0) <= 0) {
        return false;
    }
    if (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
        return true;
    }
    char byte = 0;
    const ssize_t n = ::recv(fd_.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

} // namespace tavik::server
