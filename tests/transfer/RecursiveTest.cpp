// tavik_DownloadEx and tavik_UploadEx: folders, the per-file confirmation and the paths they
// build, against the scripted fake disk server.
#include "sdk/ops/CRecursiveTransfer.h"
#include "tests/transfer/TransferFixture.h"

#include <filesystem>

namespace tavik::test {
namespace {

// One "getfileinfo" reply entry.
struct Entry {
    std::string path;
    int32_t size;
    int32_t type; // 1 folder
};

std::vector<FakeItem> listing(const std::vector<Entry>& entries) {
    std::vector<FakeItem> items{{"num", static_cast<int32_t>(entries.size())}};
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string n = std::to_string(i + 1);
        items.emplace_back("p" + n, entries[i].path);
        items.emplace_back("s" + n, entries[i].size);
        items.emplace_back("t" + n, entries[i].type);
        items.emplace_back("d" + n, "2026-12-07 06:00");
    }
    return items;
}

struct ConfirmCall {
    std::u16string source;
    DWORD sourceSize;
    std::u16string destination;
    DWORD destinationSize;
    DWORD user;
};

class RecursiveTest : public TransferTest {
protected:
    static int confirm(LPCWSTR source, DWORD sourceSize, LPCWSTR destination, DWORD destinationSize,
                       DWORD user) {
        calls.push_back({source, sourceSize, destination, destinationSize, user});
        return answer;
    }
    void SetUp() override {
        calls.clear();
        answer = 1;
    }
    TAVIK_TRANSFER_EX makeTransfer(const char* src, const char* dst, bool withConfirm = true) {
        TAVIK_TRANSFER_EX t{};
        t.pszSrcPath = src;
        t.pszDstPath = dst;
        t.pfnConfirm = withConfirm ? &RecursiveTest::confirm : nullptr;
        t.dwConfirmUser = 77;
        recorder.attach(t);
        return t;
    }
    static inline std::vector<ConfirmCall> calls;
    static inline int answer = 1;
};

TEST_F(RecursiveTest, FolderDownloadSkipsItselfAndEveryEntryOutsideTheSourceFolder) {
    server.expectLogin()
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir", 0, 1}}))
        .expect("getfileinfo")
        .reply(listing({
            {"/disk/dir", 0, 1},                // the folder itself
            {"/disk/dir/a.txt", 3, 0},          // a file
            {"/disk/dir/../../evil.txt", 4, 0}, // climbs out
            {"/disk/dir/x/..", 4, 0},           // climbs back to the folder
            {"/disk/other/b.txt", 4, 0},        // another folder
            {"/disk/dirx/c.txt", 4, 0},         // same prefix, not inside
            {"/disk/dir/sub", 0, 1},            // a subfolder
        }))
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir/a.txt", 3, 0}}))
        .expect("download")
        .reply({})
        .sendRaw({'a', 'b', 'c'})
        .reply({})
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir/sub", 0, 1}}))
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir/sub", 0, 1}}));
    connect();
    std::filesystem::create_directory(root / "out");
    TAVIK_TRANSFER_EX t = makeTransfer("/disk/dir", "\\out\\dir");
    EXPECT_EQ(tavik_DownloadEx(session, &t, nullptr), 1);
    ASSERT_TRUE(server.finish());

    EXPECT_EQ(server.packet(1).str("path"), "/disk/dir");
    EXPECT_EQ(server.packet(1).integer("infotype"), 63);
    EXPECT_EQ(server.packet(1).integer("recursivelevel"), 0);
    EXPECT_EQ(server.packet(2).integer("recursivelevel"), 1);
    EXPECT_EQ(server.packet(4).str("path"), "/disk/dir/a.txt");
    EXPECT_EQ(server.packet(4).integer("endpos"), 3);

    EXPECT_EQ(root.read("out/dir/a.txt"), "abc");
    EXPECT_TRUE(std::filesystem::is_directory(root / "out/dir/sub"));
    size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root.path())) {
        files += e.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 1u);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].source, u"/disk/dir/a.txt");
    EXPECT_EQ(calls[0].sourceSize, 3u);
    EXPECT_EQ(calls[0].destination, u"\\out\\dir\\a.txt"); // '/' from the server became '\'
    EXPECT_EQ(calls[0].destinationSize, TAVIK_NO_DESTINATION);
    EXPECT_EQ(calls[0].user, 77u);
    EXPECT_TRUE(recorder.messagesPrecedeCallbacks());
    EXPECT_EQ(recorder.callbacks().back().dwPos, 3u);
}

TEST_F(RecursiveTest, ChildDestinationRules) {
    auto dest = [](const char16_t* src, const char16_t* entry) {
        return CRecursiveTransfer::childDestination(src, u"\\d", entry).value_or(u"-");
    };
    EXPECT_EQ(dest(u"/a", u"/a/b/c"), u"\\d\\b\\c");
    EXPECT_EQ(dest(u"/a/", u"/a/b"), u"\\d\\b"); // never "\\db", beside the destination
    EXPECT_EQ(dest(u"/a", u"/a/b..c/..d"), u"\\d\\b..c\\..d");
    EXPECT_EQ(dest(u"/a", u"/a"), u"-");
    EXPECT_EQ(dest(u"/a", u"/ab"), u"-");
    EXPECT_EQ(dest(u"/a", u"/b/a"), u"-");
    EXPECT_EQ(dest(u"/a", u"/a/.."), u"-");
    EXPECT_EQ(dest(u"/a", u"/a\\..\\x"), u"-");
    EXPECT_EQ(dest(u"/a", u"/a/b/../../x"), u"-");
}

TEST_F(RecursiveTest, ConfirmAnswersChooseAnewResumeOrSkip) {
    root.write("long.bin", "XXXXXXXX");
    root.write("part.bin", "ab");
    server
        .expectLogin()
        // answer 1: the whole file anew over a longer local file
        .expect("getfileinfo")
        .reply(listing({{"/disk/f", 3, 0}}))
        .expect("download")
        .reply({})
        .sendRaw({'a', 'b', 'c'})
        .reply({})
        // answer 2: resume from the local size
        .expect("getfileinfo")
        .reply(listing({{"/disk/f", 5, 0}}))
        .expect("download")
        .reply({})
        .sendRaw({'c', 'd', 'e'})
        .reply({})
        // answer 2 without a local file: from 0
        .expect("getfileinfo")
        .reply(listing({{"/disk/f", 2, 0}}))
        .expect("download")
        .reply({})
        .sendRaw({'n', 'o'})
        .reply({})
        // any other answer: skipped
        .expect("getfileinfo")
        .reply(listing({{"/disk/f", 2, 0}}))
        .expect("getquota")
        .reply({});
    connect();
    answer = 1;
    TAVIK_TRANSFER_EX anew = makeTransfer("/disk/f", "\\long.bin");
    EXPECT_EQ(tavik_DownloadEx(session, &anew, nullptr), 1);
    EXPECT_EQ(root.read("long.bin"), "abc");
    answer = 2;
    TAVIK_TRANSFER_EX resume = makeTransfer("/disk/f", "\\part.bin");
    EXPECT_EQ(tavik_DownloadEx(session, &resume, nullptr), 1);
    EXPECT_EQ(root.read("part.bin"), "abcde");
    TAVIK_TRANSFER_EX fresh = makeTransfer("/disk/f", "\\new.bin");
    EXPECT_EQ(tavik_DownloadEx(session, &fresh, nullptr), 1);
    EXPECT_EQ(root.read("new.bin"), "no");
    answer = 0;
    TAVIK_TRANSFER_EX skipped = makeTransfer("/disk/f", "\\skip.bin");
    EXPECT_EQ(tavik_DownloadEx(session, &skipped, nullptr), 1);
    EXPECT_FALSE(std::filesystem::exists(root / "skip.bin"));
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());

    EXPECT_EQ(server.packet(2).integer("startpos"), 0);
    EXPECT_EQ(server.packet(4).integer("startpos"), 2);
    EXPECT_EQ(server.packet(4).integer("endpos"), 5);
    EXPECT_EQ(server.packet(6).integer("startpos"), 0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].destinationSize, 8u);
    EXPECT_EQ(calls[1].destinationSize, 2u);
    EXPECT_EQ(calls[2].destinationSize, TAVIK_NO_DESTINATION);
}

TEST_F(RecursiveTest, DownloadOfAPathTheServerDoesNotListOnceFails) {
    server.expectLogin()
        .expect("getfileinfo")
        .reply(listing({}))
        .expect("getfileinfo")
        .reply({{"error", 23006}, {"errstr", "no such file"}});
    connect();
    TAVIK_TRANSFER_EX t = makeTransfer("/disk/none", "\\none");
    EXPECT_EQ(tavik_DownloadEx(session, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 23006);
    EXPECT_EQ(tavik_DownloadEx(session, &t, nullptr), 0);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"no such file");
    EXPECT_EQ(tavik_DownloadEx(nullptr, &t, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24002);
    EXPECT_EQ(tavik_DownloadEx(session, nullptr, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 24001);
    ASSERT_TRUE(server.finish());
    EXPECT_FALSE(std::filesystem::exists(root / "none"));
}

TEST_F(RecursiveTest, FolderUploadWalksTheLocalTreeWithRemoteSeparators) {
    std::filesystem::create_directories(root / "up/sub");
    root.write("up/sub/b.txt", "xyz");
    server.expectLogin()
        .expect("createdir")
        .reply({{"error", 23005}}) // already there: ignored
        .expect("createdir")
        .reply({})
        .expect("getlength")
        .reply({{"error", 23006}})
        .expect("upload")
        .reply({})
        .recvRaw(3)
        .reply({});
    connect();
    TAVIK_TRANSFER_EX t = makeTransfer("\\up\\", "/disk/up");
    EXPECT_EQ(tavik_UploadEx(session, &t, nullptr), 1);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("fullpath"), "/disk/up");
    EXPECT_EQ(server.packet(2).str("fullpath"), "/disk/up/sub");
    EXPECT_EQ(server.packet(3).str("filename"), "/disk/up/sub/b.txt");
    EXPECT_EQ(server.packet(4).str("path"), "/disk/up/sub/b.txt");
    EXPECT_EQ(server.packet(4).integer("istrunc"), 1);
    EXPECT_EQ(server.rawReceived()[0], (std::vector<uint8_t>{'x', 'y', 'z'}));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].source, u"\\up\\sub\\b.txt");
    EXPECT_EQ(calls[0].destination, u"/disk/up/sub/b.txt");
    EXPECT_EQ(calls[0].destinationSize, TAVIK_NO_DESTINATION);
}

TEST_F(RecursiveTest, UploadResumesFromTheRemoteSizeAndRefusesAMissingSource) {
    root.write("r.txt", "hello");
    server.expectLogin()
        .expect("getlength")
        .reply({{"size", 2}})
        .expect("upload")
        .reply({})
        .recvRaw(3)
        .reply({});
    connect();
    answer = 2;
    TAVIK_TRANSFER_EX t = makeTransfer("\\r.txt", "/disk/r.txt");
    EXPECT_EQ(tavik_UploadEx(session, &t, nullptr), 1);
    TAVIK_TRANSFER_EX missing = makeTransfer("\\gone.txt", "/disk/gone.txt");
    EXPECT_EQ(tavik_UploadEx(session, &missing, nullptr), 0);
    EXPECT_EQ(tavik_GetLastError(), 23006);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(2).integer("startpos"), 2);
    EXPECT_EQ(server.packet(2).integer("endpos"), 5);
    EXPECT_EQ(server.packet(2).integer("istrunc"), 0);
    EXPECT_EQ(server.rawReceived()[0], (std::vector<uint8_t>{'l', 'l', 'o'}));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].sourceSize, 5u);
    EXPECT_EQ(calls[0].destinationSize, 2u);
}

TEST_F(RecursiveTest, CancelStopsTheFolderWalk) {
    server.expectLogin()
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir", 0, 1}}))
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir/a", 1, 0}, {"/disk/dir/b", 1, 0}}))
        .expect("getfileinfo")
        .reply(listing({{"/disk/dir/a", 1, 0}}))
        .expect("download")
        .reply({})
        .sendRaw({'1'})
        .expectClosed()
        .acceptNext()
        .expectLogin()
        .expect("getquota")
        .reply({});
    connect();
    int cancel = 0;
    recorder.onCallback = [&](const TAVIK_PROGRESS& p, size_t) {
        if (p.dwPos == 1) {
            cancel = 1; // during the first file: it stops, and "b" must not start
        }
    };
    TAVIK_TRANSFER_EX t = makeTransfer("/disk/dir", "\\dir", false);
    EXPECT_EQ(tavik_DownloadEx(session, &t, &cancel), 1);
    EXPECT_EQ(root.read("dir/a"), "1");
    EXPECT_FALSE(std::filesystem::exists(root / "dir/b"));
    EXPECT_EQ(tavik_GetDiskSpace(nullptr, session), 1);
    ASSERT_TRUE(server.finish());
}

} // namespace
} // namespace tavik::test
