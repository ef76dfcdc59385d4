// Remote file handles: open, read, write, seek and close against the fake disk server.
#include "tests/ops/OpsFixture.h"

#include <array>

namespace tavik::test {
namespace {

class FileIoTest : public OpsTest {
protected:
    // Logs in and opens one remote file whose server number is 5.
    void openFile() {
        connect();
        file = tavik_FileOpen(u"/disk/f.bin", 0x11, session);
        ASSERT_NE(file, nullptr);
    }
    TAVIK_FILE* file = nullptr;
};

TEST_F(FileIoTest, OpenKeepsTheServersNumberAndSession) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("openfile")
        .reply({})
        .expect("openfile")
        .reply({{"error", 23006}, {"fd", 6}});
    openFile();
    EXPECT_EQ(file->nFd, 5);
    EXPECT_EQ(file->hSession, session);

    // Error 0 without "fd" still opens, with number -1.
    TAVIK_FILE* noNumber = tavik_FileOpen(u"/disk/g", 0, session);
    ASSERT_NE(noNumber, nullptr);
    EXPECT_EQ(noNumber->nFd, -1);

    EXPECT_EQ(tavik_FileOpen(u"/disk/h", 0, session), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 23006);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("filename"), "/disk/f.bin");
    EXPECT_EQ(server.packet(1).integer("flags"), 0x11);
    tavik_FileClose(noNumber);
    tavik_FileClose(file);
}

TEST_F(FileIoTest, ReadCopiesAtMostTheCapacityAndNeverClaimsMore) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("readfile")
        .reply({{"size", 3}, FakeItem::data("data", {1, 2, 3})})
        .expect("readfile")
        .reply({{"size", 6}, FakeItem::data("data", {1, 2, 3, 4, 5, 6})})
        .expect("readfile")
        .reply({{"size", 0}})
        .expect("readfile")
        .reply({FakeItem::data("data", {9, 9})})
        .expect("readfile")
        .reply({{"error", 23001}, {"size", 2}, FakeItem::data("data", {9, 9})});
    openFile();

    std::array<uint8_t, 8> buffer{};
    buffer.fill(0xEE);
    EXPECT_EQ(tavik_FileRead(file, buffer.data(), 4), 3);
    EXPECT_EQ(buffer, (std::array<uint8_t, 8>{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));

    // Six bytes come back for a four-byte buffer: four are copied, and four are reported.
    buffer.fill(0xEE);
    EXPECT_EQ(tavik_FileRead(file, buffer.data(), 4), 4);
    EXPECT_EQ(buffer, (std::array<uint8_t, 8>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));

    // No "data": the buffer is left alone.
    buffer.fill(0xEE);
    EXPECT_EQ(tavik_FileRead(file, buffer.data(), 4), 0);
    EXPECT_EQ(buffer[0], 0xEE);

    // No "size": no count to return, and nothing copied.
    EXPECT_EQ(tavik_FileRead(file, buffer.data(), 4), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PACKET);
    EXPECT_EQ(lastText(), u"wrong packet");
    EXPECT_EQ(buffer[0], 0xEE);

    EXPECT_EQ(tavik_FileRead(file, buffer.data(), 4), -1);
    EXPECT_EQ(tavik_GetLastError(), 23001);
    EXPECT_EQ(buffer[0], 0xEE);

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(2).integer("size"), 4);
    EXPECT_EQ(server.packet(2).integer("fd"), 5);
    tavik_FileClose(file);
}

TEST_F(FileIoTest, WriteSendsTheBytesAsOneDataItem) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("writefile")
        .reply({{"size", 3}})
        .expect("writefile")
        .reply({{"size", 0}})
        .expect("writefile")
        .reply({});
    openFile();

    const uint8_t bytes[] = {0x00, 0x7F, 0xFF};
    EXPECT_EQ(tavik_FileWrite(file, bytes, 3), 3);
    EXPECT_EQ(tavik_FileWrite(file, nullptr, 0), 0);
    EXPECT_EQ(tavik_FileWrite(file, bytes, 1), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PACKET);

    ASSERT_TRUE(server.finish());
    const CFakePacket& write = server.packet(2);
    EXPECT_EQ(write.integer("size"), 3);
    EXPECT_EQ(write.integer("fd"), 5);
    EXPECT_EQ(write.bytes("data"), (std::vector<uint8_t>{0x00, 0x7F, 0xFF}));
    const CFakePacket& empty = server.packet(3);
    EXPECT_EQ(empty.integer("size"), 0);
    EXPECT_FALSE(empty.has("data"));
    EXPECT_EQ(empty.items.size(), 3u); // "_cmd", "size", "fd"
    tavik_FileClose(file);
}

TEST_F(FileIoTest, BadBuffersAreRefusedBeforeSending) {
    server.expectLogin().expect("openfile").reply({{"fd", 5}});
    openFile();
    std::vector<uint8_t> big(1048576);
    EXPECT_EQ(tavik_FileWrite(file, big.data(), static_cast<int>(big.size())), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(tavik_FileWrite(file, big.data(), -1), -1);
    EXPECT_EQ(tavik_FileWrite(file, nullptr, 4), -1);
    EXPECT_EQ(tavik_FileRead(file, nullptr, 4), -1);
    EXPECT_EQ(tavik_FileRead(file, big.data(), -4), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packets().size(), 2u);
    tavik_FileClose(file);
}

TEST_F(FileIoTest, SeekPassesItsArgumentsAndReturnsThePosition) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("seekfile")
        .reply({{"size", 1000}})
        .expect("seekfile")
        .reply({{"size", -7}});
    openFile();
    EXPECT_EQ(tavik_FileSeek(file, -24, 2), 1000);
    EXPECT_EQ(tavik_FileSeek(file, 0, 0), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PACKET);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(2).integer("offset"), -24);
    EXPECT_EQ(server.packet(2).integer("whence"), 2);
    EXPECT_EQ(server.packet(2).integer("fd"), 5);
    tavik_FileClose(file);
}

TEST_F(FileIoTest, ClosedHandleFailsWithoutTraffic) {
    server.expectLogin()
        .expect("openfile")
        .reply({{"fd", 5}})
        .expect("closefile")
        .reply({{"error", 23001}});
    openFile();
    // Closing frees the handle even when the server reports an error.
    EXPECT_EQ(tavik_FileClose(file), 0);
    EXPECT_EQ(tavik_GetLastError(), 23001);

    uint8_t buffer[4] = {};
    markLastError();
    EXPECT_EQ(tavik_FileRead(file, buffer, 4), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(lastText(), u"before");
    EXPECT_EQ(tavik_FileWrite(file, buffer, 4), -1);
    EXPECT_EQ(tavik_FileSeek(file, 0, 0), -1);
    EXPECT_EQ(tavik_FileClose(file), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(tavik_FileClose(nullptr), 0);
    EXPECT_EQ(lastText(), u"before");

    ASSERT_TRUE(server.finish());
    ASSERT_EQ(server.packets().size(), 3u);
    EXPECT_EQ(server.packet(2).integer("fd"), 5);
}

} // namespace
} // namespace tavik::test
