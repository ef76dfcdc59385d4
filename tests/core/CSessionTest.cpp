// Sessions through their exports, against the scripted fake server: what the login sends, what
// the reply leaves in the session and in the last error, and how failures end.
#include "sdk/core/CSession.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSessionRegistry.h"
#include "sdk/include/TavikSDK.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik {
namespace {

using test::CFakeDiskServer;
using test::CFakePacket;
using test::FakeItem;

constexpr int kBudget = 3000;

std::u16string lastText() {
    return tavik_GetLastErrStr();
}

// Puts a recognisable value into the last-error store.
void markLastError(int code, const char16_t* text) {
    tavik_SetLastError(code);
    tavik_SetLastErrStr(text);
}

class SessionTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (TAVIK_SESSION handle : opened_) {
            tavik_DestroySession(handle);
        }
    }
    TAVIK_SESSION create(const CFakeDiskServer& server, const char16_t* user,
                         const char16_t* password, int timeout = kBudget) {
        TAVIK_SESSION handle =
            tavik_CreateSession(server.host(), server.port(), user, password, timeout);
        if (handle != nullptr) {
            opened_.push_back(handle);
        }
        return handle;
    }
    std::vector<TAVIK_SESSION> opened_;
};

TEST_F(SessionTest, LoginSendsTheSetuserItemsAndKeepsTheReply) {
    CFakeDiskServer server;
    server.expect("setuser")
        .reply({{"error", 0},
                {"errstr", "welcome"},
                {"path", "/disk/bob"},
                {"mode", 7},
                {"openurl", "http://x/y"},
                {"msg", "hello"}})
        .start();
    markLastError(5, u"old");
    TAVIK_SESSION session = create(server, u"bob", nullptr);
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(server.finish());

    const CFakePacket& login = server.packet(0);
    EXPECT_EQ(login.flags, 2u);
    EXPECT_EQ(login.str("id"), "bob");
    // A null password still sends the item: one NUL byte.
    EXPECT_EQ(login.bytes("pass"), std::vector<uint8_t>{0});
    EXPECT_EQ(login.integer("timeout"), 60000);
    EXPECT_EQ(login.str("version"), "2.12.06.1");
    EXPECT_EQ(login.bytes("authtype"), std::vector<uint8_t>{0});
    // The six original items, and the large-file and upload-commit offers that a server may
    // ignore.
    EXPECT_EQ(login.integer("largefile"), 1);
    EXPECT_EQ(login.integer("uploadcommit"), 1);
    EXPECT_EQ(login.items.size(), 8u);

    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"/disk/bob");
    EXPECT_EQ(tavik_GetSessionMode(session), 7);
    EXPECT_EQ(std::u16string(tavik_GetSessionOpenUrl(session)), u"http://x/y");
    EXPECT_EQ(std::u16string(tavik_GetSessionMessage(session)), u"hello");
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(lastText(), u"welcome");
}

TEST_F(SessionTest, ReplyWithoutOptionalItemsGivesModeThreeAndEmptyTexts) {
    CFakeDiskServer server;
    server.expect("setuser").reply({}).start();
    markLastError(5, u"old");
    TAVIK_SESSION session = create(server, u"bob", u"pw");
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(0).str("pass"), "pw");
    EXPECT_EQ(tavik_GetSessionMode(session), 3);
    ASSERT_NE(tavik_GetSessionPath(session), nullptr);
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"");
    EXPECT_EQ(std::u16string(tavik_GetSessionOpenUrl(session)), u"");
    EXPECT_EQ(std::u16string(tavik_GetSessionMessage(session)), u"");
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(lastText(), u"");
}

TEST_F(SessionTest, TextsTravelInTheAnsiCodePage) {
    CFakeDiskServer server;
    // "디스크" in CP949.
    server.expect("setuser").reply({{"path", "/\xB5\xF0\xBD\xBA\xC5\xA9"}}).start();
    TAVIK_SESSION session = create(server, u"\uD64D", u"p");
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(0).str("id"), "\xC8\xAB");
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"/\uB514\uC2A4\uD06C");
}

TEST_F(SessionTest, ServerErrorBecomesTheLastErrorAndNoSessionIsLeft) {
    CFakeDiskServer server;
    server.expect("setuser")
        .reply({{"error", 22002}, {"errstr", "wrong passwd"}, {"path", "/p"}})
        .expectClosed()
        .start();
    size_t before = CSessionRegistry::instance().Count();
    EXPECT_EQ(create(server, u"bob", u"bad"), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 22002);
    EXPECT_EQ(lastText(), u"wrong passwd");
    EXPECT_EQ(CSessionRegistry::instance().Count(), before);
    // The failed session's socket was closed with it.
    ASSERT_TRUE(server.finish());
}

TEST_F(SessionTest, AuthTypeInTheReplyUpdatesTheSessionButFailsTheLogin) {
    CFakeDiskServer server;
    server.expect("setuser")
        .reply({{"error", 0}, {"authtype", "otp"}, {"path", "/new"}, {"mode", 2}, {"msg", "m"}})
        .expectClosed()
        .start();
    CSession session;
    session.host = u"127.0.0.1";
    session.port = server.port();
    session.user = u"bob";
    session.timeout = kBudget;
    Result<Done> result = ConnectAndLogin(session);
    EXPECT_FALSE(result);
    ASSERT_TRUE(result.report());
    EXPECT_EQ(result.report()->code, 0);
    EXPECT_EQ(session.path, u"/new");
    EXPECT_EQ(session.mode, 2);
    EXPECT_EQ(session.message, u"m");
    EXPECT_EQ(session.openUrl, u"");
    EXPECT_FALSE(session.connection.IsOpen());
    ASSERT_TRUE(server.finish());
    // Without the flag the login sends no "timeout" item.
    EXPECT_FALSE(server.packet(0).has("timeout"));
}

TEST_F(SessionTest, AuthTypeThroughTheExportFailsWithLastErrorZero) {
    CFakeDiskServer server;
    server.expect("setuser").reply({{"authtype", "otp"}}).start();
    markLastError(5, u"old");
    EXPECT_EQ(create(server, u"bob", nullptr), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(lastText(), u"");
    ASSERT_TRUE(server.finish());
}

TEST_F(SessionTest, ConnectionProblemsGiveTheirOwnErrors) {
    EXPECT_EQ(tavik_CreateSession(u"", 9553, u"u", nullptr, -1), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 21002);
    EXPECT_EQ(lastText(), u"socket info error");
    EXPECT_EQ(tavik_CreateSession(nullptr, 9553, u"u", nullptr, -1), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 21002);
    EXPECT_EQ(tavik_CreateSession(u"127.0.0.1", 0, u"u", nullptr, -1), nullptr);
    EXPECT_EQ(lastText(), u"socket info error");

    CFakeDiskServer gone;
    gone.stall(1).start();
    ASSERT_TRUE(gone.finish());
    EXPECT_EQ(create(gone, u"u", nullptr), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 21001);
    EXPECT_EQ(lastText(), u"connect fail..");

    CFakeDiskServer silent;
    silent.expect("setuser").close().start();
    EXPECT_EQ(create(silent, u"u", nullptr), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 21002);
    EXPECT_EQ(lastText(), u"socket error");
    ASSERT_TRUE(silent.finish());
}

TEST_F(SessionTest, OverlongTextsAreRefusedWithWrongParameter) {
    std::u16string host(255, u'h');
    EXPECT_EQ(tavik_CreateSession(host.c_str(), 9553, u"u", nullptr, -1), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    EXPECT_EQ(lastText(), u"wrong parameter");
    std::u16string user(511, u'u');
    EXPECT_EQ(tavik_CreateSession(u"127.0.0.1", 9553, user.c_str(), nullptr, -1), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    // A Hangul syllable takes two bytes in the code page: 256 of them are 512 bytes.
    std::u16string password(256, u'\uD64D');
    EXPECT_EQ(tavik_CreateSession(u"127.0.0.1", 9553, u"u", password.c_str(), -1), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24001);

    // The longest accepted values go out whole.
    CFakeDiskServer server;
    server.expectLogin().start();
    std::u16string longest(510, u'u');
    std::u16string longestPassword(255, u'\uD64D');
    ASSERT_NE(create(server, longest.c_str(), longestPassword.c_str()), nullptr);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(0).str("id")->size(), 510u);
    EXPECT_EQ(server.packet(0).str("pass")->size(), 510u);
}

TEST_F(SessionTest, DestroyTwiceAndUnregisteredHandlesGiveInvalidHandle) {
    CFakeDiskServer server;
    server.expectLogin().expectClosed().start();
    TAVIK_SESSION session = tavik_CreateSession(server.host(), server.port(), u"u", nullptr, -1);
    ASSERT_NE(session, nullptr);
    tavik_SetLastErrStr(u"kept");
    tavik_DestroySession(session);
    // Destroying closed the connection without sending anything.
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packets().size(), 1u);
    markLastError(0, u"kept");
    tavik_DestroySession(session);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_EQ(lastText(), u"kept");

    int stranger = 0;
    markLastError(0, u"kept");
    EXPECT_EQ(tavik_GetSessionPath(&stranger), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    markLastError(0, u"kept");
    EXPECT_EQ(tavik_GetSessionMode(&stranger), 0);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    markLastError(0, u"kept");
    EXPECT_EQ(tavik_GetSessionOpenUrl(nullptr), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    markLastError(0, u"kept");
    EXPECT_EQ(tavik_GetSessionMessage(&stranger), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    markLastError(0, u"kept");
    tavik_SetSessionTimeout(&stranger, 5);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_EQ(lastText(), u"kept");
}

TEST_F(SessionTest, CreateVXSessionDoesNothing) {
    markLastError(777, u"untouched");
    _VXTAVIK_HOSTINFO info{u"127.0.0.1", 9553};
    EXPECT_EQ(tavik_CreateVXSession(&info, u"u", u"p", -1), nullptr);
    EXPECT_EQ(tavik_CreateVXSession(nullptr, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 777);
    EXPECT_EQ(lastText(), u"untouched");
}

TEST_F(SessionTest, DuplicateCopiesTheSettingsAndLogsInAgain) {
    CFakeDiskServer server;
    server.expectLogin("/first", 1).acceptNext().expectLogin("/second", 4).start();
    TAVIK_SESSION first = create(server, u"bob", u"pw", 1234);
    ASSERT_NE(first, nullptr);
    TAVIK_SESSION copy = tavik_DuplicateSession(first);
    ASSERT_NE(copy, nullptr);
    opened_.push_back(copy);
    ASSERT_TRUE(server.finish());
    EXPECT_NE(copy, first);
    EXPECT_EQ(server.packet(1).str("id"), "bob");
    EXPECT_EQ(server.packet(1).str("pass"), "pw");
    EXPECT_EQ(server.packet(1).integer("timeout"), 60000);
    EXPECT_EQ(static_cast<CSession*>(copy)->timeout, 1234);
    EXPECT_EQ(static_cast<CSession*>(copy)->port, server.port());
    // The reply's values belong to each session's own login.
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(first)), u"/first");
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(copy)), u"/second");
    EXPECT_EQ(tavik_GetSessionMode(copy), 4);

    markLastError(0, u"kept");
    EXPECT_EQ(tavik_DuplicateSession(nullptr), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_EQ(lastText(), u"kept");
    // A destroyed handle is refused the same way instead of being read after its free.
    tavik_DestroySession(first);
    opened_.erase(opened_.begin());
    markLastError(0, u"kept");
    EXPECT_EQ(tavik_DuplicateSession(first), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_EQ(lastText(), u"kept");
}

TEST_F(SessionTest, SetTimeoutChangesTheBudgetOfTheNextExchange) {
    CFakeDiskServer server;
    server.expectLogin()
        .expect("slow")
        .expectClosed()
        .acceptNext()
        .expectLogin()
        .expect("slow")
        .stall(200)
        .reply({{"error", 0}})
        .start();
    TAVIK_SESSION handle = create(server, u"bob", nullptr);
    ASSERT_NE(handle, nullptr);
    CSession& session = *static_cast<CSession*>(handle);
    CPacket request(2);
    request.SetString("_cmd", "slow");
    CPacket reply(2);

    tavik_SetSessionTimeout(handle, 0);
    EXPECT_EQ(session.timeout, 0);
    EXPECT_FALSE(Exchange(session, request, reply));

    tavik_SetSessionTimeout(handle, -1);
    ASSERT_TRUE(ConnectAndLogin(session));
    EXPECT_TRUE(Exchange(session, request, reply));
    ASSERT_TRUE(server.finish());
}

TEST_F(SessionTest, AClosedSessionLogsInAgainAndTakesTheNewReply) {
    CFakeDiskServer server;
    server.expectLogin("/before", 1)
        .expect("ping")
        .close()
        .acceptNext()
        .expectLogin("/after", 2)
        .expect("ping")
        .reply({{"error", 0}})
        .start();
    TAVIK_SESSION handle = create(server, u"bob", nullptr);
    ASSERT_NE(handle, nullptr);
    CSession& session = *static_cast<CSession*>(handle);
    CPacket request(2);
    request.SetString("_cmd", "ping");
    CPacket reply(2);
    EXPECT_FALSE(Exchange(session, request, reply));
    EXPECT_FALSE(session.connection.IsOpen());
    ASSERT_TRUE(ConnectAndLogin(session));
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(handle)), u"/after");
    EXPECT_EQ(tavik_GetSessionMode(handle), 2);
    EXPECT_TRUE(Exchange(session, request, reply));
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(2).cmd(), "setuser");
}

// The login's reply cut short at every byte, then ended by a close or a reset: each run must
// end in a clean failure with "socket error" (or, with the whole reply, in success), never in a
// hang, a crash or a session left behind.
TEST_F(SessionTest, LoginSurvivesTheConnectionEndingAtAnyPoint) {
    std::vector<uint8_t> reply =
        CFakePacket(2, {{"error", 0}, {"path", "/disk"}, {"mode", 1}}).encode();
    size_t before = CSessionRegistry::instance().Count();
    for (size_t cut = 0; cut <= reply.size(); ++cut) {
        for (bool reset : {false, true}) {
            CFakeDiskServer server;
            server.expect("setuser").sendRaw(
                std::vector<uint8_t>(reply.begin(), reply.begin() + cut));
            if (reset) {
                server.reset();
            } else {
                server.close();
            }
            server.start();
            markLastError(-7, u"before");
            TAVIK_SESSION session = create(server, u"u", nullptr);
            ASSERT_TRUE(server.finish());
            if (cut == reply.size()) {
                EXPECT_NE(session, nullptr);
                EXPECT_EQ(tavik_GetLastError(), 0);
            } else {
                EXPECT_EQ(session, nullptr) << "cut at " << cut;
                EXPECT_EQ(tavik_GetLastError(), 21002) << "cut at " << cut;
                EXPECT_EQ(lastText(), u"socket error");
            }
        }
    }
    // Only the two complete logins are registered.
    EXPECT_EQ(CSessionRegistry::instance().Count(), before + 2);
}

TEST_F(SessionTest, LoginSurvivesTheServerVanishingBeforeReading) {
    for (bool reset : {false, true}) {
        CFakeDiskServer server;
        server.acceptNext();
        if (reset) {
            server.reset();
        } else {
            server.close();
        }
        server.start();
        EXPECT_EQ(create(server, u"u", nullptr), nullptr);
        EXPECT_EQ(tavik_GetLastError(), 21002);
        ASSERT_TRUE(server.finish());
    }
}

} // namespace
} // namespace tavik
