// A non-blocking socket watched by the poll thread (CPollThread). The poll thread only reports
// readiness, by calling the virtual handlers under the poll lock; CBufferedSocket's handlers post
// window messages, and all reading and writing happens on the owner's (user-interface) thread.
//
// Registered sockets (the client kind) are known to the poll state and are the only ones that
// may Connect; unregistered ones are the only ones that may Listen. Only IPv4 stream sockets.
// Every failure sets the thread's last socket error (platform::WSAGetLastError).
//
// A socket reports its close at most once per handle: a peer close, a reset or one of the send
// errors listed at Send closes the handle and calls OnClose once; so does a connect the peer
// refused (reported by the poll thread). Handlers run on the poll thread for readiness and on
// the calling thread for closes found by Send and Recv.
//
// Threads: the owner's thread does everything except ReportReadiness and WatchEvents, which the
// poll thread calls under the poll lock. Destroying the object takes the lock, so the poll
// thread never sees a socket that is going away.
#pragma once

#include "app/socket/CHostResolver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavik::tls {
class CTlsChannel;
}

namespace tavik::app {

class CPollSocket {
public:
    static constexpr int kInvalidHandle = -1;
    static constexpr int kSelectRead = 1;
    static constexpr int kSelectWrite = 2;

    explicit CPollSocket(bool registered = true);
    virtual ~CPollSocket();
    CPollSocket(const CPollSocket&) = delete;
    CPollSocket& operator=(const CPollSocket&) = delete;

    // Readiness handlers; in this class they do nothing.
    virtual void OnAccept() {}
    virtual void OnReceive() {}
    virtual void OnClose() {}
    virtual void OnSend() {}
    virtual void OnConnect() {}

    // socket() and bind() to any local address and the port; only while no handle is open.
    bool Bind(uint16_t port);
    // Registered sockets only. host: an IPv4 or IPv6 address or a name (CHostResolver); an
    // unresolved name sets WSAEINVAL (10022). The host's addresses are tried in order, the next
    // when one refuses or cannot be reached; OnClose reports the failure of the last. Starts a
    // non-blocking connect and the poll thread; true when the connect completed or is under way
    // (OnConnect follows when it completes).
    bool Connect(const std::u16string& host, uint16_t port);
    // Unregistered sockets only: listen; readiness to accept is reported by OnAccept.
    bool Listen(int backlog);
    // accept(); the target takes the new handle (invalid on failure) and is watched.
    bool Accept(CPollSocket& target);
    // Adopts an existing connected handle and starts watching it.
    bool AttachHandle(int handle);
    // Stops watching and gives the handle away; the object is left without one.
    int DetachHandle();

    // From now on Send and Recv go through the channel (made over this socket's handle, owner's
    // thread, after the connect and before any byte of the protocol). A TLS step that must wait
    // answers -1 with WSAEWOULDBLOCK; a broken channel closes as a reset does.
    void AdoptTls(std::unique_ptr<tls::CTlsChannel> channel);
    bool IsSecure() const { return tls_ != nullptr; }
    // Whether decrypted bytes wait inside the channel although the socket may look idle.
    bool TlsPending() const;

    // send() with the given flags; -1 sets the last error. On WSAENOTSOCK, WSAENETRESET,
    // WSAECONNABORTED, WSAECONNRESET, WSAESHUTDOWN or WSAETIMEDOUT: Close, then OnClose.
    int Send(const void* bytes, int length, int flags = 0);
    // recv(); 0 when the peer closed. On 0, or -1 with WSAECONNRESET: Close, then OnClose.
    // Re-arms the poll thread's watch for reading.
    int Recv(void* buffer, int size, int flags = 0);
    // Closes an open handle and leaves the watched list (no handler runs).
    void Close();
    // Close, then OnClose, unless this handle's close was already reported.
    void CloseAndNotify();
    // A poll of this socket with a 1 ms time-out for reading (1) and/or writing (2); the result
    // of poll (1 ready, 0 not, -1 failure) and InReadSet / InWriteSet say which.
    int Select(int flags);
    bool InReadSet() const { return inReadSet_; }
    bool InWriteSet() const { return inWriteSet_; }

    bool GetPeerName(std::string& address, uint16_t& port) const;
    bool GetSockName(std::string& address, uint16_t& port) const;

    int Handle() const { return handle_.load(); }
    bool IsRegistered() const { return registered_; }
    bool IsConnecting() const { return connecting_.load(); }
    bool IsConnected() const { return connected_.load(); }
    // The handle the socket had before its last close (for the close report).
    int LastHandle() const { return lastHandle_.load(); }

    // Poll thread, under the poll lock: what to wait for (0: nothing now) and what happened.
    short WatchEvents() const;
    void ReportReadiness(short revents);

private:
    int TlsSend(const void* bytes, int length);
    int TlsRecv(void* buffer, int size);
    bool SetNonBlocking(bool on);
    // Starts a connect to the first of pending_ that takes one (renew: on a fresh socket);
    // false with errno when none is left.
    bool ConnectNext(bool renew);
    void Watch();

    std::atomic<int> handle_{kInvalidHandle};
    std::atomic<int> lastHandle_{kInvalidHandle};
    const bool registered_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> connecting_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> listening_{false};
    std::atomic<bool> readArmed_{false};
    std::atomic<bool> closeReported_{false};
    std::atomic<bool> connectFailed_{false};
    bool inReadSet_ = false;
    bool inWriteSet_ = false;
    // The addresses of the host being connected to that are still to be tried: set by Connect
    // before the poll thread watches the socket, then used only by the poll thread.
    std::vector<CHostResolver::Address> pending_;
    // Used only on the owner's thread; kept after a close (it never touches a closed handle:
    // Send and Recv check the handle first) until the object goes.
    std::unique_ptr<tls::CTlsChannel> tls_;
};

} // namespace tavik::app
