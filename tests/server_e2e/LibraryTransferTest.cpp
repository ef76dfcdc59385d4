// Whole-file and recursive transfers and the server copy, library against server.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"

#include "sdk/include/TavikSDK.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

std::string pattern(size_t size, unsigned seed = 7) {
    std::string bytes(size, '\0');
    uint32_t state = seed;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Progress callbacks carry no pointer of ours, so the tests share this state.
struct ProgressState {
    int notices = 0;
    DWORD lastPos = 0;
    int kind = -1;
    int* cancel = nullptr;
    DWORD cancelAt = 0;
    std::function<void()> onFirst;
};
ProgressState* gProgress = nullptr;

void onProgress(TAVIK_PROGRESS* progress) {
    ProgressState& state = *gProgress;
    ++state.notices;
    state.lastPos = progress->dwPos;
    state.kind = progress->nKind;
    if (state.cancel != nullptr && progress->dwPos >= state.cancelAt) {
        *state.cancel = 1;
    }
    if (state.onFirst) {
        auto first = std::move(state.onFirst);
        state.onFirst = nullptr;
        first();
    }
}

class LibraryTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness.running());
        session = tavik_CreateSession(u"127.0.0.1", harness.port(), u"demo", nullptr, 20000);
        ASSERT_NE(session, nullptr);
        gProgress = &progress;
    }
    void TearDown() override {
        gProgress = nullptr;
        if (session != nullptr) {
            tavik_DestroySession(session);
        }
    }
    TAVIK_TRANSFER transfer(const std::string& source, const std::string& destination,
                            uint32_t start, uint32_t end, BOOL trunc) {
        paths.push_back(source);
        paths.push_back(destination);
        TAVIK_TRANSFER t{};
        t.pszSrcPath = paths[paths.size() - 2].c_str();
        t.pszDstPath = paths.back().c_str();
        t.dwStartPos = start;
        t.dwEndPos = end;
        t.bTrunc = trunc;
        t.pfnProgress = onProgress;
        return t;
    }
    std::deque<std::string> paths;
    // Server copies may go to the second server of the copy test.
    CServerHarness harness{
        [](server::CServerConfig& config) { config.copyTargets = {"127.0.0.2"}; }};
    CTempFolder local;
    TAVIK_SESSION session = nullptr;
    ProgressState progress;
};

TEST_F(LibraryTransferTest, DownloadAndUploadOfBoundarySizesAreByteExact) {
    for (const size_t size :
         {size_t{0}, size_t{1}, size_t{65536}, size_t{65537}, size_t{3} * 1024 * 1024 + 5}) {
        SCOPED_TRACE(size);
        const std::string content = pattern(size, static_cast<unsigned>(size));
        writeFile(local.file("up.bin"), content);
        auto up =
            transfer(local.file("up.bin"), "/demo/file.bin", 0, static_cast<uint32_t>(size), 1);
        ASSERT_TRUE(tavik_Upload(session, &up, nullptr)) << tavik_GetLastError();
        EXPECT_EQ(readFile(harness.disk("file.bin")), content);

        auto down =
            transfer("/demo/file.bin", local.file("down.bin"), 0, static_cast<uint32_t>(size), 1);
        ASSERT_TRUE(tavik_Download(session, &down, nullptr)) << tavik_GetLastError();
        EXPECT_EQ(readFile(local.file("down.bin")), content);
        EXPECT_EQ(progress.lastPos, size);
    }
}

TEST_F(LibraryTransferTest, BothDirectionsResumeFromTheMiddle) {
    const std::string content = pattern(300000);
    writeFile(harness.disk("remote.bin"), content);
    writeFile(local.file("partial.bin"), content.substr(0, 120000));
    auto down = transfer("/demo/remote.bin", local.file("partial.bin"), 120000, 300000, 0);
    ASSERT_TRUE(tavik_Download(session, &down, nullptr));
    EXPECT_EQ(readFile(local.file("partial.bin")), content);

    writeFile(harness.disk("half.bin"), content.substr(0, 150000));
    writeFile(local.file("whole.bin"), content);
    auto up = transfer(local.file("whole.bin"), "/demo/half.bin", 150000, 300000, 0);
    ASSERT_TRUE(tavik_Upload(session, &up, nullptr));
    EXPECT_EQ(readFile(harness.disk("half.bin")), content);
}

// "istrunc" decides what becomes of the bytes past the uploaded range, whatever was there.
TEST_F(LibraryTransferTest, TruncatingUploadsCutWhatWasLongerAndOnlyThat) {
    ASSERT_TRUE(writeFile(local.file("ab"), "ab"));
    struct Row {
        const char* before; // nullptr: no file yet
        BOOL trunc;
        const char* after;
    };
    const Row rows[] = {
        {nullptr, 1, "ab"},      {"", 1, "ab"}, {"longer", 1, "ab"},
        {"longer", 0, "abnger"}, {"", 0, "ab"}, {nullptr, 0, "ab"},
    };
    int n = 0;
    for (const Row& row : rows) {
        const std::string name = "trunc" + std::to_string(++n);
        SCOPED_TRACE(name);
        if (row.before != nullptr) {
            ASSERT_TRUE(writeFile(harness.disk(name), row.before));
        }
        auto up = transfer(local.file("ab"), "/demo/" + name, 0, 2, row.trunc);
        ASSERT_TRUE(tavik_Upload(session, &up, nullptr)) << tavik_GetLastError();
        EXPECT_EQ(readFile(harness.disk(name)), row.after);
    }
}

// An upload that asks the server to commit it: the file takes its name and time only once every
// byte is there; an existing file is replaced only when asked, a folder never.
TEST_F(LibraryTransferTest, CommittedUploadsTakeTheirNameOnlyWhenWhole) {
    ASSERT_TRUE(writeFile(local.file("new.bin"), pattern(70000)));
    struct Row {
        const char* name;
        const char* before; // what the target is first: nullptr none, "/" a folder, else bytes
        BOOL replace;
        BOOL ok;
        BOOL committed;
        int lastError;
    };
    const Row rows[] = {
        {"a new name", nullptr, 0, 1, 1, 0},
        {"an existing file, replaced", "old", 1, 1, 1, 0},
        {"an existing file, not to be replaced", "old", 0, 0, 0, TAVIK_ERR_EXISTS},
        {"a folder", "/", 1, 0, 0, TAVIK_ERR_EXISTS},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = "t" + std::to_string(++n);
        const std::string target = harness.disk(name);
        if (row.before != nullptr && std::string(row.before) == "/") {
            fs::create_directory(target);
        } else if (row.before != nullptr) {
            writeFile(target, row.before);
        }
        const std::string part = "/demo/." + name + ".part";
        TAVIK_TRANSFER64 up{};
        up.pszSrcPath = paths.emplace_back(local.file("new.bin")).c_str();
        up.pszDstPath = part.c_str();
        up.qwEndPos = 70000;
        up.bTrunc = 1;
        BOOL committed = 7;
        EXPECT_EQ(tavik_UploadCommit64(session, &up, ("/demo/" + name).c_str(), 1700000000,
                                       row.replace, &committed, nullptr),
                  row.ok);
        EXPECT_EQ(committed, row.committed);
        EXPECT_EQ(tavik_GetLastError(), row.lastError);
        const std::string kept = harness.disk("." + name + ".part");
        if (row.committed) {
            EXPECT_EQ(readFile(target), pattern(70000));
            EXPECT_FALSE(fs::exists(kept));
            struct stat info {};
            ASSERT_EQ(::stat(target.c_str(), &info), 0);
            EXPECT_EQ(info.st_mtime, 1700000000);
        } else {
            // Nothing moved: the upload stays under its own name, the target as it was.
            EXPECT_EQ(readFile(kept), pattern(70000));
            EXPECT_EQ(fs::is_directory(target), std::string(row.before) == "/");
            if (!fs::is_directory(target)) {
                EXPECT_EQ(readFile(target), row.before);
            }
        }
    }
}

// The commit items from a client that did not offer the extension mean nothing; from one that
// did, they mean nothing either until the last byte has arrived.
TEST_F(LibraryTransferTest, CommitItemsCountOnlyWhenAgreedAndTheUploadIsWhole) {
    for (const bool offer : {false, true}) {
        SCOPED_TRACE(offer ? "offered, cut short" : "not offered");
        CTestClient client;
        ASSERT_TRUE(client.connect(harness.port()));
        auto login = CTestClient::request("setuser");
        login->SetString("id", "demo");
        login->SetString("pass", "");
        if (offer) {
            login->SetInt("uploadcommit", 1);
        }
        CPacket loginReply;
        ASSERT_EQ(client.call(*login, loginReply), 0);
        EXPECT_EQ(loginReply.GetInt("uploadcommit", 0), offer ? 1 : 0);
        const std::string name = offer ? "cut" : "plain";
        auto upload = CTestClient::request("upload");
        upload->SetString("path", ("/demo/." + name + ".part").c_str());
        upload->SetInt("startpos", 0);
        upload->SetInt("endpos", offer ? 10 : 4);
        upload->SetInt("istrunc", 1);
        upload->SetString("commitpath", ("/demo/" + name).c_str());
        upload->SetInt("committime", 1700000000);
        upload->SetInt("commitreplace", 1);
        CPacket first;
        ASSERT_EQ(client.call(*upload, first), 0);
        ASSERT_TRUE(client.sendRaw("abcd"));
        const std::string part = harness.disk("." + name + ".part");
        if (offer) {
            client.stream().close(); // 4 of 10 bytes, then gone
            // The server keeps what arrived; wait (bounded) until it has written it.
            for (int i = 0; i < 200 && readFile(part) != "abcd"; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else {
            CPacket closing;
            ASSERT_TRUE(client.receive(closing));
            EXPECT_EQ(closing.GetInt("error", -1), 0);
            EXPECT_EQ(closing.GetInt("committed", 0), 0);
        }
        EXPECT_EQ(readFile(part), "abcd");
        EXPECT_FALSE(fs::exists(harness.disk(name)));
    }
}

TEST_F(LibraryTransferTest, DownloadBeyondTheEndIsRefusedInTheFirstReply) {
    writeFile(harness.disk("short"), "abc");
    auto down = transfer("/demo/short", local.file("x"), 0, 4, 1);
    EXPECT_FALSE(tavik_Download(session, &down, nullptr));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(tavik_GetFileSize(u"/demo/short", session), 3);
}

TEST_F(LibraryTransferTest, CancelledTransfersLeaveASessionThatStillWorks) {
    const std::string content = pattern(4 * 1024 * 1024);
    writeFile(harness.disk("big"), content);
    int cancel = 0;
    progress.cancel = &cancel;
    progress.cancelAt = 65536;
    auto down =
        transfer("/demo/big", local.file("big"), 0, static_cast<uint32_t>(content.size()), 1);
    EXPECT_TRUE(tavik_Download(session, &down, &cancel));
    EXPECT_EQ(tavik_GetLastError(), 0);
    const auto kept = readFile(local.file("big"));
    EXPECT_LT(kept.size(), content.size());
    EXPECT_EQ(kept, content.substr(0, kept.size()));
    EXPECT_EQ(tavik_GetFileSize(u"/demo/big", session), static_cast<int>(content.size()));

    cancel = 0;
    writeFile(local.file("send"), content);
    auto up =
        transfer(local.file("send"), "/demo/sent", 0, static_cast<uint32_t>(content.size()), 1);
    EXPECT_TRUE(tavik_Upload(session, &up, &cancel));
    TAVIK_SERVERINFO info{};
    EXPECT_TRUE(tavik_GetServerInfo(&info, session));
    const std::string sent = readFile(harness.disk("sent"));
    EXPECT_LT(sent.size(), content.size());
    EXPECT_EQ(sent, content.substr(0, sent.size()));
}

TEST_F(LibraryTransferTest, ServerStoppedMidDownloadGivesSocketErrorAndANewServerIsReached) {
    const std::string content = pattern(8 * 1024 * 1024);
    writeFile(harness.disk("big"), content);
    progress.onFirst = [this] { harness.server().stop(); };
    auto down =
        transfer("/demo/big", local.file("big"), 0, static_cast<uint32_t>(content.size()), 1);
    EXPECT_FALSE(tavik_Download(session, &down, nullptr));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_SOCKET);
    const auto kept = readFile(local.file("big"));
    EXPECT_EQ(kept, content.substr(0, kept.size()));
    ASSERT_TRUE(harness.restart());
    EXPECT_EQ(tavik_GetFileSize(u"/demo/big", session), static_cast<int>(content.size()));
}

int skipOrResume(LPCWSTR source, DWORD, LPCWSTR, DWORD, DWORD) {
    const std::u16string name(source);
    if (name.find(u"skip") != std::u16string::npos) {
        return 0;
    }
    return name.find(u"resume") != std::u16string::npos ? TAVIK_CONFIRM_RESUME
                                                        : TAVIK_CONFIRM_OVERWRITE;
}

TEST_F(LibraryTransferTest, RecursiveUploadAndDownloadOfATreeWithAKoreanName) {
    fs::create_directories(local.file("tree/sub/deeper"));
    writeFile(local.file("tree/한글 파일.txt"), "korean");
    writeFile(local.file("tree/sub/a.bin"), pattern(70000));
    writeFile(local.file("tree/sub/deeper/empty"), "");
    const std::string source = local.file("tree");
    TAVIK_TRANSFER_EX up{};
    up.pszSrcPath = source.c_str();
    up.pszDstPath = "/demo/tree";
    up.pfnProgress = onProgress;
    ASSERT_TRUE(tavik_UploadEx(session, &up, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(readFile(harness.disk("tree/한글 파일.txt")), "korean");
    EXPECT_EQ(readFile(harness.disk("tree/sub/a.bin")), pattern(70000));
    EXPECT_TRUE(fs::is_regular_file(harness.disk("tree/sub/deeper/empty")));

    const std::string target = local.file("back");
    TAVIK_TRANSFER_EX down{};
    down.pszSrcPath = "/demo/tree";
    down.pszDstPath = target.c_str();
    down.pfnProgress = onProgress;
    ASSERT_TRUE(tavik_DownloadEx(session, &down, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(readFile(local.file("back/한글 파일.txt")), "korean");
    EXPECT_EQ(readFile(local.file("back/sub/a.bin")), pattern(70000));
    EXPECT_TRUE(fs::is_regular_file(local.file("back/sub/deeper/empty")));
}

TEST_F(LibraryTransferTest, ConfirmAnswersSkipAndResume) {
    fs::create_directories(harness.disk("src"));
    const std::string content = pattern(100000);
    writeFile(harness.disk("src/resume.bin"), content);
    writeFile(harness.disk("src/skip.bin"), "never");
    fs::create_directories(local.file("dst"));
    writeFile(local.file("dst/resume.bin"), content.substr(0, 40000));
    const std::string target = local.file("dst");
    TAVIK_TRANSFER_EX down{};
    down.pszSrcPath = "/demo/src";
    down.pszDstPath = target.c_str();
    down.pfnConfirm = skipOrResume;
    ASSERT_TRUE(tavik_DownloadEx(session, &down, nullptr));
    EXPECT_EQ(readFile(local.file("dst/resume.bin")), content);
    EXPECT_FALSE(fs::exists(local.file("dst/skip.bin")));
}

TEST_F(LibraryTransferTest, CopyExBetweenTwoServersWithProgress) {
    CServerHarness other({}, "127.0.0.2");
    if (!other.running()) {
        GTEST_SKIP() << "127.0.0.2 is not available";
    }
    const std::string content = pattern(1024 * 1024 + 3);
    writeFile(harness.disk("src.bin"), content);
    TAVIK_COPYHOST host{};
    host.pszIp = "127.0.0.2";
    host.nPort = other.port();
    host.pszId = "demo";
    host.pszPass = "";
    auto copy =
        transfer("/demo/src.bin", "/demo/copied.bin", 0, static_cast<uint32_t>(content.size()), 1);
    ASSERT_TRUE(tavik_CopyEx(session, &host, &copy, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(readFile(other.disk("copied.bin")), content);
    EXPECT_GT(progress.notices, 1);
    EXPECT_EQ(progress.lastPos, content.size());
    EXPECT_EQ(progress.kind, TAVIK_KIND_SERVER_COPY);
    // The session is still usable after the copy's closing reply.
    EXPECT_EQ(tavik_GetFileSize(u"/demo/src.bin", session), static_cast<int>(content.size()));
}

} // namespace
} // namespace tavik::test
