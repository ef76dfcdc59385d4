// File-information lists, the directory cursor and the single-file queries, against the fake
// disk server.
#include "tests/ops/OpsFixture.h"

#include <climits>

namespace tavik::test {
namespace {

class FileInfoTest : public OpsTest {};

TEST_F(FileInfoTest, ListHoldsEveryAskedFieldOfEveryEntry) {
    server.expectLogin()
        .expect("getfileinfo")
        .reply({{"num", 2},
                {"p1", "/disk/docs"},
                {"s1", 0},
                {"t1", 1},
                {"d1", "2026-12-07 06:00"},
                {"p2", "/disk/\xB0\xA1.txt"}, // "가" in CP949
                {"s2", -2},
                {"t2", 0},
                {"d2", "2026-12-07 06:01"}});
    connect();

    int count = -5;
    TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(u"/disk", 62, 1, &count, session);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(list->nCount, 2);
    TAVIK_FILEINFO* first = tavik_ReadFileInfo(list, 0);
    TAVIK_FILEINFO* second = tavik_ReadFileInfo(list, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::u16string(first->pszName), u"/disk/docs");
    EXPECT_EQ(first->dwType, 1u);
    EXPECT_EQ(std::u16string(first->pszDate), u"2026-12-07 06:00");
    EXPECT_EQ(std::u16string(second->pszName), u"/disk/가.txt");
    EXPECT_EQ(second->dwSize, 0xFFFFFFFEu);
    EXPECT_EQ(second->dwType, 0u);
    EXPECT_EQ(tavik_CloseFileInfo(list), 1);

    ASSERT_TRUE(server.finish());
    const CFakePacket& request = server.packet(1);
    EXPECT_EQ(request.str("path"), "/disk");
    EXPECT_EQ(request.integer("infotype"), 62);
    EXPECT_EQ(request.integer("recursivelevel"), 1);
}

TEST_F(FileInfoTest, EmptyPartialAndUnaskedFields) {
    server.expectLogin()
        .expect("getfileinfo")
        .reply({{"num", 0}})
        .expect("getfileinfo")
        .reply({{"num", 2}, {"p1", "/x"}, {"s1", 10}, {"d1", "d"}, {"s2", 20}, {"p2", "/y"}})
        .expect("getfileinfo")
        .reply({{"num", 3},
                {"p1", "/a"},
                {"p2", "/b"},
                {"s3", 3},
                {"t3", 1},
                {"d3", "d3"},
                FakeItem::data("d2", {'n', 'o', 0, 'x'})});
    connect();

    int count = -1;
    TAVIK_FILEINFO_LIST* empty = tavik_OpenFileInfo(u"/disk", 61, 1, &count, session);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tavik_ReadFileInfo(empty, 0), nullptr);
    EXPECT_EQ(tavik_CloseFileInfo(empty), 1);

    // Size only: the texts stay null even though the reply carries them.
    TAVIK_FILEINFO_LIST* sizes = tavik_OpenFileInfo(u"/disk", 8, 1, &count, session);
    ASSERT_NE(sizes, nullptr);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(sizes->pInfo[0].pszName, nullptr);
    EXPECT_EQ(sizes->pInfo[0].pszDate, nullptr);
    EXPECT_EQ(sizes->pInfo[0].dwSize, 10u);
    EXPECT_EQ(sizes->pInfo[1].dwSize, 20u);
    EXPECT_EQ(sizes->pInfo[1].pszName, nullptr);
    EXPECT_EQ(tavik_CloseFileInfo(sizes), 1);

    // A missing "p3" and a "d2" that is no string leave those fields null.
    TAVIK_FILEINFO_LIST* partial = tavik_OpenFileInfo(u"/disk", 63, 1, &count, session);
    ASSERT_NE(partial, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::u16string(partial->pInfo[0].pszName), u"/a");
    EXPECT_EQ(std::u16string(partial->pInfo[1].pszName), u"/b");
    EXPECT_EQ(partial->pInfo[1].pszDate, nullptr);
    EXPECT_EQ(partial->pInfo[2].pszName, nullptr);
    EXPECT_EQ(partial->pInfo[2].dwSize, 3u);
    EXPECT_EQ(std::u16string(partial->pInfo[2].pszDate), u"d3");
    EXPECT_EQ(tavik_CloseFileInfo(partial), 1);
    ASSERT_TRUE(server.finish());
}

TEST_F(FileInfoTest, IndexBoundsAndClosedLists) {
    server.expectLogin().expect("getfileinfo").reply({{"num", 1}, {"p1", "/only"}});
    connect();
    TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(u"/disk", 4, 1, nullptr, session);
    ASSERT_NE(list, nullptr);

    markLastError();
    EXPECT_EQ(tavik_ReadFileInfo(list, 1), nullptr);
    EXPECT_EQ(tavik_ReadFileInfo(list, -1), nullptr);
    EXPECT_EQ(tavik_ReadFileInfo(list, INT_MIN), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 777);
    EXPECT_EQ(lastText(), u"before");
    EXPECT_NE(tavik_ReadFileInfo(list, 0), nullptr);

    EXPECT_EQ(tavik_CloseFileInfo(list), 1);
    markLastError();
    EXPECT_EQ(tavik_ReadFileInfo(list, 0), nullptr);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(lastText(), u"before");
    EXPECT_EQ(tavik_CloseFileInfo(list), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(tavik_CloseFileInfo(nullptr), 0);
    ASSERT_TRUE(server.finish());
}

TEST_F(FileInfoTest, FailedQueryCreatesNoListAndLeavesTheCount) {
    server.expectLogin().expect("getfileinfo").reply({{"error", 23006}, {"num", 4}, {"p1", "/x"}});
    connect();
    int count = 1234;
    EXPECT_EQ(tavik_OpenFileInfo(u"/disk/none", 63, 1, &count, session), nullptr);
    EXPECT_EQ(count, 1234);
    EXPECT_EQ(tavik_GetLastError(), 23006);
    ASSERT_TRUE(server.finish());
}

TEST_F(FileInfoTest, CountIsTheRepliesButRecordsOnlyWhatItCarries) {
    server.expectLogin()
        .expect("getfileinfo")
        .reply({{"num", INT_MAX}, {"p1", "/a"}, {"s1", 1}, {"p2", "/b"}, {"s2", 2}})
        .expect("getfileinfo")
        .reply({{"num", 1234}}) // a count-only answer, as for recursion level -1
        .expect("getfileinfo")
        .reply({{"num", -3}, {"p1", "/a"}});
    connect();
    int count = -1;
    TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(u"/disk", 12, 1, &count, session);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(count, INT_MAX);
    EXPECT_EQ(list->nCount, 2);
    ASSERT_NE(tavik_ReadFileInfo(list, 1), nullptr);
    EXPECT_EQ(std::u16string(tavik_ReadFileInfo(list, 1)->pszName), u"/b");
    EXPECT_EQ(tavik_ReadFileInfo(list, 2), nullptr);
    EXPECT_EQ(tavik_CloseFileInfo(list), 1);

    TAVIK_FILEINFO_LIST* countOnly = tavik_OpenFileInfo(u"/disk/1234", 61, -1, &count, session);
    ASSERT_NE(countOnly, nullptr);
    EXPECT_EQ(count, 1234);
    EXPECT_EQ(countOnly->nCount, 0);
    EXPECT_EQ(tavik_ReadFileInfo(countOnly, 0), nullptr);
    EXPECT_EQ(tavik_CloseFileInfo(countOnly), 1);

    TAVIK_FILEINFO_LIST* negative = tavik_OpenFileInfo(u"/disk", 4, 1, &count, session);
    ASSERT_NE(negative, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tavik_CloseFileInfo(negative), 1);
    ASSERT_TRUE(server.finish());
}

TEST_F(FileInfoTest, SizeAndTimesOfOneFile) {
    server.expectLogin()
        .expect("getlength")
        .reply({{"size", 4096}})
        .expect("getlength")
        .reply({})
        .expect("getfiletime")
        .reply({{"lastaccesstime", 111}, {"lastwritetime", -1}})
        .expect("getfiletime")
        .reply({{"lastwritetime", 5}})
        .expect("getfiletime")
        .reply({{"error", 23006}, {"lastaccesstime", 9}})
        .expect("setfiletime")
        .reply({});
    connect();

    EXPECT_EQ(tavik_GetFileSize(u"/disk/f", session), 4096);
    EXPECT_EQ(tavik_GetFileSize(u"/disk/f", session), 0);

    DWORD access = 1;
    DWORD write = 2;
    EXPECT_EQ(tavik_GetFileTime(u"/disk/f", &access, &write, session), 1);
    EXPECT_EQ(access, 111u);
    EXPECT_EQ(write, 0xFFFFFFFFu);
    EXPECT_EQ(tavik_GetFileTime(u"/disk/f", &access, nullptr, session), 1);
    EXPECT_EQ(access, 111u); // absent: unchanged
    EXPECT_EQ(tavik_GetFileTime(u"/disk/f", &access, &write, session), 0);
    EXPECT_EQ(access, 111u); // failed: nothing stored
    EXPECT_EQ(tavik_SetFileTime(u"/disk/f", 0x80000001u, 42, session), 1);

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("filename"), "/disk/f");
    EXPECT_EQ(server.packet(3).str("path"), "/disk/f");
    const CFakePacket& set = server.packet(6);
    EXPECT_EQ(set.str("path"), "/disk/f");
    EXPECT_EQ(set.bytes("lastaccesstime"), (std::vector<uint8_t>{0x01, 0, 0, 0x80}));
    EXPECT_EQ(set.integer("lastwritetime"), 42);
}

TEST_F(FileInfoTest, DirectoryCursorReadsNamesIntoTheCallersBuffer) {
    server.expectLogin()
        .expect("opendir")
        .reply({{"hdir", 0}})
        .expect("opendir")
        .reply({{"hdir", 7}})
        .expect("readdir")
        .reply({{"file", "abc"}})
        .expect("readdir")
        .reply({{"file", "abcd"}, {"errstr", "kept"}})
        .expect("readdir")
        .reply({})
        .expect("closedir")
        .reply({{"error", 23001}});
    connect();

    markLastError();
    EXPECT_EQ(tavik_OpenDir(u"/disk", session), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 0);

    TAVIK_DIR* dir = tavik_OpenDir(u"/disk", session);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->nDir, 7);

    char16_t buffer[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(tavik_ReadDir(dir, buffer, 4), 1); // "abc" and its terminator exactly
    EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"abc\0#", 5));

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(tavik_ReadDir(dir, buffer, 4), 0); // "abcd" needs five
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_NOT_ENOUGH_BUFFER);
    EXPECT_EQ(lastText(), u"kept");
    EXPECT_EQ(buffer[0], u'#');

    EXPECT_EQ(tavik_ReadDir(dir, buffer, 6), 1); // no "file": an empty name
    EXPECT_EQ(buffer[0], u'\0');

    // Closing frees the handle even when the server reports an error.
    EXPECT_EQ(tavik_CloseDir(dir), 0);
    EXPECT_EQ(tavik_GetLastError(), 23001);
    markLastError();
    EXPECT_EQ(tavik_ReadDir(dir, buffer, 6), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(lastText(), u"before");
    EXPECT_EQ(tavik_CloseDir(dir), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);

    ASSERT_TRUE(server.finish());
    ASSERT_EQ(server.packets().size(), 7u);
    EXPECT_EQ(server.packet(3).integer("hdir"), 7);
    EXPECT_EQ(server.packet(6).integer("hdir"), 7);
}

TEST_F(FileInfoTest, ReadDirRefusesAMissingBufferBeforeSending) {
    server.expectLogin().expect("opendir").reply({{"hdir", 3}});
    connect();
    TAVIK_DIR* dir = tavik_OpenDir(u"/disk", session);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(tavik_ReadDir(dir, nullptr, 10), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    char16_t buffer[2];
    EXPECT_EQ(tavik_ReadDir(dir, buffer, -1), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packets().size(), 2u);
    tavik_CloseDir(dir); // the server is gone; this only frees the handle
}

} // namespace
} // namespace tavik::test
