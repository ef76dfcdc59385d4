#include "app/login/CAuthHandler.h"

#include "app/login/AuthResult.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/settings/CAccountGlobals.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CWindowMessage.h"
#include "codec/CMsgPacket.h"
#include "codec/CMsgTextMap.h"
#include "codec/CMsgTypedBody.h"

#include <string>

namespace tavik::app {

namespace {

const QString kWrongAccount = QStringLiteral("아이디/비밀번호/도메인명이 올바른지 확인하세요");
const QString kBadAnswer = QStringLiteral("잘못된 인증정보가 내려왔습니다");

void authStep(int position) {
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->SetAuthStep(position);
    }
}

std::u16string decimal(int32_t number) {
    std::string text = std::to_string(number);
    return std::u16string(text.begin(), text.end());
}

// The body of an addressed message, whichever of the two encodings it came in.
class ReplyBody {
public:
    explicit ReplyBody(CMsgPacket& packet) {
        std::u16string type = packet.GetBodyType();
        typed_ = type == u"1" && packet.GetTypedBody(typedBody_);
        text_ = !typed_ && packet.GetTextBody(textBody_);
    }

    bool Get(std::u16string_view key, std::u16string& value) const {
        if (text_) {
            return textBody_.GetValue(key, value);
        }
        if (!typed_) {
            return false;
        }
        if (typedBody_.GetString(key, value)) {
            return true;
        }
        int32_t number = 0;
        if (typedBody_.GetInt(key, number)) {
            value = decimal(number);
            return true;
        }
        return false;
    }

    bool Has(std::u16string_view key) const {
        std::u16string ignored;
        return Get(key, ignored);
    }

private:
    CMsgTextMap textBody_;
    CMsgTypedBody typedBody_;
    bool text_ = false;
    bool typed_ = false;
};

} // namespace

CAuthHandler::CAuthHandler(std::u16string userId, std::u16string password)
    : CAuthHandler(std::move(userId), std::move(password), std::u16string(), nullptr) {}

CAuthHandler::CAuthHandler(std::u16string userId, std::u16string password,
                           std::u16string sessionKey, QObject* resultWindow)
    : userId_(std::move(userId)), password_(std::move(password)),
      sessionKey_(std::move(sessionKey)), resultWindow_(resultWindow) {}

CAuthHandler::CAuthHandler(std::u16string userId, std::u16string password, QObject* resultWindow)
    : CAuthHandler(std::move(userId), std::move(password), std::u16string(), resultWindow) {}

CAuthHandler::~CAuthHandler() = default;

std::u16string CAuthHandler::ServiceNodeOf(const std::u16string& nodeAddress) {
    return nodeAddress.substr(0, nodeAddress.find(u'/'));
}

void CAuthHandler::OnConnect(int code, LPARAM socket) {
    CSockHandler::OnConnect(code, socket);
    authStep(30);
    CMsgTextMap header;
    header.SetValue(u"ctrl", u"general");
    header.SetValue(u"general", u"queryNode");
    authStep(35);
    CMsgPacket query;
    if (query.BuildTextBody(header, CMsgTextMap())) {
        Send(query);
    }
    authStep(45);
}

void CAuthHandler::OnClose(int, LPARAM) {}

bool CAuthHandler::SecureConnection() {
    CAuthProgressDlg* dialog = CAuthProgressDlg::Global();
    const bool watched = dialog != nullptr && dialog->WatchdogActive();
    if (watched) {
        dialog->StopWatchdog();
    }
    QPointer<CAuthHandler> self(this);
    const bool proceed = CSockHandler::SecureConnection();
    dialog = CAuthProgressDlg::Global();
    if (self && !decided_ && watched && dialog != nullptr) {
        dialog->StartWatchdog();
    }
    return proceed;
}

void CAuthHandler::OnSecureRefused() {
    decided_ = true;
    Disconnect();
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->StopWatchdog();
    }
    ReportResult(kAuthFailed);
}

void CAuthHandler::OnMessage(CMsgPacket& packet) {
    if (decided_) {
        return;
    }
    CMsgTextMap header;
    bool forward = false;
    if (packet.GetHeader(header)) {
        forward = header.Contains(u"ctrl") ? OnControlMessage(header)
                                           : OnAddressedMessage(header, packet);
    }
    // A frame that leads nowhere costs the server nothing to send; a handful is normal chatter,
    // more means the login will not move on.
    if (!forward && !decided_ && ++ignoredFrames_ > kMaxIgnoredFrames) {
        GiveUp();
    }
}

bool CAuthHandler::OnControlMessage(const CMsgTextMap& header) {
    authStep(60);
    std::u16string ctrl;
    std::u16string general;
    header.GetValue(u"ctrl", ctrl);
    if (ctrl != u"general" || !header.GetValue(u"general", general)) {
        return false;
    }
    authStep(70);
    if (general != u"queryNodeAns") {
        return false;
    }
    std::u16string nodeAddress;
    if (!header.Contains(u"parentname") || !header.Contains(u"childname") ||
        !header.GetValue(u"yournodeaddr", nodeAddress)) {
        return false;
    }
    // Only the first answer moves the login on; a repeated one is answered all the same.
    bool first = nodeAddress_.empty();
    nodeAddress_ = nodeAddress;
    SendAuthRequest();
    return first;
}

void CAuthHandler::GiveUp() {
    decided_ = true;
    // Closed before the box: the server's frames would otherwise go on costing time while it
    // waits for the user.
    Disconnect();
    CAuthProgressDlg* dialog = CAuthProgressDlg::Global();
    if (dialog != nullptr) {
        // As when the watchdog fires: stopped before the box, reported after it.
        dialog->StopWatchdog();
    }
    QPointer<CAuthHandler> self(this);
    CMessageBox::Show(CAuthProgressDlg::StalledText(), QString(), MB_OK | MB_ICONWARNING, dialog);
    if (self) {
        ReportResult(kAuthFailed);
    }
}

void CAuthHandler::SendAuthRequest() {
    CMsgTextMap header;
    header.SetValue(u"from", nodeAddress_);
    header.SetValue(u"to", ServiceNodeOf(nodeAddress_));
    header.SetValue(u"svc", u"authsvr");
    CMsgTypedBody body;
    body.SetString(u"cmd", u"auth");
    body.SetString(u"userId", userId_);
    body.SetString(u"passwd", password_);
    if (!sessionKey_.empty()) {
        body.SetString(u"brelo_sessionkey", sessionKey_);
    }
    CMsgPacket request;
    if (request.BuildTypedBody(header, body, true)) {
        Send(request);
    }
}

bool CAuthHandler::OnAddressedMessage(const CMsgTextMap& header, CMsgPacket& packet) {
    std::u16string to;
    // Until the node address is known nothing can be addressed to us: an empty address would
    // otherwise be a prefix of every "to".
    if (nodeAddress_.empty() || !header.Contains(u"from") || !header.GetValue(u"to", to) ||
        !to.starts_with(nodeAddress_)) {
        return false;
    }
    authStep(80);
    ReplyBody body(packet);
    std::u16string inform;
    if (!body.Get(u"inform", inform) || inform != u"auth") {
        return false;
    }
    authStep(90);
    std::u16string result;
    if (!body.Get(u"result", result)) {
        return false;
    }
    // errmsg, name, userno and eid are only tested for presence. kid is kept: our server puts a
    // one-time ticket there, which the disk-information query sends back (another server's
    // value is sent back as well, and ignored there).
    std::u16string ticket;
    bool allFieldsPresent =
        body.Has(u"name") && body.Has(u"userno") && body.Get(u"kid", ticket) && body.Has(u"eid");
    if (result == u"0" && allFieldsPresent) {
        CAccountGlobals::Instance().diskTicket = ticket;
    }
    Decide(result, allFieldsPresent);
    return true;
}

void CAuthHandler::Decide(const std::u16string& result, bool allFieldsPresent) {
    decided_ = true;
    if (result != u"0") {
        ReportResult(kAuthFailed);
        CMessageBox::Show(kWrongAccount, QString(), MB_OK | MB_ICONWARNING);
        return;
    }
    if (!allFieldsPresent) {
        ReportResult(kAuthFailed);
        CMessageBox::Show(kBadAnswer, QString(), MB_OK | MB_ICONWARNING);
        return;
    }
    ReportResult(kAuthSucceeded);
    authStep(100);
}

void CAuthHandler::ReportResult(LPARAM result) {
    if (resultWindow_) {
        CWindowMessage::Send(resultWindow_.data(), WM_AUTHRESULT, 0, result);
    }
}

} // namespace tavik::app
