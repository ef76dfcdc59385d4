// The authentication conversation against a scripted peer: the node query, the request built
// from the node address and the fields, every way a reply decides (or does not decide) the
// login, and the watchdog that ends a login whose server stopped answering.
#include "tests/app_login/LoginHarness.h"

#include "app/login/AuthResult.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/settings/CAccountGlobals.h"
#include "app/socket/CHostResolver.h"
#include "codec/CMsgPacket.h"

#include "tests/support/CFakeDiskServer.h"

#include <QPushButton>

#include <algorithm>

#include <sys/socket.h>

namespace tavik::test {
namespace {

const QString kWrongAccount = QStringLiteral("아이디/비밀번호/도메인명이 올바른지 확인하세요");
const QString kBadAnswer = QStringLiteral("잘못된 인증정보가 내려왔습니다");
const QString kStalled = QStringLiteral("현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!");

std::string nodeAnswer(const std::string& node) {
    return "ctrl=general&general=queryNodeAns&parentname=hub&childname=c1&yournodeaddr=" + node +
           "&bodytype=0";
}

Bytes typedReply(const std::string& to, const Bytes& entries) {
    return serviceFrame("from=authsvr&to=" + to + "&bodytype=1", clearTypedBody(entries));
}

Bytes textReply(const std::string& to, const std::string& body) {
    return serviceFrame("from=authsvr&to=" + to + "&bodytype=0", textBody(body));
}

struct AuthRow {
    const char* name;
    QString userName;
    QString password;
    std::u16string sessionKey;
    std::string node;
    // The reply, addressed to the node.
    std::function<Bytes(const std::string& node)> reply;
    std::u16string expectedTo;
    std::u16string expectedUserId;
    std::vector<LPARAM> expectedResults;
    QStringList expectedBoxes;
};

std::vector<AuthRow> authRows() {
    const std::string allFields = "&name=Demo&userno=7&kid=k1&eid=e1";
    Bytes typedSuccess;
    putEntry(typedSuccess, "eid", 4, stringValue("e1"));
    putEntry(typedSuccess, "inform", 4, stringValue("auth"));
    putEntry(typedSuccess, "kid", 4, stringValue("k1"));
    putEntry(typedSuccess, "name", 4, stringValue("Demo"));
    putEntry(typedSuccess, "result", 4, stringValue("0"));
    putEntry(typedSuccess, "userno", 1, intValue(42));
    Bytes typedRefusal;
    putEntry(typedRefusal, "inform", 4, stringValue("auth"));
    putEntry(typedRefusal, "result", 1, intValue(3));
    return {
        {"password login, node A/B",
         "demo",
         "pw",
         u"",
         "A/B",
         [=](const std::string& node) {
             return textReply(node, "inform=auth&result=0&errmsg=" + allFields);
         },
         u"A",
         u"demo@tavik.local",
         {app::kAuthSucceeded},
         {}},
        {"session key, node without slash, eid missing",
         "demo",
         "",
         u"SK-1",
         "node7",
         [](const std::string& node) {
             return textReply(node, "inform=auth&result=0&name=Demo&userno=7&kid=k1");
         },
         u"node7",
         u"demo@tavik.local",
         {app::kAuthFailed},
         {kBadAnswer}},
        {"Korean user, wrong password",
         "홍길동",
         "wrong",
         u"",
         "A/B/C",
         [](const std::string& node) {
             return textReply(node, "inform=auth&result=1&errmsg=bad+password");
         },
         u"A",
         u"홍길동@tavik.local",
         {app::kAuthFailed},
         {kWrongAccount}},
        {"typed-body reply decides a success",
         "demo",
         "pw",
         u"SK-2",
         "N/1",
         [=](const std::string& node) { return typedReply(node, typedSuccess); },
         u"N",
         u"demo@tavik.local",
         {app::kAuthSucceeded},
         {}},
        {"typed-body reply with a numeric refusal",
         "demo",
         "pw",
         u"",
         "N/2",
         [=](const std::string& node) { return typedReply(node, typedRefusal); },
         u"N",
         u"demo@tavik.local",
         {app::kAuthFailed},
         {kWrongAccount}},
    };
}

app::HostPort loopback(uint16_t port) {
    return {"127.0.0.1", port};
}

class AuthLoginTest : public LoginTest {};

TEST_F(AuthLoginTest, RequestFollowsNodeAddressAndReplyDecides) {
    for (const AuthRow& row : authRows()) {
        SCOPED_TRACE(row.name);
        app::CAccountGlobals::Instance().diskTicket.clear();
        CTestLoginForm form;
        form.userName->setText(row.userName);
        form.password->setText(row.password);
        form.show();
        Bytes query;
        Bytes request;
        CFakeDiskServer peer;
        peer.custom("node query",
                    [&](int s, std::string& why) { return readServiceFrame(s, query, why); })
            .sendRaw(serviceFrame(nodeAnswer(row.node)))
            .custom("request",
                    [&](int s, std::string& why) { return readServiceFrame(s, request, why); })
            .sendRaw(row.reply(row.node))
            .start();

        ASSERT_TRUE(form.Login(loopback(peer.port()), row.sessionKey));
        ASSERT_TRUE(waitFor([&] { return !form.results.empty(); }));
        settleEvents();
        ASSERT_TRUE(peer.finish());
        EXPECT_EQ(form.results, row.expectedResults);
        EXPECT_EQ(BoxTexts(), row.expectedBoxes);

        // The node query: a control header and an empty text body (B = 0, T = H + 16).
        app::CMsgPacket queryPacket;
        ASSERT_EQ(queryPacket.Attach(query), query.size());
        app::CMsgTextMap header;
        ASSERT_TRUE(queryPacket.GetHeader(header));
        EXPECT_EQ(header.Pairs(),
                  (std::map<std::u16string, std::u16string>{
                      {u"bodytype", u"0"}, {u"ctrl", u"general"}, {u"general", u"queryNode"}}));
        EXPECT_EQ(query.size(),
                  16 + (query[8] << 24 | query[9] << 16 | query[10] << 8 | query[11]));

        // The request: from the node to its first part, a scrambled typed body with exactly the
        // keys the fields call for.
        app::CMsgPacket requestPacket;
        ASSERT_EQ(requestPacket.Attach(request), request.size());
        ASSERT_TRUE(requestPacket.GetHeader(header));
        EXPECT_EQ(header.Pairs(), (std::map<std::u16string, std::u16string>{
                                      {u"bodytype", u"1"},
                                      {u"from", QString::fromStdString(row.node).toStdU16String()},
                                      {u"svc", u"authsvr"},
                                      {u"to", row.expectedTo}}));
        size_t headerLength = request[8] << 24 | request[9] << 16 | request[10] << 8 | request[11];
        EXPECT_EQ(request.at(12 + headerLength + 4), 1) << "scramble flag";
        app::CMsgTypedBody body;
        ASSERT_TRUE(requestPacket.GetTypedBody(body));
        std::vector<std::u16string> keys = body.Keys();
        std::sort(keys.begin(), keys.end());
        std::vector<std::u16string> expectedKeys = {u"cmd", u"passwd", u"userid"};
        if (!row.sessionKey.empty()) {
            expectedKeys.insert(expectedKeys.begin(), u"brelo_sessionkey");
        }
        EXPECT_EQ(keys, expectedKeys);
        std::u16string value;
        EXPECT_TRUE(body.GetString(u"cmd", value) && value == u"auth");
        EXPECT_TRUE(body.GetString(u"userid", value) && value == row.expectedUserId);
        EXPECT_TRUE(body.GetString(u"passwd", value) && value == row.password.toStdU16String());
        if (!row.sessionKey.empty()) {
            EXPECT_TRUE(body.GetString(u"brelo_sessionkey", value) && value == row.sessionKey);
        }

        // A success keeps the reply's kid as the disk query's ticket; a failure keeps nothing.
        EXPECT_EQ(app::CAccountGlobals::Instance().diskTicket,
                  row.expectedResults.front() == app::kAuthSucceeded ? u"k1" : u"");

        // Success leaves the progress dialog at 100 with its new texts for the disk query;
        // failure hides it, stops its watchdog and brings the login form back.
        app::CAuthProgressDlg* progress = app::CAuthProgressDlg::Global();
        ASSERT_NE(progress, nullptr);
        if (row.expectedResults.front() == app::kAuthSucceeded) {
            EXPECT_EQ(progress->AuthStep(), 100);
            EXPECT_EQ(progress->AuthText(), QStringLiteral("인증 처리 완료"));
            EXPECT_EQ(progress->DiskText(), QStringLiteral("디스크 정보 가져오기..."));
            EXPECT_TRUE(progress->isVisible());
            EXPECT_FALSE(form.isVisible());
        } else {
            EXPECT_EQ(progress->AuthStep(), 90);
            EXPECT_FALSE(progress->isVisible());
            EXPECT_FALSE(progress->WatchdogActive());
            EXPECT_TRUE(form.isVisible());
            EXPECT_TRUE(form.handler.isNull());
        }
        ResetForNextRow();
    }
}

// The one test that waits for the watchdog's period: every message the conversation must
// ignore arrives, then the server falls silent.
TEST_F(AuthLoginTest, IgnoredMessagesLeaveTheLoginToTheWatchdog) {
    CTestLoginForm form;
    form.password->setText(QStringLiteral("pw"));
    form.show();
    const std::string success = "inform=auth&result=0&name=Demo&userno=7&kid=k1&eid=e1";
    CFakeDiskServer peer(15000);
    peer.custom("node query",
                [](int s, std::string& why) {
                    Bytes frame;
                    return readServiceFrame(s, frame, why);
                })
        // Addressed before the node address is known.
        .sendRaw(textReply("A/B", success))
        .sendRaw(serviceFrame(nodeAnswer("A/B")))
        .custom("request",
                [](int s, std::string& why) {
                    Bytes frame;
                    return readServiceFrame(s, frame, why);
                })
        .sendRaw(serviceFrame("ctrl=other&general=queryNodeAns&bodytype=0"))
        .sendRaw(serviceFrame("ctrl=general&general=queryNode&bodytype=0"))
        .sendRaw(serviceFrame("ctrl=general&general=queryNodeAns&parentname=hub&bodytype=0"))
        .sendRaw(textReply("B/A", success))
        .sendRaw(serviceFrame("to=A/B&bodytype=0", textBody(success)))
        .sendRaw(textReply("A/B", "inform=other&result=0&name=D&userno=7&kid=k1&eid=e1"))
        .expectClosed()
        .start();

    ASSERT_TRUE(form.Login(loopback(peer.port())));
    ASSERT_TRUE(waitFor([&] { return !form.results.empty(); }));
    settleEvents();
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(form.results, std::vector<LPARAM>{app::kAuthFailed});
    EXPECT_EQ(BoxTexts(), QStringList{kStalled});
    app::CAuthProgressDlg* progress = app::CAuthProgressDlg::Global();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->AuthStep(), 80);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(progress->WatchdogActive());
    EXPECT_TRUE(form.isVisible());
}

// A server that keeps sending frames the conversation ignores must not keep it "logging in":
// the frames do not re-arm the watchdog (here too long to end anything), and a few of them end
// the login as a stalled one.
TEST_F(AuthLoginTest, AFloodOfIgnoredFramesEndsTheLogin) {
    CTestLoginForm form;
    form.password->setText(QStringLiteral("pw"));
    form.show();
    constexpr int kFloodFrames = 64;
    CFakeDiskServer peer(15000);
    peer.custom("node query",
                [](int s, std::string& why) {
                    Bytes frame;
                    return readServiceFrame(s, frame, why);
                })
        .sendRaw(serviceFrame(nodeAnswer("A/B")))
        .custom("request",
                [](int s, std::string& why) {
                    Bytes frame;
                    return readServiceFrame(s, frame, why);
                })
        .custom("flood",
                [](int s, std::string&) {
                    // Until the client hangs up; a send error is that hang-up.
                    Bytes frame = serviceFrame("ctrl=general&general=queryNode&bodytype=0");
                    for (int i = 0; i < kFloodFrames; ++i) {
                        if (::send(s, frame.data(), frame.size(), MSG_NOSIGNAL) < 0) {
                            break;
                        }
                    }
                    return true;
                })
        .expectClosed()
        .start();

    ASSERT_TRUE(form.Login(loopback(peer.port())));
    app::CAuthProgressDlg* progress = app::CAuthProgressDlg::Global();
    ASSERT_NE(progress, nullptr);
    progress->SetWatchdogPeriod(600000);
    ASSERT_TRUE(waitFor([&] { return !form.results.empty(); }));
    settleEvents();
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(form.results, std::vector<LPARAM>{app::kAuthFailed});
    EXPECT_EQ(BoxTexts(), QStringList{kStalled});
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(progress->WatchdogActive());
    EXPECT_TRUE(form.isVisible());
}

// Only a step beyond every earlier one of the same login re-arms the watchdog; a new login
// starts counting again.
TEST_F(AuthLoginTest, OnlyProgressReArmsTheWatchdog) {
    struct Row {
        std::vector<int> before; // steps of the login so far
        int step;
        bool rearmed;
    };
    const Row rows[] = {
        {{20}, 30, true},
        {{20, 30, 45, 60, 70}, 60, false},
        {{20, 30, 45}, 45, false},
        {{20, 30, 45, 60, 70, 80}, 90, true},
        {{20, 30, 45, 80}, 70, false},
    };
    for (const Row& row : rows) {
        app::CAuthProgressDlg dialog;
        dialog.StartWatchdog();
        for (int step : row.before) {
            dialog.SetAuthStep(step);
        }
        dialog.StopWatchdog();
        dialog.SetAuthStep(row.step);
        EXPECT_EQ(dialog.WatchdogActive(), row.rearmed) << "step " << row.step;
        dialog.StopWatchdog();
        dialog.StartWatchdog();
        dialog.StopWatchdog();
        dialog.SetAuthStep(20);
        EXPECT_TRUE(dialog.WatchdogActive()) << "a new login after step " << row.step;
    }
}

TEST_F(AuthLoginTest, CancelButtonAbandonsTheLogin) {
    CTestLoginForm form;
    form.show();
    CFakeDiskServer peer;
    peer.custom("node query",
                [](int s, std::string& why) {
                    Bytes frame;
                    return readServiceFrame(s, frame, why);
                })
        .expectClosed()
        .start();
    ASSERT_TRUE(form.Login(loopback(peer.port())));
    app::CAuthProgressDlg* progress = app::CAuthProgressDlg::Global();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(waitFor([&] { return progress->AuthStep() == 45; }));
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("취소"));
    cancel->click();
    settleEvents();
    EXPECT_TRUE(peer.finish()) << "the connection closes with the abandoned login";
    EXPECT_EQ(form.results, std::vector<LPARAM>{app::kAuthFailed});
    EXPECT_TRUE(BoxTexts().isEmpty());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(progress->WatchdogActive());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(AuthLoginTest, UnknownServerNameGivesBothConnectBoxes) {
    auto previous = app::CHostResolver::SetLookup(
        [](const std::string&) { return std::vector<std::string>{}; });
    CTestLoginForm form;
    form.show();
    EXPECT_FALSE(form.Login({"auth.invalid", 10020}));
    app::CHostResolver::SetLookup(previous);
    EXPECT_EQ(BoxTexts(), (QStringList{QStringLiteral("연결 실패!"), QStringLiteral("연결 실패")}));
    EXPECT_TRUE(form.isVisible());
    ASSERT_NE(app::CAuthProgressDlg::Global(), nullptr);
    EXPECT_FALSE(app::CAuthProgressDlg::Global()->isVisible());
    EXPECT_FALSE(app::CAuthProgressDlg::Global()->WatchdogActive());
}

} // namespace
} // namespace tavik::test
