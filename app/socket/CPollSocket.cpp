#include "app/socket/CPollSocket.h"

#include "app/socket/CHostResolver.h"
#include "app/socket/CPollThread.h"
#include "app/socket/CSocketFamily.h"

#include "platform/AnsiCodePage.h"
#include "platform/WinsockError.h"
#include "tls/CTlsChannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tavik::app {

namespace {

using platform::WSASetLastError;

constexpr int kWsaEinval = 10022;
constexpr int kWsaEnotsock = 10038;
constexpr int kWsaEnetreset = 10052;
constexpr int kWsaEconnaborted = 10053;
constexpr int kWsaEconnreset = 10054;
constexpr int kWsaEshutdown = 10058;
constexpr int kWsaEtimedout = 10060;

int setLastErrorFromErrno() {
    int code = platform::wsaErrorFromErrno(errno);
    WSASetLastError(code);
    return code;
}

bool describe(const sockaddr_storage& address, std::string& text, uint16_t& port) {
    char buffer[INET6_ADDRSTRLEN] = {};
    const void* bytes =
        address.ss_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr)
            : &reinterpret_cast<const sockaddr_in&>(address).sin_addr;
    if (inet_ntop(address.ss_family, bytes, buffer, sizeof buffer) == nullptr) {
        return false;
    }
    text = buffer;
    port = address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    return true;
}

} // namespace

CPollSocket::CPollSocket(bool registered) : registered_(registered) {
    CPollThread::Instance().SocketCreated();
    if (registered_) {
        CPollThread::Instance().Add(this);
    }
}

CPollSocket::~CPollSocket() {
    closing_ = true;
    {
        std::lock_guard<std::recursive_mutex> guard(CPollThread::Instance().Lock());
        Close();
        CPollThread::Instance().Remove(this);
    }
    CPollThread::Instance().SocketDestroyed();
}

bool CPollSocket::Bind(uint16_t port) {
    if (Handle() != kInvalidHandle) {
        WSASetLastError(kWsaEinval);
        return false;
    }
    int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        setLastErrorFromErrno();
        return false;
    }
    handle_ = handle;
    closeReported_ = false;
    connectFailed_ = false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (bind(handle, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CPollSocket::Connect(const std::u16string& host, uint16_t port) {
    if (!registered_) {
        WSASetLastError(kWsaEinval);
        return false;
    }
    connecting_ = true;
    pending_ = CHostResolver::Resolve(platform::toAnsi(host), port);
    if (pending_.empty()) {
        WSASetLastError(kWsaEinval);
        return false;
    }
    if (Handle() == kInvalidHandle) {
        WSASetLastError(kWsaEnotsock);
        return false;
    }
    inReadSet_ = inWriteSet_ = false;
    if (!SetNonBlocking(true)) {
        return false;
    }
    if (!ConnectNext(false)) {
        setLastErrorFromErrno();
        return false;
    }
    Watch();
    return true;
}

bool CPollSocket::ConnectNext(bool renew) {
    while (!pending_.empty()) {
        const CHostResolver::Address next = pending_.front();
        pending_.erase(pending_.begin());
        const bool ready = renew ? CSocketFamily::Renew(Handle(), next.family())
                                 : CSocketFamily::Match(Handle(), next.family());
        renew = true;
        // A non-blocking connect is under way when it answers EINPROGRESS (Winsock's
        // WSAEWOULDBLOCK); either way the poll thread reports the outcome, so an immediate
        // success takes the same road.
        if (ready && (connect(Handle(), next.get(), next.length) == 0 || errno == EINPROGRESS)) {
            return true;
        }
    }
    return false;
}

bool CPollSocket::Listen(int backlog) {
    if (registered_ || Handle() == kInvalidHandle) {
        WSASetLastError(kWsaEinval);
        return false;
    }
    if (!SetNonBlocking(false)) {
        return false;
    }
    if (listen(Handle(), backlog) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    listening_ = true;
    readArmed_ = true;
    Watch();
    return true;
}

bool CPollSocket::Accept(CPollSocket& target) {
    int handle = accept4(Handle(), nullptr, nullptr, SOCK_CLOEXEC);
    readArmed_ = true; // watch for the next caller
    CPollThread::Instance().Wake();
    if (handle < 0) {
        setLastErrorFromErrno();
        target.handle_ = kInvalidHandle;
        return false;
    }
    return target.AttachHandle(handle);
}

bool CPollSocket::AttachHandle(int handle) {
    if (handle < 0) {
        WSASetLastError(kWsaEnotsock);
        return false;
    }
    handle_ = handle;
    closeReported_ = false;
    connectFailed_ = false;
    connecting_ = false;
    connected_ = true;
    readArmed_ = true;
    Watch();
    return true;
}

int CPollSocket::DetachHandle() {
    std::lock_guard<std::recursive_mutex> guard(CPollThread::Instance().Lock());
    CPollThread::Instance().Remove(this);
    return handle_.exchange(kInvalidHandle);
}

void CPollSocket::AdoptTls(std::unique_ptr<tls::CTlsChannel> channel) {
    tls_ = std::move(channel);
}

bool CPollSocket::TlsPending() const {
    return tls_ && Handle() != kInvalidHandle && tls_->hasPending();
}

int CPollSocket::TlsSend(const void* bytes, int length) {
    const tls::CTlsChannel::Step step = tls_->write(bytes, static_cast<size_t>(length));
    switch (step.status) {
    case tls::CTlsChannel::Status::Done:
        return static_cast<int>(step.count);
    case tls::CTlsChannel::Status::WantRead:
    case tls::CTlsChannel::Status::WantWrite:
        WSASetLastError(platform::WSAEWOULDBLOCK);
        return -1;
    case tls::CTlsChannel::Status::Closed:
    case tls::CTlsChannel::Status::Failed:
        break;
    }
    CloseAndNotify();
    WSASetLastError(kWsaEconnreset);
    return -1;
}

int CPollSocket::TlsRecv(void* buffer, int size) {
    const tls::CTlsChannel::Step step = tls_->read(buffer, static_cast<size_t>(size));
    int result = -1;
    switch (step.status) {
    case tls::CTlsChannel::Status::Done:
        result = static_cast<int>(step.count);
        break;
    case tls::CTlsChannel::Status::WantRead:
    case tls::CTlsChannel::Status::WantWrite:
        WSASetLastError(platform::WSAEWOULDBLOCK);
        break;
    case tls::CTlsChannel::Status::Closed:
        CloseAndNotify();
        return 0;
    case tls::CTlsChannel::Status::Failed:
        CloseAndNotify();
        WSASetLastError(kWsaEconnreset);
        return -1;
    }
    if (Handle() != kInvalidHandle) {
        readArmed_ = true;
        CPollThread::Instance().Wake();
    }
    return result;
}

int CPollSocket::Send(const void* bytes, int length, int flags) {
    if (tls_ && Handle() != kInvalidHandle) {
        return TlsSend(bytes, length);
    }
    ssize_t sent = send(Handle(), bytes, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
    if (sent >= 0) {
        return static_cast<int>(sent);
    }
    int code = setLastErrorFromErrno();
    // Winsock's list of send errors that end the connection, with the reset that Linux reports
    // for a peer that has gone (EPIPE and ECONNRESET) added: the connection is over then too.
    switch (code) {
    case kWsaEnotsock:
    case kWsaEnetreset:
    case kWsaEconnaborted:
    case kWsaEconnreset:
    case kWsaEshutdown:
    case kWsaEtimedout:
        CloseAndNotify();
        WSASetLastError(code);
        break;
    default:
        break;
    }
    return -1;
}

int CPollSocket::Recv(void* buffer, int size, int flags) {
    if (tls_ && Handle() != kInvalidHandle) {
        return TlsRecv(buffer, size);
    }
    ssize_t received = recv(Handle(), buffer, static_cast<size_t>(size), flags);
    if (received == 0) {
        CloseAndNotify();
        return 0;
    }
    if (received < 0) {
        int code = setLastErrorFromErrno();
        if (code == kWsaEconnreset) {
            CloseAndNotify();
            WSASetLastError(code);
            return -1;
        }
    }
    if (Handle() != kInvalidHandle) {
        readArmed_ = true;
        CPollThread::Instance().Wake();
    }
    return received < 0 ? -1 : static_cast<int>(received);
}

void CPollSocket::Close() {
    std::lock_guard<std::recursive_mutex> guard(CPollThread::Instance().Lock());
    int handle = handle_.exchange(kInvalidHandle);
    if (handle == kInvalidHandle) {
        return;
    }
    close(handle);
    lastHandle_ = handle;
    readArmed_ = false;
    listening_ = false;
    CPollThread::Instance().Remove(this);
}

void CPollSocket::CloseAndNotify() {
    bool hadHandle = Handle() != kInvalidHandle;
    Close();
    if (hadHandle && !closeReported_.exchange(true)) {
        OnClose();
    }
}

int CPollSocket::Select(int flags) {
    pollfd fd{Handle(), 0, 0};
    if (flags & kSelectRead) {
        fd.events |= POLLIN;
    }
    if (flags & kSelectWrite) {
        fd.events |= POLLOUT;
    }
    int result = poll(&fd, 1, 1);
    if (result < 0 || (fd.revents & POLLNVAL)) {
        WSASetLastError(result < 0 ? platform::wsaErrorFromErrno(errno) : kWsaEnotsock);
        inReadSet_ = inWriteSet_ = false;
        return -1;
    }
    inReadSet_ = (flags & kSelectRead) && (fd.revents & (POLLIN | POLLHUP | POLLERR));
    inWriteSet_ = (flags & kSelectWrite) && (fd.revents & (POLLOUT | POLLERR));
    return result;
}

bool CPollSocket::GetPeerName(std::string& address, uint16_t& port) const {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (getpeername(Handle(), reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return describe(peer, address, port);
}

bool CPollSocket::GetSockName(std::string& address, uint16_t& port) const {
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    if (getsockname(Handle(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return describe(local, address, port);
}

short CPollSocket::WatchEvents() const {
    if (Handle() == kInvalidHandle || closing_) {
        return 0;
    }
    if (connecting_ && !connected_) {
        return connectFailed_ ? 0 : POLLOUT;
    }
    return readArmed_ ? POLLIN : 0;
}

void CPollSocket::ReportReadiness(short revents) {
    if (closing_) {
        return;
    }
    if (connecting_ && !connected_) {
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(Handle(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            error = errno;
        }
        if (error == 0 && (revents & POLLOUT)) {
            connected_ = true;
            readArmed_ = true;
            OnConnect();
            return;
        }
        // A refused or unreachable address gives way to the host's next one, on a fresh socket
        // under the same handle (its owner does not use the handle while it connects).
        if (ConnectNext(true)) {
            return;
        }
        // The last one failed: the connect ends here. The handle stays open for its owner to
        // close on its own thread (the poll thread never closes a handle another thread uses).
        connectFailed_ = true;
        WSASetLastError(platform::wsaErrorFromErrno(error));
        if (!closeReported_.exchange(true)) {
            OnClose();
        }
        return;
    }
    // Reading is not watched again until the owner has received (Recv re-arms it); a hang-up or
    // an error is reported as readable, so the owner's receive finds the close.
    readArmed_ = false;
    if (listening_) {
        OnAccept();
    } else {
        OnReceive();
    }
}

bool CPollSocket::SetNonBlocking(bool on) {
    int flags = fcntl(Handle(), F_GETFL);
    if (flags < 0 ||
        fcntl(Handle(), F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) < 0) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

void CPollSocket::Watch() {
    CPollThread::Instance().Add(this);
    CPollThread::Instance().Start();
}

} // namespace tavik::app
