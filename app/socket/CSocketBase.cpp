#include "app/socket/CSocketBase.h"

#include "platform/WinsockError.h"
#include "tls/CTlsChannel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavik::app {

namespace {

int failWithErrno() {
    platform::WSASetLastError(platform::wsaErrorFromErrno(errno));
    return -1;
}

int countOrWouldBlock(ssize_t count) {
    if (count > 0) {
        return static_cast<int>(count);
    }
    if (count == 0) {
        platform::WSASetLastError(0);
        return 0;
    }
    failWithErrno();
    return platform::WSAGetLastError() == platform::WSAEWOULDBLOCK ? 0 : -1;
}

// A TLS step as a plain call's count: would-block (a time-out of the blocking socket) is 0,
// and so is the peer's goodbye for a receive.
int countOfTlsStep(const tls::CTlsChannel::Step& step) {
    switch (step.status) {
    case tls::CTlsChannel::Status::Done:
        return static_cast<int>(step.count);
    case tls::CTlsChannel::Status::WantRead:
    case tls::CTlsChannel::Status::WantWrite:
        platform::WSASetLastError(platform::WSAEWOULDBLOCK);
        return 0;
    case tls::CTlsChannel::Status::Closed:
        platform::WSASetLastError(0);
        return 0;
    case tls::CTlsChannel::Status::Failed:
        break;
    }
    platform::WSASetLastError(platform::wsaErrorFromErrno(ECONNRESET));
    return -1;
}

} // namespace

CSocketBase::CSocketBase() = default;

CSocketBase::~CSocketBase() {
    Close();
}

int CSocketBase::Recv(void* buffer, int size, int flags) {
    if (tls_) {
        return countOfTlsStep(tls_->read(buffer, static_cast<size_t>(size)));
    }
    return countOrWouldBlock(recv(handle_, buffer, static_cast<size_t>(size), flags));
}

int CSocketBase::Send(const void* bytes, int length, int flags) {
    if (tls_) {
        return countOfTlsStep(tls_->write(bytes, static_cast<size_t>(length)));
    }
    return countOrWouldBlock(
        send(handle_, bytes, static_cast<size_t>(length), flags | MSG_NOSIGNAL));
}

void CSocketBase::AdoptTls(std::unique_ptr<tls::CTlsChannel> channel) {
    tls_ = std::move(channel);
}

int CSocketBase::Create(int type) {
    Close();
    int handle = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        return failWithErrno();
    }
    handle_ = handle;
    return 0;
}

int CSocketBase::SendAll(const void* bytes, int length) {
    const auto* next = static_cast<const uint8_t*>(bytes);
    int left = length;
    while (left > 0) {
        int sent = Send(next, std::min(left, 1024));
        if (sent <= 0) {
            // A blocking socket that answers "would block" has a send time-out that ran out.
            return -1;
        }
        next += sent;
        left -= sent;
    }
    return 0;
}

void CSocketBase::Close() {
    if (tls_) {
        tls_->closeNotify();
        tls_.reset();
    }
    if (handle_ != kInvalidHandle) {
        close(handle_);
        handle_ = kInvalidHandle;
    }
}

int CSocketBase::Shutdown(int how) {
    return shutdown(handle_, how) == 0 ? 0 : failWithErrno();
}

int CSocketBase::SetOption(int level, int name, const void* value, unsigned size) {
    return setsockopt(handle_, level, name, value, size) == 0 ? 0 : failWithErrno();
}

int CSocketBase::GetOption(int level, int name, void* value, unsigned* size) const {
    socklen_t length = *size;
    if (getsockopt(handle_, level, name, value, &length) != 0) {
        return failWithErrno();
    }
    *size = length;
    return 0;
}

bool CSocketBase::GetPeerName(std::string& address, uint16_t& port) const {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    char text[INET6_ADDRSTRLEN] = {};
    if (getpeername(handle_, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
        failWithErrno();
        return false;
    }
    const auto& v4Peer = reinterpret_cast<const sockaddr_in&>(peer);
    const auto& v6Peer = reinterpret_cast<const sockaddr_in6&>(peer);
    if ((peer.ss_family == AF_INET6
             ? inet_ntop(AF_INET6, &v6Peer.sin6_addr, text, sizeof text)
             : inet_ntop(AF_INET, &v4Peer.sin_addr, text, sizeof text)) == nullptr) {
        failWithErrno();
        return false;
    }
    address = text;
    port = ntohs(peer.ss_family == AF_INET6 ? v6Peer.sin6_port : v4Peer.sin_port);
    return true;
}

} // namespace tavik::app
