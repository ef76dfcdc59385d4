// Device paths under the device root, the handheld's error codes, local files, folder
// enumeration and window messages.
#include "platform/LocalFileSystem.h"
#include "platform/CFindFile.h"
#include "platform/CLocalFile.h"
#include "platform/WindowMessage.h"
#include "tests/platform_files/DeviceRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

using namespace tavik::platform;
using tavik::test::DeviceRoot;

namespace {

TEST(DevicePath, BothSeparatorsMapUnderTheRoot) {
    DeviceRoot root;
    const std::string r = root.path().string();
    EXPECT_EQ(hostPath(u"\\My Documents\\a.txt"), r + "/My Documents/a.txt");
    EXPECT_EQ(hostPath(u"/My Documents/a.txt"), r + "/My Documents/a.txt");
    EXPECT_EQ(hostPath(u"\\\\x\\.\\y\\"), r + "/x/y");
    EXPECT_EQ(hostPath(u"\\"), r);
    EXPECT_EQ(hostPath(u"\\\uD55C\uAE00.txt"), r + "/\xED\x95\x9C\xEA\xB8\x80.txt");
}

TEST(DevicePath, DotDotNeverClimbsAboveTheRoot) {
    DeviceRoot root;
    const std::string r = root.path().string();
    EXPECT_EQ(hostPath(u"\\..\\..\\etc\\passwd"), r + "/etc/passwd");
    EXPECT_EQ(hostPath(u"a/../../b"), r + "/b");
    EXPECT_EQ(hostPath(u"\\a\\b\\..\\c"), r + "/a/c");
    // Files made through a climbing path stay inside the root.
    CLocalFile file;
    ASSERT_TRUE(file.Open(u"\\..\\..\\escaped.txt", CLocalFile::Access::Write,
                          CLocalFile::Disposition::CreateAlways));
    file.Close();
    EXPECT_TRUE(std::filesystem::exists(root / "escaped.txt"));
}

TEST(DevicePath, DefaultRootIsTheHostRoot) {
    ::unsetenv("TAVIK_DEVICE_ROOT");
    EXPECT_EQ(hostPath(u"\\tmp\\x"), "/tmp/x");
    EXPECT_EQ(hostPath(u"\\..\\tmp"), "/tmp");
    EXPECT_EQ(hostPath(u""), "/");
}

TEST(FileErrors, HandheldCodesAreKept) {
    DeviceRoot root;
    std::filesystem::create_directory(root / "dir");
    root.write("dir/f.txt", "x");
    CLocalFile file;
    EXPECT_FALSE(file.Open(u"\\dir\\missing.txt", CLocalFile::Access::Read,
                           CLocalFile::Disposition::OpenExisting));
    EXPECT_EQ(file.error(), kErrorFileNotFound);
    EXPECT_FALSE(file.Open(u"\\nodir\\missing.txt", CLocalFile::Access::Read,
                           CLocalFile::Disposition::OpenExisting));
    EXPECT_EQ(file.error(), kErrorPathNotFound);
    EXPECT_FALSE(
        file.Open(u"\\dir", CLocalFile::Access::Read, CLocalFile::Disposition::OpenExisting));
    EXPECT_EQ(file.error(), kErrorAccessDenied);
    EXPECT_FALSE(
        file.Open(u"\\dir\\f.txt", CLocalFile::Access::Write, CLocalFile::Disposition::CreateNew));
    EXPECT_EQ(file.error(), kErrorAlreadyExists);

    EXPECT_EQ(createFolder(u"\\dir"), kErrorAlreadyExists);
    EXPECT_EQ(createFolder(u"\\nodir\\sub"), kErrorPathNotFound);
    EXPECT_EQ(createFolder(u"\\dir\\sub"), kErrorSuccess);
    EXPECT_EQ(deleteFile(u"\\dir\\sub"), kErrorAccessDenied);
    EXPECT_EQ(removeFolder(u"\\dir"), kErrorDirNotEmpty);
    EXPECT_EQ(removeFolder(u"\\dir\\sub"), kErrorSuccess);
    EXPECT_EQ(deleteFile(u"\\dir\\gone.txt"), kErrorFileNotFound);
    EXPECT_EQ(removeFolder(u"\\"), kErrorAccessDenied);

    LocalFileInfo info;
    EXPECT_EQ(getFileInfo(u"\\dir\\nothing", info), kErrorFileNotFound);
    EXPECT_EQ(getFileInfo(u"\\dir\\f.txt\\below", info), kErrorPathNotFound);
    ASSERT_EQ(getFileInfo(u"/dir/f.txt", info), kErrorSuccess);
    EXPECT_FALSE(info.isFolder);
    EXPECT_EQ(info.size, 1u);
    ASSERT_EQ(getFileInfo(u"/dir", info), kErrorSuccess);
    EXPECT_TRUE(info.isFolder);
    EXPECT_FALSE(info.isTemporary);
}

TEST(FileErrors, MoveRefusesToReplace) {
    DeviceRoot root;
    root.write("a.txt", "A");
    root.write("b.txt", "B");
    EXPECT_EQ(moveFile(u"\\a.txt", u"\\b.txt"), kErrorAlreadyExists);
    EXPECT_EQ(root.read("b.txt"), "B");
    EXPECT_EQ(moveFile(u"\\a.txt", u"\\c.txt"), kErrorSuccess);
    EXPECT_EQ(root.read("c.txt"), "A");
    EXPECT_EQ(moveFile(u"\\a.txt", u"\\d.txt"), kErrorFileNotFound);
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    ASSERT_EQ(getDiskFreeSpace(u"\\", freeBytes, totalBytes), kErrorSuccess);
    EXPECT_GT(totalBytes, 0u);
    EXPECT_LE(freeBytes, totalBytes);
}

// replaceFile puts the new file in the old one's place whole: a longer old file leaves no tail,
// a link is replaced rather than written through, a folder is refused.
TEST(FileErrors, ReplaceTakesTheOldFilesPlaceWhole) {
    DeviceRoot root;
    root.write("new.txt", "new");
    root.write("old.txt", "an old and longer file");
    std::filesystem::permissions(root / "old.txt", std::filesystem::perms::owner_all);
    EXPECT_EQ(replaceFile(u"\\new.txt", u"\\old.txt"), kErrorSuccess);
    EXPECT_EQ(root.read("old.txt"), "new");
    EXPECT_EQ(std::filesystem::status(root / "old.txt").permissions(),
              std::filesystem::perms::owner_all);
    EXPECT_FALSE(std::filesystem::exists(root / "new.txt"));

    root.write("target.txt", "target");
    std::filesystem::create_symlink(root / "target.txt", root / "link.txt");
    root.write("new.txt", "new");
    EXPECT_EQ(replaceFile(u"\\new.txt", u"\\link.txt"), kErrorSuccess);
    EXPECT_FALSE(std::filesystem::is_symlink(root / "link.txt"));
    EXPECT_EQ(root.read("link.txt"), "new");
    EXPECT_EQ(root.read("target.txt"), "target");

    std::filesystem::create_directory(root / "folder");
    root.write("new.txt", "new");
    EXPECT_EQ(replaceFile(u"\\new.txt", u"\\folder"), kErrorAccessDenied);
    EXPECT_TRUE(std::filesystem::is_directory(root / "folder"));
    EXPECT_EQ(replaceFile(u"\\gone.txt", u"\\old.txt"), kErrorFileNotFound);
    EXPECT_EQ(root.read("old.txt"), "new");
}

TEST(LocalFile, OpenModesSeekReadWrite) {
    DeviceRoot root;
    root.write("f.bin", "0123456789");
    CLocalFile file;
    // OpenAlways keeps the content; writing in the middle leaves the tail.
    ASSERT_TRUE(
        file.Open(u"\\f.bin", CLocalFile::Access::Write, CLocalFile::Disposition::OpenAlways));
    EXPECT_EQ(file.Seek(2, CLocalFile::Origin::Begin), 2);
    EXPECT_EQ(file.Write("ab", 2), 2);
    EXPECT_EQ(file.Size(), 10);
    file.Close();
    EXPECT_EQ(root.read("f.bin"), "01ab456789");

    ASSERT_TRUE(
        file.Open(u"\\f.bin", CLocalFile::Access::Read, CLocalFile::Disposition::OpenExisting));
    char buffer[16] = {};
    EXPECT_EQ(file.Seek(-3, CLocalFile::Origin::End), 7);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(file.Write("x", 1), -1); // opened for reading only
    EXPECT_NE(file.error(), kErrorSuccess);

    // CreateAlways truncates; a seek past the end leaves a hole of zeros.
    ASSERT_TRUE(file.Open(u"\\f.bin", CLocalFile::Access::ReadWrite,
                          CLocalFile::Disposition::CreateAlways));
    EXPECT_EQ(file.Size(), 0);
    EXPECT_EQ(file.Seek(4, CLocalFile::Origin::Begin), 4);
    EXPECT_EQ(file.Write("z", 1), 1);
    file.Close();
    EXPECT_EQ(root.read("f.bin"), std::string("\0\0\0\0z", 5));
    EXPECT_EQ(file.Seek(0, CLocalFile::Origin::Begin), -1); // closed
    EXPECT_EQ(file.error(), kErrorInvalidHandle);
}

std::vector<std::u16string> listAll(CFindFile& find, std::u16string_view pattern) {
    std::vector<std::u16string> names;
    for (bool more = find.First(pattern); more; more = find.Next()) {
        names.push_back(find.entry().name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FindFile, EnumeratesWithoutDotsAndEndsWith18) {
    DeviceRoot root;
    std::filesystem::create_directories(root / "d/sub");
    root.write("d/A.TXT", "abc");
    root.write("d/b.doc", "");
    CFindFile find;
    EXPECT_EQ(listAll(find, u"\\d\\*"), (std::vector<std::u16string>{u"A.TXT", u"b.doc", u"sub"}));
    EXPECT_EQ(find.error(), kErrorNoMoreFiles);
    EXPECT_EQ(listAll(find, u"/d/*.txt"), (std::vector<std::u16string>{u"A.TXT"}));
    EXPECT_EQ(listAll(find, u"\\d\\*.*"),
              (std::vector<std::u16string>{u"A.TXT", u"b.doc", u"sub"}));

    ASSERT_TRUE(find.First(u"\\d\\s?b"));
    EXPECT_TRUE(find.entry().info.isFolder);
    ASSERT_TRUE(find.First(u"\\d\\a.txt"));
    EXPECT_EQ(find.entry().info.size, 3u);

    EXPECT_FALSE(find.First(u"\\d\\*.xls"));
    EXPECT_EQ(find.error(), kErrorFileNotFound);
    EXPECT_FALSE(find.First(u"\\missing\\*"));
    EXPECT_EQ(find.error(), kErrorPathNotFound);
    EXPECT_FALSE(find.First(u"\\d\\sub\\*")); // empty folder
    EXPECT_EQ(find.error(), kErrorFileNotFound);
}

TEST(FindFile, PatternMatching) {
    EXPECT_TRUE(CFindFile::Matches(u"*", u""));
    EXPECT_TRUE(CFindFile::Matches(u"*a*b", u"xxaYYab"));
    EXPECT_FALSE(CFindFile::Matches(u"*a*b", u"xxaYYa"));
    EXPECT_TRUE(CFindFile::Matches(u"?x?", u"AxB"));
    EXPECT_FALSE(CFindFile::Matches(u"?x?", u"AxBC"));
    EXPECT_TRUE(CFindFile::Matches(u"READ*.Md", u"readme.md"));
}

class CRecordingWindow : public CWindow {
public:
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        seen.push_back({msg, wParam, lParam});
        if (repost) {
            repost = false;
            PostMessage(this, msg + 1, 0, 0);
        }
        return static_cast<LRESULT>(msg) * 10;
    }
    struct Seen {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Seen> seen;
    bool repost = false;
};

TEST(WindowMessage, SendIsSynchronousAndPostIsQueued) {
    CRecordingWindow window;
    EXPECT_EQ(SendMessage(nullptr, 5, 1, 2), 0);
    EXPECT_EQ(SendMessage(&window, 0x081B, 3, 4), 0x081B * 10);
    ASSERT_EQ(window.seen.size(), 1u);
    EXPECT_EQ(window.seen[0].wParam, 3u);
    EXPECT_EQ(window.seen[0].lParam, 4);

    EXPECT_FALSE(PostMessage(nullptr, 1, 0, 0));
    window.seen.clear();
    window.repost = true;
    ASSERT_TRUE(PostMessage(&window, 100, 0, 0));
    ASSERT_TRUE(PostMessage(&window, 200, 0, 0));
    EXPECT_TRUE(window.seen.empty());
    EXPECT_EQ(DispatchPostedMessages(), 2u); // the message posted from windowProc waits
    ASSERT_EQ(window.seen.size(), 2u);
    EXPECT_EQ(window.seen[0].msg, 100u);
    EXPECT_EQ(window.seen[1].msg, 200u);
    EXPECT_EQ(DiscardPostedMessages(&window), 1u);
    EXPECT_EQ(DispatchPostedMessages(), 0u);
}

} // namespace
