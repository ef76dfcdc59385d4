// The service connection's hidden window "SockHandler" (control id 10000). It owns one
// CBufferedSocket, turns the poll thread's WM_SOCKEVENT messages into OnConnect, OnClose and
// OnMessage calls on its own (user-interface) thread, and sends whole service messages.
// Subclasses (the authentication conversation) replace the three handlers.
//
// Received bytes are framed as service messages; several messages that arrive together are
// dispatched in order from one event, a partial one waits for the next event. A receive buffer
// that does not begin with the frame magic, or that would grow beyond the largest frame, is a
// protocol error: the connection is closed and OnClose(200) follows once.
//
// Security ("보안 연결", CSecuritySetting, read at each Connect): unless it is off, a completed
// connect is secured (TLS and the server's trust, CServerTrust) before OnConnect; a server that
// speaks no TLS is connected to again in plain when the setting allows, and OnConnect follows
// that connect instead. A refused server (a box has said why) ends in OnSecureRefused, and
// neither OnConnect nor OnClose follows.
//
// Ownership: the creator owns the handler; the handler owns its socket, which it destroys before
// the window goes. A handler may be deleted from inside its own handlers only with deleteLater().
// Threads: everything on the thread that created the handler (which must run an event loop).
#pragma once

#include "app/settings/CSecuritySetting.h"
#include "app/socket/CBufferedSocket.h"
#include "app/socket/CMessageWindow.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tavik::app {

class CMsgPacket;

class CSockHandler : public CMessageWindow {
    Q_OBJECT
public:
    explicit CSockHandler(QObject* owner = nullptr);
    ~CSockHandler() override;

    // Tears down any earlier state (as Destroy), clears socket, connected flag, host and port,
    // and makes the window: name "SockHandler", control id 10000, owner = parent or else the
    // application's active window. True (the window cannot fail to exist).
    bool Create(QObject* parent = nullptr);
    // Closes and deletes the socket and drops its pending events; the window stops handling
    // socket events until the next Create.
    void Destroy();
    bool IsCreated() const { return created_; }

    // Remembers host and port, replaces any previous socket with a new one and starts a
    // non-blocking connect. False when the socket cannot be made or bound (silently) or the
    // connect cannot start (an unknown host, for one): then the box "연결 실패!" (caption
    // "TAVIK", error icon) is shown through CMessageBox. OnConnect or OnClose reports the end.
    virtual bool Connect(const std::u16string& host, uint16_t port);
    // Closes and deletes the socket; clears the connected flag.
    virtual void Disconnect();
    // WM_SOCKEVENT 100: sets the connected flag.
    virtual void OnConnect(int code, LPARAM socket);
    // WM_SOCKEVENT 200: clears the connected flag.
    virtual void OnClose(int code, LPARAM socket);
    // One whole service message; does nothing here.
    virtual void OnMessage(CMsgPacket& packet);

    // Queues a copy of the message's bytes and flushes; false without a socket or handle, or
    // when the flush failed.
    bool Send(const CMsgPacket& packet);

    bool IsConnected() const { return connected_; }
    const std::u16string& Host() const { return host_; }
    uint16_t Port() const { return port_; }
    CBufferedSocket* Socket() const { return socket_.get(); }

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // The longest wait for the TLS handshake of a connect.
    static constexpr int kHandshakeLimitMs = 4000;

protected:
    // Secures the connection that just completed as the setting says; true when OnConnect is to
    // follow now (secured, or plain by the setting), false when the connection is gone (refused,
    // or a plain connect was started instead).
    virtual bool SecureConnection();
    // The server was refused (the box has been shown): closes the socket.
    virtual void OnSecureRefused();
    bool FallingBackToPlain() const { return plainFallback_; }

private:
    bool StartConnect();
    void ReleaseSocket();
    void ReceiveAndDispatch();

    std::unique_ptr<CBufferedSocket> socket_;
    bool connected_ = false;
    std::u16string host_;
    uint16_t port_ = 0;
    bool created_ = false;
    CSecuritySetting::Mode security_ = CSecuritySetting::Mode::Required;
    // The server spoke no TLS and the setting allows plain: the connect under way is plain.
    bool plainFallback_ = false;
};

} // namespace tavik::app
