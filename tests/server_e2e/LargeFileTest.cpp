// Files of 4 GiB and more through the library's 64-bit functions against the reference server.
// The files are sparse on both sides: only the few blocks near the 4 GiB boundary and the end
// hold data, and every transfer moves a short range, so each case costs milliseconds.
#include "tests/server/CServerHarness.h"

#include "sdk/include/TavikSDK.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavik::test {
namespace {

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;
constexpr uint64_t kFourGiB = 4 * kGiB;
constexpr uint64_t kBigSize = 6 * kGiB;

// Bytes that differ from position to position, so a range moved to the wrong offset shows.
std::string bytesAt(uint64_t offset, size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        const uint64_t at = offset + i;
        bytes[i] = static_cast<char>((at * 2654435761u) >> 13);
    }
    return bytes;
}

// A sparse file of size bytes holding bytesAt() in each of the given ranges, zeros elsewhere.
bool makeSparse(const std::string& path, uint64_t size,
                const std::vector<std::pair<uint64_t, size_t>>& filled) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (const auto& [offset, count] : filled) {
        const std::string bytes = bytesAt(offset, count);
        ok = ok && ::pwrite(fd, bytes.data(), count, static_cast<off_t>(offset)) ==
                       static_cast<ssize_t>(count);
    }
    return ::close(fd) == 0 && ok;
}

std::string readAt(const std::string& path, uint64_t offset, size_t count) {
    std::string bytes(count, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY);
    const ssize_t n = fd < 0 ? -1 : ::pread(fd, bytes.data(), count, static_cast<off_t>(offset));
    if (fd >= 0) {
        ::close(fd);
    }
    bytes.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return bytes;
}

uint64_t sizeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Blocks really stored, in bytes: a sparse file stays far below its size.
uint64_t storedBytes(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_blocks) * 512 : 0;
}

struct Progress64 {
    int notices = 0;
    uint64_t lastPos = 0;
    int* cancel = nullptr;
    uint64_t cancelAfter = UINT64_MAX;
};
Progress64* gProgress = nullptr;

void onProgress64(TAVIK_PROGRESS64* progress) {
    ++gProgress->notices;
    gProgress->lastPos = progress->qwPos;
    if (gProgress->cancel != nullptr && progress->qwPos > gProgress->cancelAfter) {
        *gProgress->cancel = 1;
    }
}

// The data regions of the big file: across the 4 GiB boundary and at its very end.
const uint64_t kBoundaryStart = kFourGiB - 100000;
const size_t kBoundaryBytes = 200000;
const uint64_t kTailStart = kBigSize - 70000;

class LargeFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Server copies may go to the second server of the copy test.
        harness_ = new CServerHarness(
            [](server::CServerConfig& config) { config.copyTargets = {"127.0.0.2"}; });
        ASSERT_TRUE(makeSparse(harness_->disk("big.bin"), kBigSize,
                               {{kBoundaryStart, kBoundaryBytes}, {kTailStart, 70000}}));
        ASSERT_TRUE(makeSparse(harness_->disk("small.bin"), 1234, {{0, 1234}}));
    }
    static void TearDownTestSuite() {
        delete harness_;
        harness_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(harness_->running());
        session = tavik_CreateSession(u"127.0.0.1", harness_->port(), u"demo", nullptr, 20000);
        ASSERT_NE(session, nullptr);
        gProgress = &progress;
    }
    void TearDown() override {
        gProgress = nullptr;
        tavik_DestroySession(session);
    }
    TAVIK_TRANSFER64 transfer(const std::string& source, const std::string& destination,
                              uint64_t start, uint64_t end, BOOL trunc) {
        paths.push_back(source);
        paths.push_back(destination);
        TAVIK_TRANSFER64 t{};
        t.pszSrcPath = paths[paths.size() - 2].c_str();
        t.pszDstPath = paths.back().c_str();
        t.qwStartPos = start;
        t.qwEndPos = end;
        t.bTrunc = trunc;
        t.pfnProgress = onProgress64;
        return t;
    }

    static CServerHarness* harness_;
    std::vector<std::string> paths;
    CTempFolder local;
    TAVIK_SESSION session = nullptr;
    Progress64 progress;
};

CServerHarness* LargeFileTest::harness_ = nullptr;

TEST_F(LargeFileTest, SizesAndListingsCarryAllSixtyFourBits) {
    EXPECT_EQ(tavik_IsLargeFileSession(session), 1);
    EXPECT_EQ(tavik_GetFileSize64(u"/demo/big.bin", session), static_cast<int64_t>(kBigSize));
    EXPECT_EQ(tavik_GetFileSize64(u"/demo/small.bin", session), 1234);
    // The 32-bit export still sees the clamped 32-bit size.
    EXPECT_EQ(static_cast<uint32_t>(tavik_GetFileSize(u"/demo/big.bin", session)), 0xFFFFFFFFu);

    int count = 0;
    TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(
        u"/demo", TAVIK_INFO_FILES | TAVIK_INFO_PATH | TAVIK_INFO_SIZE, 1, &count, session);
    ASSERT_NE(list, nullptr);
    int seen = 0;
    for (int i = 0; i < count; ++i) {
        const TAVIK_FILEINFO* entry = tavik_ReadFileInfo(list, i);
        ASSERT_NE(entry, nullptr);
        const std::u16string name = entry->pszName;
        if (name == u"/demo/big.bin") {
            EXPECT_EQ(entry->dwSize, 0xFFFFFFFFu);
            EXPECT_EQ(tavik_GetFileInfoSize64(list, i), static_cast<int64_t>(kBigSize));
            ++seen;
        } else if (name == u"/demo/small.bin") {
            EXPECT_EQ(entry->dwSize, 1234u);
            EXPECT_EQ(tavik_GetFileInfoSize64(list, i), 1234);
            ++seen;
        }
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(tavik_GetFileInfoSize64(list, count), -1);
    tavik_CloseFileInfo(list);

    TAVIK_DISKSPACE64 space{};
    ASSERT_TRUE(tavik_GetDiskSpace64(&space, session));
    EXPECT_GT(space.qwTotal, 0u);
    EXPECT_LE(space.qwFree, space.qwTotal);
}

TEST_F(LargeFileTest, SeekAndReadPastFourGiB) {
    TAVIK_FILE* file = tavik_FileOpen(u"/demo/big.bin", 0, session);
    ASSERT_NE(file, nullptr);
    const int64_t at = static_cast<int64_t>(kFourGiB + 5);
    EXPECT_EQ(tavik_FileSeek64(file, at, 0), at);
    std::string bytes(100, '\0');
    ASSERT_EQ(tavik_FileRead(file, bytes.data(), 100), 100);
    EXPECT_EQ(bytes, bytesAt(kFourGiB + 5, 100));
    EXPECT_EQ(tavik_FileSeek64(file, -70000, 2), static_cast<int64_t>(kTailStart));
    tavik_FileClose(file);
}

TEST_F(LargeFileTest, RangedDownloadAcrossTheBoundaryLandsAtItsOffsets) {
    const std::string target = local.file("across.bin");
    auto down =
        transfer("/demo/big.bin", target, kBoundaryStart, kBoundaryStart + kBoundaryBytes, 1);
    ASSERT_TRUE(tavik_Download64(session, &down, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(progress.lastPos, kBoundaryStart + kBoundaryBytes);
    EXPECT_EQ(sizeOf(target), kBoundaryStart + kBoundaryBytes);
    EXPECT_EQ(readAt(target, kBoundaryStart, kBoundaryBytes),
              bytesAt(kBoundaryStart, kBoundaryBytes));
    EXPECT_LT(storedBytes(target), 16u * 1024 * 1024); // sparse here too
}

TEST_F(LargeFileTest, UploadPastTheBoundaryAndCopyOnTheServer) {
    const uint64_t start = 5 * kGiB + 3;
    const size_t count = 150000;
    const std::string source = local.file("up.bin");
    ASSERT_TRUE(makeSparse(source, start + count, {{start, count}}));
    auto up = transfer(source, "/demo/up.bin", start, start + count, 1);
    ASSERT_TRUE(tavik_Upload64(session, &up, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(tavik_GetFileSize64(u"/demo/up.bin", session), static_cast<int64_t>(start + count));
    EXPECT_EQ(readAt(harness_->disk("up.bin"), start, count), bytesAt(start, count));

    // The server's own copy keeps every byte and the holes.
    ASSERT_TRUE(tavik_MakeFolder(u"/demo/copies", session));
    ASSERT_TRUE(tavik_CopyFile(u"/demo/big.bin", u"/demo/copies", session)) << tavik_GetLastError();
    const std::string copy = harness_->disk("copies/big.bin");
    EXPECT_EQ(tavik_GetFileSize64(u"/demo/copies/big.bin", session),
              static_cast<int64_t>(kBigSize));
    EXPECT_EQ(readAt(copy, kBoundaryStart, kBoundaryBytes),
              bytesAt(kBoundaryStart, kBoundaryBytes));
    EXPECT_EQ(readAt(copy, kTailStart, 70000), bytesAt(kTailStart, 70000));
    EXPECT_LT(storedBytes(copy), 64u * 1024 * 1024);
}

TEST_F(LargeFileTest, CancelledTransfersResumeAcrossTheBoundary) {
    const uint64_t end = kBoundaryStart + kBoundaryBytes;
    const std::string target = local.file("resume.bin");
    int cancel = 0;
    progress.cancel = &cancel;
    progress.cancelAfter = kBoundaryStart; // after the first block
    auto first = transfer("/demo/big.bin", target, kBoundaryStart, end, 1);
    ASSERT_TRUE(tavik_Download64(session, &first, &cancel));
    ASSERT_EQ(cancel, 1);
    const uint64_t reached = sizeOf(target);
    ASSERT_GT(reached, kBoundaryStart);
    ASSERT_LT(reached, kFourGiB); // stopped before the boundary: the resume crosses it
    progress.cancel = nullptr;
    auto rest = transfer("/demo/big.bin", target, reached, end, 0);
    ASSERT_TRUE(tavik_Download64(session, &rest, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(readAt(target, kBoundaryStart, kBoundaryBytes),
              bytesAt(kBoundaryStart, kBoundaryBytes));

    // Upload: the remote part ends before 4 GiB, the resume carries the rest past it.
    const std::string source = local.file("whole.bin");
    ASSERT_TRUE(makeSparse(source, end, {{kBoundaryStart, kBoundaryBytes}}));
    ASSERT_TRUE(makeSparse(harness_->disk("part.bin"), kFourGiB - 1000,
                           {{kBoundaryStart, kBoundaryBytes - 100000 - 1000}}));
    const int64_t remote = tavik_GetFileSize64(u"/demo/part.bin", session);
    ASSERT_EQ(remote, static_cast<int64_t>(kFourGiB - 1000));
    auto up = transfer(source, "/demo/part.bin", static_cast<uint64_t>(remote), end, 0);
    ASSERT_TRUE(tavik_Upload64(session, &up, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(readAt(harness_->disk("part.bin"), kBoundaryStart, kBoundaryBytes),
              bytesAt(kBoundaryStart, kBoundaryBytes));
}

// The server copies the end of the 6 GiB file to another server in 64 bits, reporting 8-byte
// positions; the 32-bit copy on the same session still gets its 4-byte words.
TEST_F(LargeFileTest, ServerCopyPastFourGiBReportsSixtyFourBitPositions) {
    CServerHarness other({}, "127.0.0.2");
    if (!other.running()) {
        GTEST_SKIP() << "127.0.0.2 is not available";
    }
    TAVIK_COPYHOST host{};
    host.pszIp = "127.0.0.2";
    host.nPort = other.port();
    host.pszId = "demo";
    host.pszPass = "";
    auto copy = transfer("/demo/big.bin", "/demo/tail.bin", kTailStart, kBigSize, 1);
    ASSERT_TRUE(tavik_CopyEx64(session, &host, &copy, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(progress.lastPos, kBigSize);
    EXPECT_GE(progress.notices, 2);
    EXPECT_EQ(sizeOf(other.disk("tail.bin")), kBigSize);
    EXPECT_EQ(readAt(other.disk("tail.bin"), kTailStart, 70000), bytesAt(kTailStart, 70000));

    TAVIK_TRANSFER small{};
    small.pszSrcPath = "/demo/small.bin";
    small.pszDstPath = "/demo/small-copy.bin";
    small.dwEndPos = 1234;
    small.bTrunc = 1;
    ASSERT_TRUE(tavik_CopyEx(session, &host, &small, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(sizeOf(other.disk("small-copy.bin")), 1234u);
}

int* gStopAtFirstNotice = nullptr;
void stopAtFirstNotice(TAVIK_PROGRESS*) {
    *gStopAtFirstNotice = 1;
}

TEST_F(LargeFileTest, TheDesignsExportsRefuseWhatTheyCannotDescribe) {
    // The recursive download asks for the size first and refuses rather than cut the file. (Were
    // it to start, its first notice stops it at once instead of moving 4 GiB.)
    int cancel = 0;
    gStopAtFirstNotice = &cancel;
    TAVIK_TRANSFER_EX ex{};
    const std::string target = local.file("never.bin");
    ex.pszSrcPath = "/demo/big.bin";
    ex.pszDstPath = target.c_str();
    ex.pfnProgress = stopAtFirstNotice;
    EXPECT_FALSE(tavik_DownloadEx(session, &ex, &cancel));
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(sizeOf(target), 0u);
}

// A client that does not offer the extension sees the original items only.
TEST_F(LargeFileTest, AClientThatDoesNotOfferSeesOnlyClampedItems) {
    CTestClient client;
    ASSERT_TRUE(client.connect(harness_->port()));
    ASSERT_EQ(client.login(), 0);
    auto length = CTestClient::request("getlength");
    length->SetString("filename", "/demo/big.bin");
    CPacket lengthReply;
    ASSERT_EQ(client.call(*length, lengthReply), 0);
    EXPECT_EQ(lengthReply.GetInt("size", 0), -1); // 0xFFFFFFFF
    EXPECT_TRUE(lengthReply.Find("size64").empty());
    EXPECT_EQ(lengthReply.Count(), 2); // "error" and "size"

    auto listing = CTestClient::request("getfileinfo");
    listing->SetString("path", "/demo/big.bin");
    listing->SetInt("infotype", 63);
    listing->SetInt("recursivelevel", 0);
    CPacket listingReply;
    ASSERT_EQ(client.call(*listing, listingReply), 0);
    EXPECT_EQ(listingReply.GetInt("s1", 0), -1);
    EXPECT_TRUE(listingReply.Find("s64_1").empty());

    // 64-bit range items are not read from it: the 32-bit range decides.
    auto download = CTestClient::request("download");
    download->SetString("path", "/demo/big.bin");
    download->SetInt("startpos", 0);
    download->SetInt("endpos", 0);
    const uint8_t wideEnd[8] = {0, 0, 0, 0, 0x01, 0, 0, 0};
    download->SetData("endpos64", wideEnd, 8);
    CPacket downloadReply;
    ASSERT_EQ(client.call(*download, downloadReply), 0);
    CPacket closing;
    ASSERT_TRUE(client.receive(closing)); // nothing in between: the range was empty
    EXPECT_EQ(closing.GetInt("error", -1), 0);
}

} // namespace
} // namespace tavik::test
