// The 64-bit functions against scripted servers: one that does not know the extension (everything
// as the protocol has it, and what 32 bits cannot carry refused before sending), and one that
// agrees (the 64-bit items beside the clamped 32-bit ones, byte for byte).
#include "tests/ops/OpsFixture.h"
#include "tests/support/CTempFolder.h"
#include "tests/support/FileBytes.h"

#include <filesystem>
#include <vector>

namespace tavik::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kFiveGiB = 5ull * 1024 * 1024 * 1024; // 0x1_4000_0000

class LargeFileOpsTest : public OpsTest {
protected:
    TAVIK_TRANSFER64 download(uint64_t start, uint64_t end) {
        target = local.file("down.bin");
        TAVIK_TRANSFER64 t{};
        t.pszSrcPath = "/disk/big";
        t.pszDstPath = target.c_str();
        t.qwStartPos = start;
        t.qwEndPos = end;
        t.bTrunc = 1;
        return t;
    }
    CTempFolder local;
    std::string target;
};

TEST_F(LargeFileOpsTest, AServerThatDoesNotAgreeGetsTheDesignsItemsAndRefusals) {
    server.expectLogin()
        .expect("getlength")
        .reply({{"size", -2}, FakeItem::data("size64", {1, 0, 0, 0, 1, 0, 0, 0})})
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("seekfile")
        .reply({{"size", 7}})
        .expect("download")
        .reply({})
        .sendRaw({'a', 'b', 'c'})
        .reply({{"error", 0}})
        .expect("getquota")
        .reply({{"block", 4096}, {"free", 0x100000}, {"total", 0x200000}})
        .expect("closefile")
        .reply({});
    connect();
    EXPECT_EQ(tavik_IsLargeFileSession(session), 0);
    // Only the 32-bit size counts, read as unsigned; a stray 64-bit item is not trusted.
    EXPECT_EQ(tavik_GetFileSize64(u"/disk/big", session), 0xFFFFFFFEll);

    TAVIK_FILE* file = tavik_FileOpen(u"/disk/big", 0, session);
    ASSERT_NE(file, nullptr);
    // An offset past 32 bits is refused without sending; one that fits travels as "offset".
    EXPECT_EQ(tavik_FileSeek64(file, static_cast<int64_t>(kFiveGiB), 0), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(tavik_FileSeek64(file, 7, 0), 7);

    // A range past 32 bits is refused before anything is opened or sent, both ways.
    TAVIK_TRANSFER64 tooFar = download(0, kFiveGiB);
    EXPECT_FALSE(tavik_Download64(session, &tooFar, nullptr));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_TRUE(writeFile(target, "xyz"));
    TAVIK_TRANSFER64 tooFarUp = tooFar;
    tooFarUp.pszSrcPath = target.c_str();
    tooFarUp.pszDstPath = "/disk/big";
    EXPECT_FALSE(tavik_Upload64(session, &tooFarUp, nullptr));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);

    TAVIK_TRANSFER64 small = download(0, 3);
    ASSERT_TRUE(tavik_Download64(session, &small, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(readFile(target), "abc");

    // The words multiplied in 64 bits: 4 GiB free of 8 GiB.
    TAVIK_DISKSPACE64 space{};
    ASSERT_TRUE(tavik_GetDiskSpace64(&space, session));
    EXPECT_EQ(space.qwFree, 0x100000000ull);
    EXPECT_EQ(space.qwTotal, 0x200000000ull);
    EXPECT_TRUE(tavik_FileClose(file));

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(3).integer("offset"), 7);
    EXPECT_FALSE(server.packet(3).bytes("offset64"));
    const CFakePacket& announce = server.packet(4);
    EXPECT_EQ(announce.integer("startpos"), 0);
    EXPECT_EQ(announce.integer("endpos"), 3);
    EXPECT_FALSE(announce.bytes("startpos64"));
    EXPECT_FALSE(announce.bytes("endpos64"));
}

TEST_F(LargeFileOpsTest, AnAgreeingServerGetsSixtyFourBitItemsBesideClampedOnes) {
    server.expect("setuser")
        .reply({{"error", 0}, {"path", "/disk"}, {"largefile", 1}})
        .expect("getlength")
        .reply({{"size", -1}, FakeItem::data("size64", {0, 0, 0, 0x40, 1, 0, 0, 0})})
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("seekfile")
        .reply(
            {{"size", 0x7FFFFFFF}, FakeItem::data("size64", {0xFD, 0xFF, 0xFF, 0x3F, 1, 0, 0, 0})})
        .expect("download")
        .reply({})
        .sendRaw({'x', 'y', 'z'})
        .reply({{"error", 0}})
        .expect("getquota")
        .reply({{"block", 4096},
                {"free", 1},
                {"total", 2},
                FakeItem::data("freebytes64", {0x15, 0x81, 0xE9, 0x7D, 0xF4, 0x10, 0x22, 0x11}),
                FakeItem::data("totalbytes64", {0, 0, 0, 0, 0, 0, 0, 0x20})})
        .expect("closefile")
        .reply({});
    connect();
    EXPECT_EQ(tavik_IsLargeFileSession(session), 1);
    EXPECT_EQ(tavik_GetFileSize64(u"/disk/big", session), static_cast<int64_t>(kFiveGiB));

    TAVIK_FILE* file = tavik_FileOpen(u"/disk/big", 0, session);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(tavik_FileSeek64(file, -3, 2), static_cast<int64_t>(kFiveGiB - 3));

    // Three bytes just below and at 5 GiB; the local file is sparse up to them.
    TAVIK_TRANSFER64 across = download(kFiveGiB - 2, kFiveGiB + 1);
    ASSERT_TRUE(tavik_Download64(session, &across, nullptr)) << tavik_GetLastError();
    EXPECT_EQ(std::filesystem::file_size(target), kFiveGiB + 1);

    TAVIK_DISKSPACE64 space{};
    ASSERT_TRUE(tavik_GetDiskSpace64(&space, session));
    EXPECT_EQ(space.qwFree, 0x112210F47DE98115ull);
    EXPECT_EQ(space.qwTotal, 0x2000000000000000ull);
    EXPECT_TRUE(tavik_FileClose(file));

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(3).integer("offset"), -3);
    EXPECT_EQ(server.packet(3).bytes("offset64"),
              (Bytes{0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    const CFakePacket& announce = server.packet(4);
    // The 32-bit items carry the clamp; the 64-bit ones the range.
    EXPECT_EQ(announce.integer("startpos"), -1);
    EXPECT_EQ(announce.integer("endpos"), -1);
    EXPECT_EQ(announce.bytes("startpos64"), (Bytes{0xFE, 0xFF, 0xFF, 0x3F, 0x01, 0, 0, 0}));
    EXPECT_EQ(announce.bytes("endpos64"), (Bytes{0x01, 0x00, 0x00, 0x40, 0x01, 0, 0, 0}));
}

// An upload that asks for its commit: the items travel only to a server that agreed at login,
// and the file counts as committed only when the closing reply says so.
TEST_F(LargeFileOpsTest, UploadCommitsTravelOnlyWhereAgreedAndCountOnlyWhenConfirmed) {
    struct Row {
        const char* name;
        std::vector<FakeItem> login;   // the login reply
        std::vector<FakeItem> closing; // the closing reply of the upload
        bool itemsSent;
        BOOL ok;
        BOOL committed;
        int lastError;
    };
    const std::vector<FakeItem> plain = {{"error", 0}, {"path", "/disk"}};
    const std::vector<FakeItem> agreeing = {{"error", 0}, {"path", "/disk"}, {"uploadcommit", 1}};
    const Row rows[] = {
        {"a server that does not agree", plain, {{"error", 0}}, false, 1, 0, 0},
        {"a server that agrees and confirms",
         agreeing,
         {{"error", 0}, {"committed", 1}},
         true,
         1,
         1,
         0},
        {"an agreeing server whose reply does not confirm",
         agreeing,
         {{"error", 0}},
         true,
         1,
         0,
         0},
        {"an agreeing server that cannot commit",
         agreeing,
         {{"error", TAVIK_ERR_EXISTS}, {"committed", 1}},
         true,
         0,
         0,
         TAVIK_ERR_EXISTS},
        {"a server that answers another version",
         {{"error", 0}, {"uploadcommit", 2}},
         {{"error", 0}, {"committed", 1}},
         false,
         1,
         0,
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CFakeDiskServer fake;
        fake.expect("setuser").reply(row.login).expect("upload").reply({}).recvRaw(3).reply(
            row.closing);
        fake.start();
        TAVIK_SESSION one =
            tavik_CreateSession(fake.host(), fake.port(), u"bob", nullptr, kSessionTimeoutMs);
        ASSERT_NE(one, nullptr);
        const std::string source = local.file("up.bin");
        ASSERT_TRUE(writeFile(source, "abc"));
        TAVIK_TRANSFER64 up{};
        up.pszSrcPath = source.c_str();
        up.pszDstPath = "/disk/.f.part";
        up.qwEndPos = 3;
        up.bTrunc = 1;
        BOOL committed = 7;
        EXPECT_EQ(tavik_UploadCommit64(one, &up, "/disk/f", 1700000000, 1, &committed, nullptr),
                  row.ok);
        EXPECT_EQ(committed, row.committed);
        EXPECT_EQ(tavik_GetLastError(), row.lastError);
        tavik_DestroySession(one);
        ASSERT_TRUE(fake.finish());
        EXPECT_TRUE(fake.packet(0).has("uploadcommit")); // every login offers it
        const CFakePacket& announce = fake.packet(1);
        EXPECT_EQ(announce.str("path").value_or(""), "/disk/.f.part");
        EXPECT_EQ(announce.has("commitpath"), row.itemsSent);
        if (row.itemsSent) {
            EXPECT_EQ(announce.str("commitpath").value_or(""), "/disk/f");
            EXPECT_EQ(announce.integer("committime"), 1700000000);
            EXPECT_EQ(announce.integer("commitreplace"), 1);
        }
    }
    // No final name: refused before anything is sent.
    BOOL committed = 7;
    TAVIK_TRANSFER64 none{};
    EXPECT_FALSE(tavik_UploadCommit64(nullptr, &none, nullptr, 0, 0, &committed, nullptr));
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(committed, 0);
}

} // namespace
} // namespace tavik::test
