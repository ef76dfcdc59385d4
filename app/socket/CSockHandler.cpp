#include "app/socket/CSockHandler.h"

#include "app/shell/CMessageBox.h"
#include "app/socket/CServerTrust.h"
#include "app/socket/SocketEvents.h"
#include "codec/CMsgPacket.h"
#include "codec/MsgWire.h"
#include "tls/CTlsChannel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <span>

namespace tavik::app {

namespace {

// Fewer than four bytes are "not whole yet" to the frame check; when they already differ from
// the magic's first bytes, waiting for more cannot make them a frame.
bool startsOffTheMagic(std::span<const uint8_t> buffered) {
    size_t compared = std::min(buffered.size(), msgwire::kFrameMagic.size());
    return !std::equal(buffered.begin(), buffered.begin() + static_cast<std::ptrdiff_t>(compared),
                       msgwire::kFrameMagic.begin());
}

} // namespace

CSockHandler::CSockHandler(QObject* owner) : CMessageWindow(owner) {}

CSockHandler::~CSockHandler() {
    Destroy();
}

bool CSockHandler::Create(QObject* parent) {
    Destroy();
    connected_ = false;
    host_.clear();
    port_ = 0;
    SetIdentity(QString::fromStdU16String(kSockHandlerName), kSockHandlerControlId);
    // Without a widget application (a test or tool on QCoreApplication) there is
    // no main window.
    if (parent == nullptr && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        parent = QApplication::activeWindow();
    }
    SetOwner(parent);
    created_ = true;
    return true;
}

void CSockHandler::Destroy() {
    if (!created_) {
        return;
    }
    ReleaseSocket();
    created_ = false;
}

bool CSockHandler::Connect(const std::u16string& host, uint16_t port) {
    host_ = host;
    port_ = port;
    security_ = CSecuritySetting::Stored();
    plainFallback_ = false;
    return StartConnect();
}

bool CSockHandler::StartConnect() {
    ReleaseSocket();
    connected_ = false;
    auto socket = std::make_unique<CBufferedSocket>(true);
    socket->SetNotifyWindow(this);
    if (!socket->Bind(0)) {
        return false;
    }
    if (!socket->Connect(host_, port_)) {
        CMessageBox::Show(QStringLiteral("연결 실패!"), QStringLiteral("TAVIK"),
                          MB_OK | MB_ICONERROR);
        return false;
    }
    socket_ = std::move(socket);
    return true;
}

bool CSockHandler::SecureConnection() {
    if (security_ == CSecuritySetting::Mode::Off || plainFallback_ || !socket_) {
        return true;
    }
    std::unique_ptr<tls::CTlsChannel> channel;
    const std::string host = QString::fromStdU16String(host_).toStdString();
    QPointer<CSockHandler> self(this);
    const CServerTrust::Outcome outcome = CServerTrust().Secure(
        socket_->Handle(), host, port_, security_, kHandshakeLimitMs, channel);
    if (!self || !socket_) {
        return false; // gone while a box was open
    }
    switch (outcome) {
    case CServerTrust::Outcome::Secure:
        socket_->AdoptTls(std::move(channel));
        return true;
    case CServerTrust::Outcome::FallBack:
        plainFallback_ = true;
        if (!StartConnect()) {
            OnSecureRefused();
        }
        return false;
    case CServerTrust::Outcome::Refused:
        break;
    }
    OnSecureRefused();
    return false;
}

void CSockHandler::OnSecureRefused() {
    Disconnect();
}

void CSockHandler::Disconnect() {
    ReleaseSocket();
    connected_ = false;
}

void CSockHandler::OnConnect(int, LPARAM) {
    connected_ = true;
}

void CSockHandler::OnClose(int, LPARAM) {
    connected_ = false;
}

void CSockHandler::OnMessage(CMsgPacket&) {}

bool CSockHandler::Send(const CMsgPacket& packet) {
    if (!socket_ || socket_->Handle() == CPollSocket::kInvalidHandle) {
        return false;
    }
    return socket_->Queue(packet.GetBytes().data(), packet.GetLength()) && socket_->Flush() >= 0;
}

LRESULT CSockHandler::windowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_SOCKEVENT) {
        return CMessageWindow::windowProc(msg, wParam, lParam);
    }
    if (!created_) {
        return 0;
    }
    switch (wParam) {
    case kSockEventConnect:
        if (SecureConnection()) {
            OnConnect(static_cast<int>(wParam), lParam);
        }
        break;
    case kSockEventClose:
        // A refused connect is reported with its handle still open: it is closed
        // here, on the thread that owns it.
        if (socket_) {
            socket_->Close();
        }
        OnClose(static_cast<int>(wParam), lParam);
        break;
    case kSockEventReceive:
        ReceiveAndDispatch();
        break;
    default:
        break;
    }
    return 0;
}

void CSockHandler::ReleaseSocket() {
    socket_.reset();
    // Events of the old socket must not reach the next one.
    QCoreApplication::removePostedEvents(this, static_cast<int>(WM_SOCKEVENT));
}

void CSockHandler::ReceiveAndDispatch() {
    if (!socket_) {
        return;
    }
    int received = socket_->Receive(msgwire::kMaxFrameBytes);
    if (received < 0 && socket_->Handle() != CPollSocket::kInvalidHandle &&
        socket_->Held() >= msgwire::kMaxFrameBytes) {
        socket_->CloseAndNotify(); // a frame larger than any the protocol allows
        return;
    }
    if (received <= 0 || socket_->Held() == 0) {
        return;
    }
    QPointer<CSockHandler> self(this);
    while (self && socket_) {
        std::span<const uint8_t> buffered(socket_->Received(), socket_->Held());
        MsgFrameCheck check = CMsgPacket::Check(buffered);
        if (check.status == MsgFrameCheck::kProtocolError || startsOffTheMagic(buffered)) {
            // Waiting cannot mend a wrong magic or an oversized frame: nothing more on this
            // connection can be taken as a message.
            socket_->CloseAndNotify();
            return;
        }
        if (check.status == MsgFrameCheck::kNeedMore) {
            return; // the rest comes with a later event
        }
        CMsgPacket packet;
        packet.Attach(buffered.first(check.length), true);
        socket_->Consume(check.length);
        OnMessage(packet);
    }
}

} // namespace tavik::app
