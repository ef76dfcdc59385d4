#include "sdk/core/CConnection.h"

#include "platform/SocketTimeout.h"
#include "platform/Tick.h"
#include "platform/WinsockError.h"
#include "sdk/core/CHostAddresses.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CTrace.h"
#include "sdk/core/PacketWire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <new>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik {

namespace {

using platform::GetTickCount;
using platform::WSAGetLastError;
using platform::WSASetLastError;

void keepSocketError() {
    WSASetLastError(platform::wsaErrorFromErrno(errno));
}

// Waits for a non-blocking connect in progress: true when it succeeded within timeoutMs;
// otherwise false with its error (ETIMEDOUT when time ran out) in errno.
bool finishConnect(int socket, int32_t timeoutMs) {
    const uint32_t start = GetTickCount();
    for (;;) {
        uint32_t spent = GetTickCount() - start;
        int wait = spent >= static_cast<uint32_t>(timeoutMs)
                       ? 0
                       : static_cast<int>(static_cast<uint32_t>(timeoutMs) - spent);
        pollfd watch{socket, POLLOUT, 0};
        int ready = ::poll(&watch, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return false;
        }
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            return false;
        }
        errno = error;
        return error == 0;
    }
}

// connect on a blocking socket, waiting at most timeoutMs (-1: as long as the system tries) for
// the connection to be made; the socket is blocking again afterwards. A connect that does not
// finish in time fails with ETIMEDOUT in errno.
bool connectWithin(int socket, const CHostAddresses::Candidate& candidate, int32_t timeoutMs) {
    const auto* target = reinterpret_cast<const sockaddr*>(&candidate.address);
    if (timeoutMs < 0) {
        return ::connect(socket, target, candidate.length) == 0;
    }
    int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0 || ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) {
        return false;
    }
    bool connected = ::connect(socket, target, candidate.length) == 0;
    if (!connected && errno == EINPROGRESS) {
        connected = finishConnect(socket, timeoutMs);
    }
    int error = errno;
    if (::fcntl(socket, F_SETFL, flags) != 0) {
        return false;
    }
    errno = error;
    return connected;
}

// Packet buffers come from the network's length fields (at most 1 MiB + header) or from the
// packet's own size; an allocation failure is an ordinary result, not an exception.
std::unique_ptr<uint8_t[]> allocateBuffer(int64_t size) {
    if (size <= 0) {
        return nullptr;
    }
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
}

// The packet's wire bytes in a buffer of their own: the byte count, or -1 (allocation, binary),
// -2 (allocation, text) or -3 (nothing serialised, or the text did not fit).
int serializePacket(CPacket& packet, std::unique_ptr<uint8_t[]>& buffer) {
    int64_t bound = packet.SizeBound();
    if (bound < wire::kHeaderSize) {
        return -3;
    }
    if (!packet.IsText()) {
        buffer = allocateBuffer(bound);
        if (!buffer) {
            return -1;
        }
        int n = packet.Serialize(buffer.get(), static_cast<int>(bound));
        return n > 0 ? n : -3;
    }
    // The text form's size is not known beforehand: try 1.5 to 4.5 times the binary size.
    for (int64_t k = 3; k <= 9; ++k) {
        int64_t size = bound * k / 2;
        buffer = size <= INT32_MAX ? allocateBuffer(size) : nullptr;
        if (!buffer) {
            return -2;
        }
        int n = packet.Serialize(buffer.get(), static_cast<int>(size));
        if (n > 0) {
            return n;
        }
    }
    return -3;
}

int32_t bodyLengthOf(const uint8_t* header) {
    uint32_t v = static_cast<uint32_t>(header[8]) | (static_cast<uint32_t>(header[9]) << 8) |
                 (static_cast<uint32_t>(header[10]) << 16) |
                 (static_cast<uint32_t>(header[11]) << 24);
    return static_cast<int32_t>(v);
}

std::string failureText(const char* what, int code) {
    return std::string(what) + " failed (" + std::to_string(code) + "), socket error " +
           std::to_string(WSAGetLastError());
}

} // namespace

CConnection::~CConnection() {
    Close();
}

bool CConnection::Connect(const char* host, uint16_t port, bool blocking,
                          int32_t connectTimeoutMs) {
    if (IsOpen()) {
        Close();
    }
    bool connected = ConnectAny(CHostAddresses::resolve(host, port), connectTimeoutMs);
    if (!connected) {
        keepSocketError();
        Close();
    } else {
        // Every packet leaves in one send and each request waits for its reply, so there is
        // never a second small write for Nagle to merge; it would only hold a request back
        // until the server's delayed acknowledgement of the previous reply (about 40 ms).
        int one = 1;
        ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    TAVIK_TRACE(1, u"connect",
                std::string(host != nullptr ? host : "") + ":" + std::to_string(port) +
                    (connected ? " connected"
                               : " failed, socket error " + std::to_string(WSAGetLastError())));
    return connected && SetBlocking(blocking);
}

bool CConnection::ConnectAny(const std::vector<CHostAddresses::Candidate>& candidates,
                             int32_t connectTimeoutMs) {
    if (candidates.empty()) {
        // A name that does not resolve fails like a connect to nowhere.
        errno = EHOSTUNREACH;
        return false;
    }
    const uint32_t start = GetTickCount();
    for (size_t i = 0; i < candidates.size(); ++i) {
        Close();
        const int s = ::socket(candidates[i].address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) {
            continue;
        }
        socket_ = s;
        int32_t remaining = connectTimeoutMs;
        if (connectTimeoutMs >= 0) {
            const uint32_t spent = GetTickCount() - start;
            remaining = spent >= static_cast<uint32_t>(connectTimeoutMs)
                            ? 0
                            : static_cast<int32_t>(static_cast<uint32_t>(connectTimeoutMs) - spent);
        }
        const int32_t budget = CHostAddresses::attemptBudget(remaining, candidates.size() - i);
        if (connectWithin(socket_, candidates[i], budget)) {
            return true;
        }
    }
    return false;
}

void CConnection::Close() {
    tls_.reset();
    int old = socket_;
    socket_ = -1;
    // Bytes read ahead belong to this connection only; a new one starts empty.
    aheadStart_ = 0;
    aheadEnd_ = 0;
    socketTimeoutMs_ = kTimeoutUnknown;
    blocking_ = true;
    if (old >= 0) {
        ::close(old);
    }
}

bool CConnection::SetBlocking(bool blocking) {
    if (tls_) {
        blocking_ = blocking; // TLS keeps the socket non-blocking; waits come from poll
        return true;
    }
    int flags = ::fcntl(socket_, F_GETFL);
    if (flags < 0) {
        keepSocketError();
        return false;
    }
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (::fcntl(socket_, F_SETFL, flags) != 0) {
        keepSocketError();
        return false;
    }
    blocking_ = blocking;
    return true;
}

bool CConnection::WaitReady(bool* wantRead, bool* wantWrite, int32_t timeoutMs) {
    if (!IsOpen()) {
        return false;
    }
    short events = 0;
    if (wantRead != nullptr && *wantRead) {
        events |= POLLIN;
    }
    if (wantWrite != nullptr && *wantWrite) {
        events |= POLLOUT;
    }
    if ((events & POLLIN) != 0 && (pendingAhead() || (tls_ && tls_->hasPending()))) {
        // Bytes read ahead are ready now; only the other direction still needs a look.
        bool writable = (events & POLLOUT) != 0;
        if (writable && !WaitReady(nullptr, &writable, 0)) {
            return false;
        }
        *wantRead = true;
        if (wantWrite != nullptr) {
            *wantWrite = writable;
        }
        return true;
    }
    pollfd p{socket_, events, 0};
    uint32_t start = GetTickCount();
    int n = 0;
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            uint32_t spent = GetTickCount() - start;
            wait = spent >= static_cast<uint32_t>(timeoutMs)
                       ? 0
                       : static_cast<int>(static_cast<uint32_t>(timeoutMs) - spent);
        }
        n = ::poll(&p, 1, wait);
        // A signal is no failure of the socket: wait again for what is left of the time.
        if (n >= 0 || errno != EINTR) {
            break;
        }
    }
    if (n < 0 || (p.revents & POLLNVAL) != 0) {
        keepSocketError();
        return false;
    }
    // An error or hang-up counts as ready, so that the following call reports it.
    const short trouble = POLLERR | POLLHUP;
    if (wantRead != nullptr) {
        *wantRead = (events & POLLIN) != 0 && (p.revents & (POLLIN | trouble)) != 0;
    }
    if (wantWrite != nullptr) {
        *wantWrite = (events & POLLOUT) != 0 && (p.revents & (POLLOUT | trouble)) != 0;
    }
    return true;
}

int CConnection::SendSome(const void* bytes, int count, int32_t timeoutMs) {
    // A zero count would read as "peer closed" below.
    if (count <= 0) {
        return 0;
    }
    if (!IsOpen()) {
        return -1;
    }
    if (tls_) {
        return tlsTransfer(const_cast<void*>(bytes), count, timeoutMs, true);
    }
    // Room in the send buffer is the rule: try at once and wait only when there is none, which
    // saves a poll per packet and waits exactly as long as waiting first would.
    WSASetLastError(0);
    ssize_t first = ::send(socket_, bytes, static_cast<size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (first > 0) {
        return static_cast<int>(first);
    }
    if (first < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        keepSocketError();
        return -1;
    }
    bool writable = true;
    if (!WaitReady(nullptr, &writable, timeoutMs)) {
        return -1;
    }
    if (!writable) {
        return timeoutMs < 0 ? -1 : 0;
    }
    if (!IsOpen()) {
        return 0;
    }
    WSASetLastError(0);
    // MSG_NOSIGNAL: a peer that has gone away must fail the send, not kill the host program.
    ssize_t n = ::send(socket_, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
    if (n > 0) {
        return static_cast<int>(n);
    }
    if (n < 0) {
        keepSocketError();
    }
    int error = WSAGetLastError();
    return error == platform::WSAEWOULDBLOCK || error == 10004 ? 0 : -1;
}

int CConnection::RecvSome(void* buffer, int count, int32_t timeoutMs) {
    if (count <= 0) {
        return 0;
    }
    if (pendingAhead()) {
        return takeAhead(buffer, count);
    }
    // Large reads (transfer blocks) go straight to the caller's buffer.
    if (count >= kReadAhead) {
        return receive(buffer, count, timeoutMs);
    }
    int got = receive(ahead_.data(), kReadAhead, timeoutMs);
    if (got <= 0) {
        return got;
    }
    aheadStart_ = 0;
    aheadEnd_ = static_cast<size_t>(got);
    return takeAhead(buffer, count);
}

int CConnection::takeAhead(void* buffer, int count) {
    size_t n = std::min(static_cast<size_t>(count), aheadEnd_ - aheadStart_);
    std::memcpy(buffer, ahead_.data() + aheadStart_, n);
    aheadStart_ += n;
    return static_cast<int>(n);
}

int CConnection::receive(void* buffer, int count, int32_t timeoutMs) {
    if (tls_) {
        return tlsTransfer(buffer, count, timeoutMs, false);
    }
    if (blocking_ && timeoutMs != 0 && IsOpen()) {
        uint32_t start = timeoutMs > 0 ? GetTickCount() : 0;
        int got = receiveSleeping(buffer, count, timeoutMs);
        if (got != -2) {
            return got;
        }
        if (timeoutMs > 0) {
            uint32_t spent = GetTickCount() - start;
            timeoutMs = spent >= static_cast<uint32_t>(timeoutMs)
                            ? 0
                            : static_cast<int32_t>(static_cast<uint32_t>(timeoutMs) - spent);
        }
    }
    bool readable = true;
    if (!WaitReady(&readable, nullptr, timeoutMs)) {
        return -1;
    }
    if (!readable) {
        return timeoutMs < 0 ? -1 : 0;
    }
    if (!IsOpen()) {
        return 0;
    }
    WSASetLastError(0);
    ssize_t n = ::recv(socket_, buffer, static_cast<size_t>(count), 0);
    if (n > 0) {
        return static_cast<int>(n);
    }
    if (n < 0) {
        keepSocketError();
    }
    // 0 with no socket error is the peer's orderly close.
    int error = WSAGetLastError();
    return n < 0 && (error == platform::WSAEWOULDBLOCK || error == 10004) ? 0 : -1;
}

int CConnection::tlsTransfer(void* buffer, int count, int32_t timeoutMs, bool sending) {
    for (int attempt = 0;; ++attempt) {
        WSASetLastError(0);
        const tls::CTlsChannel::Step step = sending
                                                ? tls_->write(buffer, static_cast<size_t>(count))
                                                : tls_->read(buffer, static_cast<size_t>(count));
        if (step.status == tls::CTlsChannel::Status::Done) {
            return static_cast<int>(step.count);
        }
        if (step.status == tls::CTlsChannel::Status::Closed ||
            step.status == tls::CTlsChannel::Status::Failed) {
            WSASetLastError(step.status == tls::CTlsChannel::Status::Closed ? 0 : 10054);
            return -1;
        }
        // Like the plain path: one wait for the socket, then one more try.
        if (attempt > 0) {
            return 0;
        }
        bool readable = step.status == tls::CTlsChannel::Status::WantRead;
        bool writable = !readable;
        if (!WaitReady(readable ? &readable : nullptr, writable ? &writable : nullptr, timeoutMs)) {
            return -1;
        }
        if (!readable && !writable) {
            return timeoutMs < 0 ? -1 : 0;
        }
    }
}

CConnection::TlsStart CConnection::StartTls(const std::string& host,
                                            const std::string& pinnedFingerprint, int32_t timeoutMs,
                                            std::string& fingerprint, std::string& reason) {
    fingerprint.clear();
    const std::shared_ptr<const tls::CTlsContext> context = tls::CTlsContext::systemClient();
    const int flags = IsOpen() ? ::fcntl(socket_, F_GETFL) : -1;
    std::unique_ptr<tls::CTlsChannel> channel =
        flags >= 0 && ::fcntl(socket_, F_SETFL, flags | O_NONBLOCK) == 0
            ? tls::CTlsChannel::open(context, socket_)
            : nullptr;
    if (!channel || !channel->expectHost(host)) {
        reason = "cannot start TLS";
        Close();
        return TlsStart::Failed;
    }
    const tls::CTlsChannel::Handshake shaken = channel->handshake(timeoutMs);
    fingerprint = channel->peerFingerprint();
    if (shaken != tls::CTlsChannel::Handshake::Done) {
        reason = channel->failure();
        Close();
        return shaken == tls::CTlsChannel::Handshake::NotTls ? TlsStart::NotOffered
                                                             : TlsStart::Failed;
    }
    if (!channel->checkPeer(pinnedFingerprint, reason)) {
        Close();
        return TlsStart::Untrusted;
    }
    tls_ = std::move(channel);
    TAVIK_TRACE(1, u"connect", host + ": TLS, certificate " + fingerprint);
    return TlsStart::Secure;
}

int CConnection::receiveSleeping(void* buffer, int count, int32_t timeoutMs) {
    if (timeoutMs != socketTimeoutMs_) {
        if (!platform::setReceiveTimeout(socket_, timeoutMs)) {
            return -2; // wait the usual way instead
        }
        socketTimeoutMs_ = timeoutMs;
    }
    WSASetLastError(0);
    ssize_t n = ::recv(socket_, buffer, static_cast<size_t>(count), 0);
    if (n > 0) {
        return static_cast<int>(n);
    }
    if (n < 0 && errno == EINTR) {
        return -2;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // The time-out ran out, as a readiness wait would have.
        return timeoutMs < 0 ? -1 : 0;
    }
    if (n < 0) {
        keepSocketError();
    }
    return -1; // a failed connection, or the peer's orderly close
}

bool CConnection::SendAll(const void* bytes, int count, int32_t timeoutMs) {
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    uint32_t elapsed = 0;
    for (int done = 0; done < count;) {
        // Checked before each attempt, and each attempt may wait the whole budget: one call can
        // take up to about twice the time-out.
        if (timeoutMs >= 0 && elapsed > static_cast<uint32_t>(timeoutMs)) {
            return false;
        }
        // Without a limit there is nothing to count.
        uint32_t t0 = timeoutMs >= 0 ? GetTickCount() : 0;
        int sent = SendSome(from + done, count - done, timeoutMs);
        if (sent < 0) {
            return false;
        }
        done += sent;
        elapsed += timeoutMs >= 0 ? GetTickCount() - t0 : 0;
    }
    return true;
}

bool CConnection::RecvAll(void* buffer, int count, int32_t timeoutMs) {
    uint8_t* into = static_cast<uint8_t*>(buffer);
    uint32_t elapsed = 0;
    for (int done = 0; done < count;) {
        if (timeoutMs >= 0 && elapsed > static_cast<uint32_t>(timeoutMs)) {
            return false;
        }
        uint32_t t0 = timeoutMs >= 0 ? GetTickCount() : 0;
        int got = RecvSome(into + done, count - done, timeoutMs);
        if (got < 0) {
            return false;
        }
        done += got;
        elapsed += timeoutMs >= 0 ? GetTickCount() - t0 : 0;
    }
    return true;
}

int CConnection::SendPacket(CPacket& packet, int32_t timeoutMs) {
    std::unique_ptr<uint8_t[]> buffer;
    int result = serializePacket(packet, buffer);
    if (result > 0 && !SendAll(buffer.get(), result, timeoutMs)) {
        result = -4;
    }
    if (result < 0) {
        TAVIK_TRACE(3, u"packet", failureText("send", result));
        Close();
    }
    return result;
}

int CConnection::ReceivePacket(CPacket& packet, int32_t timeoutMs) {
    int result = 0;
    uint32_t t0 = GetTickCount();
    uint8_t header[wire::kHeaderSize];
    int32_t remaining = -1;
    int32_t bodyLength = 0;
    std::unique_ptr<uint8_t[]> buffer;
    if (!RecvAll(header, wire::kHeaderSize, timeoutMs)) {
        result = -1;
    } else if (timeoutMs >= 0 && (remaining = static_cast<int32_t>(static_cast<int64_t>(timeoutMs) -
                                                                   (GetTickCount() - t0))) < 0) {
        result = -2;
    } else if ((bodyLength = bodyLengthOf(header)) < 0 || bodyLength > wire::kMaxBodyLength) {
        // Refused from the header alone: nothing is allocated for the body or waited for.
        result = -3;
    } else if (!(buffer = allocateBuffer(int64_t{wire::kHeaderSize} + bodyLength))) {
        result = -4;
    } else if (!RecvAll(buffer.get() + wire::kHeaderSize, bodyLength,
                        timeoutMs >= 0 ? remaining : -1)) {
        result = -1;
    } else {
        std::memcpy(buffer.get(), header, wire::kHeaderSize);
        int total = wire::kHeaderSize + bodyLength;
        result = packet.ParseInPlace(buffer.get(), total) < 0 ? -5 : total;
    }
    if (result < 0) {
        TAVIK_TRACE(3, u"packet", failureText("receive", result));
        Close();
    }
    return result;
}

} // namespace tavik
