// The authentication conversation on the service connection (a CSockHandler).
//
// On connect it asks the server for this client's node address ("queryNode"); the answer
// ("queryNodeAns" with parentName, childName and yourNodeAddr) makes it send the authentication
// request from that node to the authentication service: header from = the node address,
// to = the node address up to its first "/" (the whole address without one), svc = "authsvr";
// a scrambled typed body with cmd "auth", userid, passwd and, only when there is a session key,
// brelo_sessionkey. The reply addressed to this node with inform "auth" decides the login:
//   result "0" with name, userno, kid and eid present  -> WM_AUTHRESULT 1, authentication bar 100;
//                                                          kid kept as the account globals'
//                                                          disk ticket (for QueryDiskInfo)
//   result "0" with one of them missing                -> WM_AUTHRESULT 0, box "잘못된 인증정보가
//                                                          내려왔습니다"
//   any other result                                   -> WM_AUTHRESULT 0, box "아이디/비밀번호/
//                                                          도메인명이 올바른지 확인하세요"
// result (like inform) is read from a text body or from a typed body, so a server that answers
// with a typed body gets its login decided too. Every other message is ignored: control
// messages other than general/queryNodeAns, a queryNodeAns without its three pairs, messages
// without to and from, messages whose "to" does not begin with the node address, and any
// addressed message before the node address is known. A stalled conversation is ended by the
// progress dialog's watchdog, which only a step forward re-arms (the first usable queryNodeAns,
// the reply that decides); a connection close changes nothing by itself. More than
// kMaxIgnoredFrames frames that lead nowhere end the login as the watchdog would: the box
// "현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!", then WM_AUTHRESULT 0. Once the login
// is decided (or ended so), further frames are dropped.
//
// Each step moves the authentication bar of the global progress dialog (CAuthProgressDlg), when
// there is one: 30 connected, 35, 45 node query sent, 60 control message, 70 general pair,
// 80 addressed to us, 90 inform "auth".
//
// WM_AUTHRESULT is sent synchronously to the result window (weakly held). The result window
// owns the handler and may drop it from its reaction, but only with deleteLater(): the handler
// is still inside its own OnMessage then.
// Threads: user-interface thread (that of the CSockHandler).
#pragma once

#include "app/socket/CSockHandler.h"

#include <QPointer>

#include <string>

namespace tavik::app {

class CMsgTextMap;
class CMsgTypedBody;

class CAuthHandler : public CSockHandler {
    Q_OBJECT
public:
    // Frames that do not move the login on, tolerated before it is ended as stalled.
    static constexpr int kMaxIgnoredFrames = 8;

    CAuthHandler(std::u16string userId, std::u16string password);
    CAuthHandler(std::u16string userId, std::u16string password, std::u16string sessionKey,
                 QObject* resultWindow);
    CAuthHandler(std::u16string userId, std::u16string password, QObject* resultWindow);
    ~CAuthHandler() override;

    // Sets the connected flag and sends the node query.
    void OnConnect(int code, LPARAM socket) override;
    // Nothing: the watchdog ends a login whose connection went away.
    void OnClose(int code, LPARAM socket) override;
    void OnMessage(CMsgPacket& packet) override;

    // The watchdog waits while the server's trust is decided (the user may be reading a
    // fingerprint); a refused server ends the login at once: WM_AUTHRESULT 0.
    bool SecureConnection() override;
    void OnSecureRefused() override;

    const std::u16string& NodeAddress() const { return nodeAddress_; }
    const std::u16string& UserId() const { return userId_; }
    QObject* ResultWindow() const { return resultWindow_.data(); }

    // The "to" of the authentication request: the node address up to its first "/".
    static std::u16string ServiceNodeOf(const std::u16string& nodeAddress);

private:
    // Each answers whether the frame moved the login forward.
    bool OnControlMessage(const CMsgTextMap& header);
    bool OnAddressedMessage(const CMsgTextMap& header, CMsgPacket& packet);
    void GiveUp();
    void SendAuthRequest();
    void Decide(const std::u16string& result, bool allFieldsPresent);
    void ReportResult(LPARAM result);

    std::u16string nodeAddress_;
    std::u16string userId_;
    std::u16string password_;
    std::u16string sessionKey_;
    QPointer<QObject> resultWindow_;
    int ignoredFrames_ = 0;
    bool decided_ = false;
};

} // namespace tavik::app
