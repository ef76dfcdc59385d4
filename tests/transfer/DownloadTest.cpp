// tavik_Download against the scripted fake disk server: the announcing request, the raw data
// phase, the notices, the closing reply, and every way the transfer can end.
#include "tests/transfer/TransferFixture.h"

#include "sdk/core/CTrace.h"

#include <atomic>
#include <filesystem>
#include <poll.h>
#include <thread>

namespace tavik::test {
namespace {

class DownloadTest : public TransferTest {
protected:
    explicit DownloadTest(int stepTimeoutMs = 5000) : TransferTest(stepTimeoutMs) {}

    TAVIK_TRANSFER makeTransfer(const char* local, uint32_t start, uint32_t end, BOOL trunc = 1) {
        TAVIK_TRANSFER t{};
        t.pszSrcPath = "/disk/f.bin";
        t.pszDstPath = local;
        t.dwStartPos = start;
        t.dwEndPos = end;
        t.bTrunc = trunc;
        t.dwUser = 42;
        recorder.attach(t);
        return t;
    }
};

TEST_F(DownloadTest, WritesTheRangeAndNotifiesMessageFirstInBlocksOfAtMost64K) {
    std::vector<uint8_t> data = patternBytes(150000);
    server.expectLogin()
        .expect("download")
        .reply({{"error", 0}, {"errstr", "first"}})
        .sendRaw(data)
        .reply({{"error", 0}, {"errstr", "closing"}})
        .expect("getquota") // the connection is still the same one
        .reply({});
    connect();
    TAVIK_TRANSFER t = makeTransfer("\\dl\\f.bin", 0, 150000);
    std::filesystem::create_directory(root / "dl");
    markLastError();
    ASSERT_EQ(tavik_Download(session, &t, nullptr), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"first");
    EXPECT_TRUE(connectionOpen());
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());

    const CFakePacket& request = server.packet(1);
    EXPECT_EQ(request.str("path"), "/disk/f.bin");
    EXPECT_EQ(request.integer("startpos"), 0);
    EXPECT_EQ(request.integer("endpos"), 150000);
    EXPECT_FALSE(request.has("istrunc"));
    EXPECT_EQ(root.read("dl/f.bin"), asString(data));

    EXPECT_TRUE(recorder.messagesPrecedeCallbacks());
    std::vector<TAVIK_PROGRESS> notices = recorder.callbacks();
    ASSERT_GE(notices.size(), 4u); // at least three blocks and the end
    EXPECT_EQ(notices.front().dwPos, 0u);
    EXPECT_EQ(notices.back().dwPos, 150000u);
    for (size_t i = 0; i < notices.size(); ++i) {
        EXPECT_EQ(notices[i].hSession, session);
        EXPECT_EQ(notices[i].pTransfer, &t);
        EXPECT_EQ(notices[i].nKind, TAVIK_KIND_DOWNLOAD);
        EXPECT_EQ(notices[i].dwUser, 42u);
        EXPECT_EQ(notices[i].dwError, 0u);
        if (i > 0) {
            EXPECT_GE(notices[i].dwPos, notices[i - 1].dwPos);
            EXPECT_LE(notices[i].dwPos - notices[i - 1].dwPos, 65536u);
            EXPECT_GE(notices[i].dwElapsed, notices[i - 1].dwElapsed);
        }
    }
}

TEST_F(DownloadTest, EmptyRangeNotifiesOnceAndReadsTheClosingReply) {
    server.expectLogin()
        .expect("download")
        .reply({})
        .reply({})
        .expect("download")
        .reply({})
        .reply({{"error", 22006}, {"errstr", "limit"}})
        .expect("getquota")
        .reply({});
    connect();
    TAVIK_TRANSFER t = makeTransfer("\\a.bin", 5, 5);
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 1);
    ASSERT_EQ(recorder.callbacks().size(), 1u);
    EXPECT_EQ(recorder.callbacks()[0].dwPos, 5u);

    // The closing reply's error fails the call; its text is not taken; the connection stays.
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 22006);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"");
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST_F(DownloadTest, CancelKeepsTheBytesClosesTheConnectionAndTheNextCallLogsInAgain) {
    server.expectLogin()
        .expect("download")
        .reply({})
        .sendRaw(patternBytes(1000))
        .expectClosed()
        .acceptNext()
        .expectLogin()
        .expect("getquota")
        .reply({{"block", 512}, {"free", 3}, {"total", 9}});
    connect();
    int cancel = 0;
    size_t noticesAtCancel = 0;
    recorder.onCallback = [&](const TAVIK_PROGRESS& p, size_t count) {
        if (p.dwPos >= 1000 && cancel == 0) {
            cancel = 1;
            noticesAtCancel = count;
        }
    };
    TAVIK_TRANSFER t = makeTransfer("\\c.bin", 0, 5000);
    markLastError();
    EXPECT_EQ(tavik_Download(session, &t, &cancel), 1);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_FALSE(connectionOpen());
    EXPECT_EQ(recorder.callbacks().size(), noticesAtCancel + 1);
    EXPECT_EQ(recorder.callbacks().back().dwError, 0u);
    EXPECT_EQ(root.read("c.bin"), asString(patternBytes(1000)));

    TAVIK_DISKSPACE space{};
    EXPECT_EQ(tavik_GetDiskSpace(&space, session), 1);
    EXPECT_EQ(space.dwBlock, 512u);
    ASSERT_TRUE(server.finish());
}

TEST_F(DownloadTest, TracesTheStartAndTheEndOfTheTransferWithItsOutcome) {
    root.write("tavik2.ini", "TRACE_BL_LEVEL 1\nTRACE_BL_KEY transfer\nTRACE_BL_LOG \\t.log\n");
    CTrace::instance().LoadTraceSettings((root / "tavik2.ini").c_str());
    server.expectLogin()
        .expect("download")
        .reply({})
        .sendRaw(patternBytes(300))
        .reply({{"error", 23001}})
        .expect("download")
        .reply({})
        .sendRaw(patternBytes(100))
        .expectClosed();
    connect();
    TAVIK_TRANSFER t = makeTransfer("\\a.bin", 0, 300);
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    int cancel = 0;
    recorder.onCallback = [&](const TAVIK_PROGRESS& p, size_t) { cancel = p.dwPos >= 100; };
    t = makeTransfer("\\b.bin", 0, 200);
    EXPECT_EQ(tavik_Download(session, &t, &cancel), 1);
    CTrace::instance().Reset();
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(root.read("t.log"),
              "transfer(1): download /disk/f.bin -> \\a.bin [0, 300) started\n"
              "transfer(1): download /disk/f.bin -> \\a.bin [0, 300) ended at 300, error 23001\n"
              "transfer(1): download /disk/f.bin -> \\b.bin [0, 200) started\n"
              "transfer(1): download /disk/f.bin -> \\b.bin [0, 200) ended at 100, cancelled, "
              "error 0\n");
}

TEST_F(DownloadTest, FailedLocalWriteGives23002AndClosesTheConnection) {
    // Every write to the full device fails, after the open and the seek succeed.
    std::filesystem::create_symlink("/dev/full", root / "full");
    server.expectLogin().expect("download").reply({}).sendRaw(patternBytes(10)).expectClosed();
    connect();
    TAVIK_TRANSFER t = makeTransfer("\\full", 0, 10);
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 23002);
    EXPECT_FALSE(connectionOpen());
    ASSERT_FALSE(recorder.callbacks().empty());
    EXPECT_EQ(recorder.callbacks().back().dwError, 23002u);
    ASSERT_TRUE(server.finish());
}

TEST_F(DownloadTest, ConnectionLostInTheDataPhaseGives21002) {
    server.expectLogin().expect("download").reply({}).sendRaw(patternBytes(10)).close();
    connect();
    TAVIK_TRANSFER t = makeTransfer("\\lost.bin", 0, 100);
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 21002);
    EXPECT_FALSE(connectionOpen());
    EXPECT_EQ(recorder.callbacks().back().dwError, 21002u);
    EXPECT_EQ(recorder.callbacks().back().dwPos, 10u);
    ASSERT_TRUE(server.finish());
}

TEST_F(DownloadTest, TruncFlagZeroKeepsTheTailAndOneRewritesTheFile) {
    root.write("t.bin", "0123456789");
    server.expectLogin()
        .expect("download")
        .reply({})
        .sendRaw({'a', 'b', 'c'})
        .reply({})
        .expect("download")
        .reply({})
        .sendRaw({'x', 'y', 'z'})
        .reply({});
    connect();
    TAVIK_TRANSFER keep = makeTransfer("\\t.bin", 2, 5, 0);
    EXPECT_EQ(tavik_Download(session, &keep, nullptr), 1);
    EXPECT_EQ(root.read("t.bin"), "01abc56789");
    TAVIK_TRANSFER anew = makeTransfer("/t.bin", 2, 5, 1);
    EXPECT_EQ(tavik_Download(session, &anew, nullptr), 1);
    EXPECT_EQ(root.read("t.bin"), std::string("\0\0xyz", 5));
    ASSERT_TRUE(server.finish());
}

TEST_F(DownloadTest, DataHookSeesEachBlockBeforeItIsWritten) {
    server.expectLogin().expect("download").reply({}).sendRaw({1, 2, 3, 4}).reply({});
    connect();
    static std::vector<std::pair<DWORD, DWORD>> seen; // (count, position)
    seen.clear();
    TAVIK_TRANSFER t = makeTransfer("\\h.bin", 10, 14);
    t.pfnData = [](void* buffer, DWORD count, DWORD position, DWORD user) {
        EXPECT_EQ(user, 42u);
        seen.emplace_back(count, position);
        for (DWORD i = 0; i < count; ++i) {
            static_cast<uint8_t*>(buffer)[i] ^= 0xFF;
        }
    };
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 1);
    std::string written = root.read("h.bin");
    ASSERT_EQ(written.size(), 14u);
    EXPECT_EQ(written.substr(10), "\xFE\xFD\xFC\xFB");
    ASSERT_FALSE(seen.empty());
    DWORD next = 10;
    for (auto [count, position] : seen) {
        EXPECT_EQ(position, next);
        next += count;
    }
    EXPECT_EQ(next, 14u);
    ASSERT_TRUE(server.finish());
}

TEST_F(DownloadTest, AnotherThreadOnTheSameSessionWaitsForTheWholeDataPhase) {
    server.expectLogin()
        .expect("download")
        .reply({})
        .sendRaw(patternBytes(10))
        .custom("the client stays silent during the data phase",
                [](int socket, std::string& why) {
                    pollfd p{socket, POLLIN, 0};
                    if (::poll(&p, 1, 500) != 0) {
                        why = "the client sent during the data phase";
                        return false;
                    }
                    return true;
                })
        .sendRaw(patternBytes(10, 2))
        .reply({})
        .expect("getquota")
        .reply({{"block", 1}});
    connect();
    std::thread other;
    std::atomic<int> otherResult{-1};
    recorder.onCallback = [&](const TAVIK_PROGRESS&, size_t count) {
        if (count == 1) {
            // Had the lock been released, this request would land in the middle of the file's
            // bytes and read them as its reply.
            other = std::thread([&] { otherResult = tavik_GetDiskSpace(nullptr, session); });
        }
    };
    TAVIK_TRANSFER t = makeTransfer("\\m.bin", 0, 20);
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 1);
    ASSERT_TRUE(other.joinable());
    other.join();
    EXPECT_EQ(otherResult, 1);
    std::vector<uint8_t> expected = patternBytes(10);
    std::vector<uint8_t> tail = patternBytes(10, 2);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(root.read("m.bin"), asString(expected));
    ASSERT_TRUE(server.finish());
}

TEST_F(DownloadTest, BadArgumentsAndLocalOpenFailuresSendNothing) {
    server.expectLogin().expect("getquota").reply({});
    connect();
    std::filesystem::create_directory(root / "folder");
    // A missing record names no text of its own: the previous text stays, for every transfer.
    tavik_SetLastErrStr(u"before");
    EXPECT_EQ(tavik_Download(session, nullptr, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    EXPECT_EQ(tavik_Upload(session, nullptr, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    EXPECT_EQ(tavik_DownloadEx(session, nullptr, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"before");

    TAVIK_TRANSFER t = makeTransfer("\\folder", 0, 10);
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 23002);

    std::string longPath = "\\" + std::string(510, 'a');
    t.pszDstPath = longPath.c_str();
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    t.pszDstPath = nullptr;
    EXPECT_EQ(tavik_Download(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);

    // A null session never touches the local file.
    TAVIK_TRANSFER orphan = makeTransfer("\\never.bin", 0, 10);
    EXPECT_EQ(tavik_Download(nullptr, &orphan, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_FALSE(std::filesystem::exists(root / "never.bin"));

    EXPECT_TRUE(recorder.all.empty());
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packets().size(), 2u); // the login and the quota only
}

// Each receive waits 5 s; the server's steps get longer than that.
class SilentServerTest : public DownloadTest {
protected:
    SilentServerTest() : DownloadTest(20000) {}
};

TEST_F(SilentServerTest, WithoutATimeOutKeepsNotifyingWithTheSamePositionUntilCancelled) {
    server.expectLogin().expect("download").reply({}).sendRaw(patternBytes(100)).expectClosed();
    connect();
    tavik_SetSessionTimeout(session, -1); // the explorer's sessions: only the cancel ends a wait
    int cancel = 0;
    size_t atHundred = 0;
    recorder.onCallback = [&](const TAVIK_PROGRESS& p, size_t) {
        if (p.dwPos == 100 && ++atHundred == 2) {
            cancel = 1; // the second notice after a whole wait without data
        }
    };
    TAVIK_TRANSFER t = makeTransfer("\\s.bin", 0, 1000);
    EXPECT_EQ(tavik_Download(session, &t, &cancel), 1);
    EXPECT_EQ(atHundred, 3u); // two during the silence, one after the cancel
    EXPECT_EQ(recorder.callbacks().back().dwPos, 100u);
    EXPECT_FALSE(connectionOpen());
    ASSERT_TRUE(server.finish());
}

// With a session time-out, a data phase in which nothing moves for that long gives up, in either
// direction: 21002 with the text "time-out", the connection closed, what arrived kept.
class StalledStreamTest : public TransferTest {};

TEST_F(StalledStreamTest, GivesUpAfterTheSessionTimeOutWithoutProgress) {
    struct Row {
        const char* name;
        bool upload;
    };
    for (const Row row : {Row{"download", false}, Row{"upload", true}}) {
        SCOPED_TRACE(row.name);
        // The upload's file is larger than what the loopback socket buffers can hold, so that the
        // sends stop while the server reads nothing.
        const size_t uploadSize = 64u << 20;
        CFakeDiskServer peer;
        if (row.upload) {
            peer.expectLogin().expect("upload").reply({}).stall(4000);
        } else {
            peer.expectLogin()
                .expect("download")
                .reply({})
                .sendRaw(patternBytes(100))
                .expectClosed();
        }
        peer.start();
        TAVIK_SESSION stalled = tavik_CreateSession(peer.host(), peer.port(), u"bob", nullptr, 300);
        ASSERT_NE(stalled, nullptr);
        if (row.upload) {
            root.write("big.bin", std::string(uploadSize, 'u'));
        }
        TAVIK_TRANSFER t{};
        t.pszSrcPath = row.upload ? "\\big.bin" : "/disk/f.bin";
        t.pszDstPath = row.upload ? "/disk/big.bin" : "\\got.bin";
        t.dwEndPos = row.upload ? static_cast<uint32_t>(uploadSize) : 1000;
        t.bTrunc = 1;
        recorder.all.clear();
        recorder.attach(t);
        int cancel = 0;
        const BOOL ok =
            row.upload ? tavik_Upload(stalled, &t, &cancel) : tavik_Download(stalled, &t, &cancel);
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(tavik_GetLastError(), 21002);
        EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"time-out");
        EXPECT_FALSE(static_cast<CSession*>(stalled)->connection.IsOpen());
        ASSERT_FALSE(recorder.callbacks().empty());
        EXPECT_EQ(recorder.callbacks().back().dwError, 21002u);
        if (!row.upload) {
            EXPECT_EQ(root.read("got.bin"), asString(patternBytes(100)));
        }
        tavik_DestroySession(stalled);
        EXPECT_TRUE(peer.finish());
    }
}

} // namespace
} // namespace tavik::test
