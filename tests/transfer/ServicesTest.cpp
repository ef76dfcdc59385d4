// The server services and the server-to-server copy against the scripted fake disk server, and
// the command-result text built from untrusted "retlen"/"result" items.
#include "sdk/ops/ServerServices.h"
#include "tests/transfer/TransferFixture.h"

#include <cstring>

namespace tavik::test {
namespace {

using ServicesTest = TransferTest;

TEST_F(ServicesTest, ServerInfoFillsPresentFieldsAndDefaultsTheVersion) {
    server.expectLogin()
        .expect("getserverinfo")
        .reply({{"nCurrentNum", 3},
                {"nDownNum", 4},
                {"nUpNum", 5},
                {"nStartTime", 1700000000},
                {"Version", "2.1"}})
        .expect("getserverinfo")
        .reply({{"nCurrentNum", 9}, FakeItem::data("nDownNum", {1, 2})})
        .expect("getserverinfo")
        .reply({{"error", 21004}, {"Version", "x"}});
    connect();
    TAVIK_SERVERINFO info{};
    ASSERT_EQ(tavik_GetServerInfo(&info, session), 1);
    EXPECT_EQ(info.nCurrentNum, 3);
    EXPECT_EQ(info.nDownNum, 4);
    EXPECT_EQ(info.nUpNum, 5);
    EXPECT_EQ(info.nStartTime, 1700000000);
    EXPECT_STREQ(info.szVersion, "2.1");

    // Missing or wrongly sized numbers leave the caller's values; no "Version" gives "Unknown".
    ASSERT_EQ(tavik_GetServerInfo(&info, session), 1);
    EXPECT_EQ(info.nCurrentNum, 9);
    EXPECT_EQ(info.nDownNum, 4);
    EXPECT_EQ(info.nUpNum, 5);
    EXPECT_STREQ(info.szVersion, "Unknown");

    std::strcpy(info.szVersion, "kept");
    EXPECT_EQ(tavik_GetServerInfo(&info, session), 0);
    EXPECT_EQ(tavik_GetLastError(), 21004);
    EXPECT_STREQ(info.szVersion, "kept");
    EXPECT_EQ(tavik_GetServerInfo(nullptr, session), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packets().size(), 4u);
    EXPECT_EQ(server.packet(1).items.size(), 1u); // "_cmd" only
}

TEST_F(ServicesTest, DiskSpaceSendsTheSessionUserAndStoresThreeWords) {
    server.expectLogin()
        .expect("getquota")
        .reply({{"block", 4096}, {"free", 10}, {"total", -1}})
        .expect("getquota")
        .reply({{"free", 1}})
        .expect("getquota")
        .reply({});
    connect();
    TAVIK_DISKSPACE space{7, 7, 7};
    ASSERT_EQ(tavik_GetDiskSpace(&space, session), 1);
    EXPECT_EQ(space.dwBlock, 4096u);
    EXPECT_EQ(space.dwFree, 10u);
    EXPECT_EQ(space.dwTotal, 0xFFFFFFFFu);
    ASSERT_EQ(tavik_GetDiskSpace(&space, session), 1);
    EXPECT_EQ(space.dwBlock, 0u); // absent items read as 0
    EXPECT_EQ(space.dwFree, 1u);
    EXPECT_EQ(space.dwTotal, 0u);
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    EXPECT_EQ(tavik_GetDiskSpace(&space, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("id"), "bob");
}

TEST_F(ServicesTest, CheckVirusChangeDirAndTheirFailures) {
    server.expectLogin()
        .expect("checkvirus")
        .reply({{"result", 2}})
        .expect("checkvirus")
        .reply({})
        .expect("checkvirus")
        .reply({{"error", 23001}, {"result", 5}})
        .expect("changedir")
        .reply({})
        .expect("changedir")
        .reply({{"error", 23008}});
    connect();
    EXPECT_EQ(tavik_CheckVirus(u"/disk/\uD55C.exe", session), 2);
    EXPECT_EQ(tavik_CheckVirus(u"/disk/b", session), 0);
    EXPECT_EQ(tavik_CheckVirus(u"/disk/c", session), -1);
    EXPECT_EQ(tavik_GetLastError(), 23001);
    EXPECT_EQ(tavik_CheckVirus(nullptr, session), -1);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    EXPECT_EQ(tavik_ChangeDir(u"sub", session), 1);
    EXPECT_EQ(tavik_ChangeDir(u"file", session), 0);
    EXPECT_EQ(tavik_GetLastError(), 23008);
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"/disk"); // not changed
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("filename"), "/disk/\xC7\xD1.exe"); // CP949
    EXPECT_EQ(server.packet(4).str("name"), "sub");
}

TEST_F(ServicesTest, OpenCmdRegistersEveryTextUntilItIsClosedOnce) {
    server.expectLogin()
        .expect("remotecmd")
        .reply({{"retlen", 6}, FakeItem::data("result", {'h', 'e', 'l', 'l', 'o', 0})})
        .expect("remotecmd")
        .reply({{"retlen", 0}})
        .expect("remotecmd")
        .reply({{"error", 21004}, {"retlen", 2}, FakeItem::data("result", {'x', 0})});
    connect();
    const char* hello = tavik_OpenCmd(u"ls -l", session);
    ASSERT_NE(hello, nullptr);
    EXPECT_STREQ(hello, "hello");
    const char* empty = tavik_OpenCmd(u"true", session);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(tavik_OpenCmd(u"false", session), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 21004);

    EXPECT_EQ(tavik_GetCmd(hello), hello);
    EXPECT_EQ(tavik_CloseCmd(empty), 1);
    markLastError();
    EXPECT_EQ(tavik_CloseCmd(empty), 0);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"before");
    EXPECT_EQ(tavik_GetCmd(empty), nullptr);
    const char notOurs[] = "text";
    EXPECT_EQ(tavik_GetCmd(notOurs), nullptr);
    EXPECT_EQ(tavik_CloseCmd(nullptr), 0);
    EXPECT_EQ(tavik_CloseCmd(hello), 1);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("command"), "ls -l");
    EXPECT_EQ(server.packet(1).integer("getresult"), 1);
}

// The reply items are the server's: no "retlen" can make the text reach past "result".
TEST(CommandResultText, StaysWithinTheResultItem) {
    auto text = [](std::optional<int32_t> retlen, std::vector<uint8_t> result) {
        CPacket reply;
        if (retlen) {
            reply.SetInt("retlen", *retlen);
        }
        if (!result.empty()) {
            reply.SetData("result", result.data(), static_cast<uint32_t>(result.size()));
        }
        return commandResultText(reply);
    };
    std::vector<uint8_t> abc{'a', 'b', 'c', 0};
    EXPECT_EQ(text(4, abc), "abc");
    EXPECT_EQ(text(0x7FFFFFFF, abc), "abc");           // oversized: bounded by the item
    EXPECT_EQ(text(100, {'a', 'b', 'c'}), "ab");       // no NUL: the last byte is its place
    EXPECT_EQ(text(3, {'a', 'b', 'c', 'd', 0}), "ab"); // longer than retlen: cut
    EXPECT_EQ(text(100, {}), "");                      // no result
    EXPECT_EQ(text(-5, abc), "");
    EXPECT_EQ(text(std::nullopt, abc), "abc");           // no retlen: the whole text
    EXPECT_EQ(text(std::nullopt, {'a', 'b'}), "ab");     // no retlen, no NUL
    EXPECT_EQ(text(6, {'a', 0, 'b', 'c', 'd', 0}), "a"); // a text ends at its first NUL
    EXPECT_EQ(text(1, abc), "");
}

class CopyExTest : public TransferTest {
protected:
    TAVIK_TRANSFER makeTransfer(uint32_t start, uint32_t end) {
        TAVIK_TRANSFER t{};
        t.pszSrcPath = "/disk/a.bin";
        t.pszDstPath = "/other/a.bin";
        t.dwStartPos = start;
        t.dwEndPos = end;
        t.bTrunc = 1;
        t.dwUser = 99; // not used by the copy
        recorder.attach(t);
        return t;
    }
    TAVIK_COPYHOST host{"10.0.0.2", 9553, "alice", "secret"};
};

TEST_F(CopyExTest, FirstWordAtTheEndNotifiesOnceAndReadsTheClosingReply) {
    server.expectLogin()
        .expect("copyex")
        .reply({{"errstr", "copying"}})
        .sendRaw({0x03, 0x02, 0x01, 0x00}) // 0x00010203 little-endian
        .reply({{"error", 23007}})         // the closing reply's error is not used
        .expect("getquota")
        .reply({});
    connect();
    TAVIK_TRANSFER t = makeTransfer(16, 0x00010203);
    EXPECT_EQ(tavik_CopyEx(session, &host, &t, nullptr), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"copying");
    ASSERT_EQ(recorder.callbacks().size(), 1u);
    EXPECT_TRUE(recorder.messagesPrecedeCallbacks());
    TAVIK_PROGRESS p = recorder.callbacks()[0];
    EXPECT_EQ(p.dwPos, 0x00010203u);
    EXPECT_EQ(p.nKind, TAVIK_KIND_SERVER_COPY);
    EXPECT_EQ(p.dwUser, 0u);
    EXPECT_EQ(p.pTransfer, &t);
    EXPECT_EQ(p.hSession, session);
    EXPECT_TRUE(connectionOpen());
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());

    const CFakePacket& r = server.packet(1);
    EXPECT_EQ(r.str("ip"), "10.0.0.2");
    EXPECT_EQ(r.integer("port"), 9553);
    EXPECT_EQ(r.str("id"), "alice");
    EXPECT_EQ(r.str("pass"), "secret");
    EXPECT_EQ(r.str("srcpath"), "/disk/a.bin");
    EXPECT_EQ(r.str("destpath"), "/other/a.bin");
    EXPECT_EQ(r.integer("startpos"), 16);
    EXPECT_EQ(r.integer("endpos"), 0x00010203);
    EXPECT_EQ(r.integer("istrunc"), 1);
}

TEST_F(CopyExTest, CancelWhilePositionsArriveStopsAfterTheNextWord) {
    server.expectLogin()
        .expect("copyex")
        .reply({})
        .sendRaw({100, 0, 0, 0})
        .sendRaw({200, 0, 0, 0})
        .expectClosed()
        .acceptNext()
        .expectLogin()
        .expect("getquota")
        .reply({});
    connect();
    int cancel = 0;
    recorder.onCallback = [&](const TAVIK_PROGRESS& p, size_t) {
        if (p.dwPos == 100) {
            cancel = 1;
        }
    };
    TAVIK_TRANSFER t = makeTransfer(0, 1000);
    markLastError();
    EXPECT_EQ(tavik_CopyEx(session, &host, &t, &cancel), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    ASSERT_EQ(recorder.callbacks().size(), 1u);
    EXPECT_FALSE(connectionOpen());
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());
}

TEST_F(CopyExTest, MissingWordOrClosingReplyGives21002) {
    server.expectLogin()
        .expect("copyex")
        .reply({})
        .sendRaw({10, 0, 0, 0, 20, 0}) // a word and a half, then the server goes away
        .close()
        .acceptNext()
        .expectLogin()
        .expect("copyex")
        .reply({})
        .sendRaw({0xE8, 0x03, 0, 0}) // 1000: the end, but no closing reply follows
        .close();
    connect();
    TAVIK_TRANSFER t = makeTransfer(0, 1000);
    EXPECT_EQ(tavik_CopyEx(session, &host, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 21002);
    EXPECT_FALSE(connectionOpen());
    ASSERT_EQ(recorder.callbacks().size(), 1u);
    EXPECT_EQ(recorder.callbacks()[0].dwPos, 10u);

    EXPECT_EQ(tavik_CopyEx(session, &host, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 21002);
    EXPECT_EQ(recorder.callbacks().back().dwPos, 1000u);
    EXPECT_FALSE(connectionOpen());

    EXPECT_EQ(tavik_CopyEx(session, nullptr, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    EXPECT_EQ(tavik_CopyEx(session, &host, nullptr, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    ASSERT_TRUE(server.finish());
}

} // namespace
} // namespace tavik::test
