// The library's exported operations against the reference server over loopback.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"

#include "sdk/include/TavikSDK.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

class LibraryOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness.running());
        session = tavik_CreateSession(u"127.0.0.1", harness.port(), u"demo", nullptr, 20000);
        ASSERT_NE(session, nullptr) << tavik_GetLastError();
    }
    void TearDown() override {
        if (session != nullptr) {
            tavik_DestroySession(session);
        }
    }
    CServerHarness harness;
    TAVIK_SESSION session = nullptr;
};

TEST(LibraryLogin, WrongIdAndPasswordReachTheCaller) {
    CServerHarness harness([](server::CServerConfig& config) {
        config.disks.front().password = server::CPasswordHash::fromPlain("pw");
    });
    ASSERT_TRUE(harness.running());
    EXPECT_EQ(tavik_CreateSession(u"127.0.0.1", harness.port(), u"nobody", u"pw", 20000), nullptr);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_ID);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"wrong id");
    EXPECT_EQ(tavik_CreateSession(u"127.0.0.1", harness.port(), u"demo", nullptr, 20000), nullptr);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PASSWD);
    TAVIK_SESSION session =
        tavik_CreateSession(u"127.0.0.1", harness.port(), u"demo", u"pw", 20000);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"/demo");
    EXPECT_EQ(tavik_GetSessionMode(session), 3);
    tavik_DestroySession(session);
}

TEST_F(LibraryOperationsTest, ListingAtBothLevelsWithAKoreanName) {
    fs::create_directory(harness.disk("폴더"));
    writeFile(harness.disk("한글.txt"), "hello");
    int count = 0;
    TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(u"/demo", 63, 1, &count, session);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::u16string(tavik_ReadFileInfo(list, 0)->pszName), u"/demo");
    EXPECT_EQ(std::u16string(tavik_ReadFileInfo(list, 1)->pszName), u"/demo/폴더");
    EXPECT_EQ(tavik_ReadFileInfo(list, 1)->dwType, DWORD{TAVIK_TYPE_FOLDER});
    const TAVIK_FILEINFO* file = tavik_ReadFileInfo(list, 2);
    EXPECT_EQ(std::u16string(file->pszName), u"/demo/한글.txt");
    EXPECT_EQ(file->dwSize, 5u);
    EXPECT_NE(file->dwType, DWORD{TAVIK_TYPE_FOLDER});
    EXPECT_EQ(std::u16string(file->pszDate).size(), 16u);
    EXPECT_TRUE(tavik_CloseFileInfo(list));

    TAVIK_FILEINFO_LIST* self = tavik_OpenFileInfo(u"/demo/한글.txt", 63, 0, &count, session);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(tavik_ReadFileInfo(self, 0)->dwSize, 5u);
    tavik_CloseFileInfo(self);

    EXPECT_EQ(tavik_OpenFileInfo(u"/demo/../x", 63, 1, &count, session), nullptr);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_PERMISSION);
}

TEST_F(LibraryOperationsTest, DirectoryCursorAndSingleFileQueries) {
    writeFile(harness.disk("a"), "1234");
    TAVIK_DIR* dir = tavik_OpenDir(u"/demo", session);
    ASSERT_NE(dir, nullptr);
    char16_t name[64] = {};
    ASSERT_TRUE(tavik_ReadDir(dir, name, 64));
    EXPECT_EQ(std::u16string(name), u"a");
    ASSERT_TRUE(tavik_ReadDir(dir, name, 64));
    EXPECT_EQ(std::u16string(name), u""); // end of the listing
    EXPECT_TRUE(tavik_CloseDir(dir));

    EXPECT_EQ(tavik_GetFileSize(u"/demo/a", session), 4);
    EXPECT_EQ(tavik_GetFileSize(u"/demo/none", session), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_NOT_EXIST);
    EXPECT_TRUE(tavik_SetFileTime(u"/demo/a", 1500000000u, 1600000000u, session));
    DWORD access = 0;
    DWORD write = 0;
    EXPECT_TRUE(tavik_GetFileTime(u"/demo/a", &access, &write, session));
    EXPECT_EQ(access, 1500000000u);
    EXPECT_EQ(write, 1600000000u);
}

TEST_F(LibraryOperationsTest, NamespaceOperations) {
    EXPECT_TRUE(tavik_MakeFolder(u"/demo/d", session));
    EXPECT_FALSE(tavik_MakeFolder(u"/demo/d", session));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_EXISTS);
    char16_t name[257] = {};
    ASSERT_TRUE(tavik_MakeFolder2(u"/demo/d", name, 256, session));
    EXPECT_EQ(std::u16string(name), u"새 폴더");
    ASSERT_TRUE(tavik_MakeFolder2(u"/demo/d", name, 256, session));
    EXPECT_EQ(std::u16string(name), u"새 폴더 (1)");

    EXPECT_TRUE(tavik_CreateFile(u"/demo/f", session));
    EXPECT_TRUE(tavik_RenameFile(u"/demo/f", u"/demo/g", session));
    EXPECT_TRUE(tavik_CreateFile(u"/demo/f", session));
    EXPECT_FALSE(tavik_RenameFile(u"/demo/f", u"/demo/g", session));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_EXISTS);
    EXPECT_TRUE(tavik_CopyFile(u"/demo/g", u"/demo/d", session));
    EXPECT_TRUE(tavik_MoveFile(u"/demo/f", u"/demo/d", session));
    EXPECT_TRUE(fs::exists(harness.disk("d/g")));
    EXPECT_TRUE(fs::exists(harness.disk("d/f")));
    EXPECT_TRUE(fs::exists(harness.disk("g")));
    EXPECT_FALSE(tavik_DeleteFile(u"/demo/d", 0, session));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_NOT_EMPTY_DIRECTORY);
    EXPECT_TRUE(tavik_DeleteFile(u"/demo/d", 1, session));
    EXPECT_FALSE(fs::exists(harness.disk("d")));
}

TEST_F(LibraryOperationsTest, RemoteFileInputOutput) {
    TAVIK_FILE* file = tavik_FileOpen(u"/demo/io", 2 | 0x40, session);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(tavik_FileWrite(file, "0123456789", 10), 10);
    EXPECT_EQ(tavik_FileSeek(file, 3, 0), 3);
    char buffer[16] = {};
    EXPECT_EQ(tavik_FileRead(file, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(tavik_FileSeek(file, 0, 1), 7);
    EXPECT_TRUE(tavik_FileClose(file));
    EXPECT_EQ(readFile(harness.disk("io")), "0123456789");
}

TEST_F(LibraryOperationsTest, ServicesQuotaInfoVirusChangeDirCommand) {
    TAVIK_DISKSPACE space{};
    ASSERT_TRUE(tavik_GetDiskSpace(&space, session));
    EXPECT_GT(space.dwBlock, 0u);
    EXPECT_GT(space.dwTotal, 0u);
    TAVIK_SERVERINFO info{};
    ASSERT_TRUE(tavik_GetServerInfo(&info, session));
    EXPECT_EQ(info.nCurrentNum, 1);
    EXPECT_STREQ(info.szVersion, "tavik-server 2.12.06");
    writeFile(harness.disk("v"), "");
    EXPECT_EQ(tavik_CheckVirus(u"/demo/v", session), 0);
    fs::create_directory(harness.disk("sub"));
    EXPECT_TRUE(tavik_ChangeDir(u"sub", session));
    EXPECT_FALSE(tavik_ChangeDir(u"none", session));
    EXPECT_EQ(tavik_OpenCmd(u"ls", session), nullptr);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_NOT_ALLOWED);
}

TEST_F(LibraryOperationsTest, SessionLogsInAgainAfterTheServerDroppedIt) {
    writeFile(harness.disk("keep"), "abc");
    ASSERT_TRUE(harness.restart());
    // The old connection is dead; the next command reconnects, logs in and retries once.
    EXPECT_EQ(tavik_GetFileSize(u"/demo/keep", session), 3);
    EXPECT_EQ(tavik_GetLastError(), 0);
}

} // namespace
} // namespace tavik::test
