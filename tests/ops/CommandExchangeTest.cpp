// The calling pattern every operation shares: the session check, the reply's error and text, the
// single re-login and retry, argument conversion and the request flags.
#include "tests/ops/OpsFixture.h"

#include "sdk/ops/CommandExchange.h"
#include "tests/support/CFakePacket.h"

namespace tavik::test {
namespace {

class CommandExchangeTest : public OpsTest {};

TEST_F(CommandExchangeTest, NullSessionFailsWithItsOwnTextAndSendsNothing) {
    markLastError();
    EXPECT_EQ(tavik_MakeFolder(u"/disk/a", nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(lastText(), u"invalid session handle");

    markLastError();
    EXPECT_EQ(tavik_GetFileSize(u"/disk/a", nullptr), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);

    // The session is checked before the arguments are converted.
    EXPECT_EQ(tavik_MakeFolder(nullptr, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(lastText(), u"invalid session handle");
}

TEST_F(CommandExchangeTest, ReplyWithoutErrorOrWithOddSizedErrorCountsAsSuccess) {
    server.expectLogin()
        .expect("createdir")
        .reply({{"other", 1}})
        .expect("createdir")
        .reply({FakeItem::data("error", {0x01, 0x00}), {"errstr", "note"}})
        .expect("createdir")
        .reply({{"error", "23005"}});
    connect();

    markLastError();
    EXPECT_EQ(tavik_MakeFolder(u"/disk/a", session), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(lastText(), u"");

    markLastError();
    EXPECT_EQ(tavik_MakeFolder(u"/disk/b", session), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(lastText(), u"note");

    EXPECT_EQ(tavik_MakeFolder(u"/disk/c", session), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    ASSERT_TRUE(server.finish());
}

TEST_F(CommandExchangeTest, ServerErrorAndAnsiTextBecomeTheLastError) {
    // "폴더 있음" in CP949.
    const std::string cp949 = "\xC6\xFA\xB4\xF5 \xC0\xD6\xC0\xBD";
    server.expectLogin()
        .expect("getlength")
        .reply({{"error", 23005}, {"errstr", cp949}, {"size", 12}})
        .expect("getlength")
        .reply({{"size", 12}});
    connect();

    EXPECT_EQ(tavik_GetFileSize(u"/disk/a", session), -1);
    EXPECT_EQ(tavik_GetLastError(), 23005);
    EXPECT_EQ(lastText(), u"폴더 있음");

    // The next success resets both.
    EXPECT_EQ(tavik_GetFileSize(u"/disk/a", session), 12);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(lastText(), u"");
    ASSERT_TRUE(server.finish());
}

TEST_F(CommandExchangeTest, ClosedConnectionLogsInAgainAndRetriesOnce) {
    server.expectLogin("/disk", 1)
        .acceptNext()
        .expectLogin("/other", 2)
        .expect("getlength")
        .reply({{"size", 99}});
    connect();
    sessionObject().connection.Close();

    EXPECT_EQ(tavik_GetFileSize(u"/disk/f", session), 99);
    EXPECT_EQ(tavik_GetLastError(), 0);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.connectionsAccepted(), 2);
    ASSERT_EQ(server.packets().size(), 3u);
    EXPECT_EQ(server.packet(1).cmd(), "setuser");
    EXPECT_EQ(server.packet(2).str("filename"), "/disk/f");
    // The new login's values replace the old ones.
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"/other");
}

TEST_F(CommandExchangeTest, RetryThatFailsAgainGivesSocketErrorWithoutThirdAttempt) {
    server.expectLogin().acceptNext().expectLogin().expect("createdir").close();
    connect();
    sessionObject().connection.Close();

    EXPECT_EQ(tavik_MakeFolder(u"/disk/a", session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_SOCKET);
    EXPECT_EQ(lastText(), u"socket error");
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.connectionsAccepted(), 2);
}

// The session's time-out bounds the whole command: an exchange that used it all up is not
// followed by a re-login and a second full wait.
TEST(CommandExchangeBudget, AnExchangeThatUsedUpTheTimeOutIsNotRetried) {
    // The script waits for a second connection that must never come; a short step time-out ends
    // it (it then reports that step as failed, which is the point).
    CFakeDiskServer server(3000);
    server.expectLogin()
        .expect("getlength")
        .expectClosed()
        .acceptNext()
        .expectLogin()
        .expect("getlength");
    server.start();
    TAVIK_SESSION session = tavik_CreateSession(server.host(), server.port(), u"bob", nullptr, 300);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(tavik_GetFileSize(u"/disk/f", session), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_SOCKET);
    tavik_DestroySession(session);
    (void)server.finish();
    EXPECT_EQ(server.connectionsAccepted(), 1) << "logged in again after the time-out";
}

// Fault loop: the reply is cut after every possible byte count. Each run must end in the
// retried command's success (a cut first reply) or in "socket error" (both replies cut), and
// never in a wrong value, a hang or a third attempt.
TEST(CommandExchangeFaults, ReplyCutAtEveryByteEndsInSuccessOrSocketError) {
    const std::vector<uint8_t> whole = CFakePacket(2, {{"error", 0}, {"size", 99}}).encode();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        for (bool retryCutToo : {false, true}) {
            SCOPED_TRACE("cut at " + std::to_string(cut) + (retryCutToo ? ", twice" : ""));
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
            CFakeDiskServer server;
            server.expectLogin().expect("getlength").sendRaw(part).close();
            server.acceptNext().expectLogin().expect("getlength");
            if (retryCutToo) {
                server.sendRaw(part).close();
            } else {
                server.sendRaw(whole);
            }
            server.start();
            TAVIK_SESSION session =
                tavik_CreateSession(server.host(), server.port(), u"bob", nullptr, 5000);
            ASSERT_NE(session, nullptr);
            const int size = tavik_GetFileSize(u"/disk/f", session);
            if (retryCutToo) {
                EXPECT_EQ(size, -1);
                EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_SOCKET);
            } else {
                EXPECT_EQ(size, 99);
                EXPECT_EQ(tavik_GetLastError(), 0);
            }
            tavik_DestroySession(session);
            ASSERT_TRUE(server.finish());
            EXPECT_EQ(server.connectionsAccepted(), 2);
        }
    }
}

TEST_F(CommandExchangeTest, FailedReconnectReportsItsOwnError) {
    server.expectLogin();
    connect();
    ASSERT_TRUE(server.finish()); // the fake server no longer listens: connects are refused
    sessionObject().connection.Close();

    markLastError();
    EXPECT_EQ(tavik_GetFileSize(u"/disk/a", session), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_CONNECT_FAIL);
    EXPECT_EQ(lastText(), u"connect fail..");

    markLastError();
    EXPECT_EQ(tavik_DeleteFile(u"/disk/a", 1, session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_CONNECT_FAIL);

    sessionObject().port = 0;
    EXPECT_EQ(tavik_MakeFolder(u"/disk/a", session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_SOCKET);
    EXPECT_EQ(lastText(), u"socket info error");
}

TEST_F(CommandExchangeTest, TextArgumentsAreLimitedByTheirAnsiLength) {
    server.expectLogin()
        .expect("createdir")
        .reply({})
        .expect("createdir")
        .reply({})
        .expect("renamefile")
        .reply({});
    connect();

    // 510 bytes fit the conversion buffer with the two NULs; 511 do not.
    EXPECT_EQ(tavik_MakeFolder(std::u16string(510, u'a').c_str(), session), 1);
    markLastError();
    EXPECT_EQ(tavik_MakeFolder(std::u16string(511, u'a').c_str(), session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(lastText(), u"wrong parameter");

    // The limit counts ANSI bytes: each Hangul syllable takes two in CP949.
    EXPECT_EQ(tavik_MakeFolder(std::u16string(255, u'가').c_str(), session), 1);
    EXPECT_EQ(tavik_MakeFolder(std::u16string(256, u'가').c_str(), session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);

    // A refused second argument stops the request too.
    EXPECT_EQ(tavik_RenameFile(u"/a", std::u16string(600, u'b').c_str(), session), 0);
    EXPECT_EQ(tavik_RenameFile(u"/a", nullptr, session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);

    // Empty texts still travel, as one NUL byte.
    EXPECT_EQ(tavik_RenameFile(u"", u"", session), 1);
    ASSERT_TRUE(server.finish());
    ASSERT_EQ(server.packets().size(), 4u);
    EXPECT_EQ(server.packet(1).str("fullpath")->size(), 510u);
    EXPECT_EQ(server.packet(2).str("fullpath")->size(), 510u);
    EXPECT_EQ(server.packet(3).bytes("oldpath"), std::vector<uint8_t>{0});
    EXPECT_EQ(server.packet(3).bytes("newpath"), std::vector<uint8_t>{0});
}

TEST_F(CommandExchangeTest, OnlyReadAndWriteRequestsTravelUnscrambled) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 3}})
        .expect("readfile")
        .reply({{"size", 0}})
        .expect("writefile")
        .reply({{"size", 1}})
        .expect("seekfile")
        .reply({{"size", 0}})
        .expect("closefile")
        .reply({});
    connect();
    TAVIK_FILE* file = tavik_FileOpen(u"/disk/f", 0, session);
    ASSERT_NE(file, nullptr);
    uint8_t buffer[4];
    EXPECT_EQ(tavik_FileRead(file, buffer, 4), 0);
    EXPECT_EQ(tavik_FileWrite(file, "x", 1), 1);
    EXPECT_EQ(tavik_FileSeek(file, 0, 0), 0);
    EXPECT_EQ(tavik_FileClose(file), 1);
    ASSERT_TRUE(server.finish());
    ASSERT_EQ(server.packets().size(), 6u);
    const uint32_t expected[] = {2, 2, 0, 0, 2, 2};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(server.packet(i).flags, expected[i]) << server.packet(i).cmd();
        // Header bytes 4-7 hold the flags on the wire.
        EXPECT_EQ(server.packet(i).raw.at(4), expected[i]) << server.packet(i).cmd();
    }
}

TEST_F(CommandExchangeTest, UnscrambledReadRequestOnTheWire) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 0x0102}})
        .expect("readfile")
        .reply({{"size", 0}});
    connect();
    TAVIK_FILE* file = tavik_FileOpen(u"/f", 0, session);
    ASSERT_NE(file, nullptr);
    uint8_t buffer[0x30];
    EXPECT_EQ(tavik_FileRead(file, buffer, 0x30), 0);
    ASSERT_TRUE(server.finish());
    const std::vector<uint8_t>& raw = server.packet(2).raw;
    // Body: "_cmd" 6+4+9, "size" 6+4+4, "fd" 6+2+4 = 45 bytes.
    ASSERT_EQ(raw.size(), 16u + 45u);
    EXPECT_EQ(std::vector<uint8_t>(raw.begin() + 4, raw.begin() + 12),
              (std::vector<uint8_t>{0, 0, 0, 0, 45, 0, 0, 0}));
    const std::vector<uint8_t> size = {4, 0, 's', 'i', 'z', 'e', 4, 0, 0, 0, 0x30, 0, 0, 0};
    const std::vector<uint8_t> fd = {2, 0, 'f', 'd', 4, 0, 0, 0, 0x02, 0x01, 0, 0};
    const std::vector<uint8_t> cmd = {4,   0,   '_', 'c', 'm', 'd', 9,   0,   0, 0,
                                      'r', 'e', 'a', 'd', 'f', 'i', 'l', 'e', 0};
    for (const auto& item : {size, fd, cmd}) {
        EXPECT_NE(std::search(raw.begin() + 16, raw.end(), item.begin(), item.end()), raw.end());
    }
    tavik_FileClose(file); // nothing listens any more; only frees the handle
}

} // namespace
} // namespace tavik::test
