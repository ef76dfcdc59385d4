// The scripted fake server is the yardstick of every protocol test, so its own reading of the
// wire format is pinned here with bytes worked out by hand.
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::test {
namespace {

TEST(CFakePacket, HeaderOfEmptyScrambledPacketHasHandComputedChecksum) {
    // Words 0x4B54 + 0x0001 + 0x0002 = 0x4B57; NOT gives 0xB4A8.
    std::vector<uint8_t> expected{'T', 'K', 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0xA8, 0xB4, 0, 0};
    EXPECT_EQ(CFakePacket::header(2, 0), expected);
    EXPECT_EQ(CFakePacket(2, {}).encode(), expected);
}

TEST(CFakePacket, BinaryBodyLayoutAndScramble) {
    CFakePacket plain(0, {{"a", 7}});
    std::vector<uint8_t> bytes = plain.encode();
    std::vector<uint8_t> body(bytes.begin() + 16, bytes.end());
    EXPECT_EQ(body, (std::vector<uint8_t>{1, 0, 'a', 4, 0, 0, 0, 7, 0, 0, 0}));

    // The scramble stream starts with key bytes 0x5A, then 0xD0 after a zero byte has fed back.
    std::vector<uint8_t> stream{0x00, 0x41, 0xFF};
    CFakePacket::scramble(stream);
    EXPECT_EQ(stream, (std::vector<uint8_t>{0x5A, 0x91, 0x35}));
    CFakePacket::unscramble(stream);
    EXPECT_EQ(stream, (std::vector<uint8_t>{0x00, 0x41, 0xFF}));
}

TEST(CFakePacket, DecodesWhatItEncodesInBothBodyForms) {
    for (uint32_t flags : {0u, 2u, 1u, 3u}) {
        CFakePacket packet(flags, {{"_cmd", "x y&z"}, {"n", -5}});
        std::string why;
        auto back = CFakePacket::decode(packet.encode(), &why);
        ASSERT_TRUE(back) << why;
        EXPECT_EQ(back->cmd(), "x y&z");
        // The text form carries every value as text.
        if (flags & 1u) {
            EXPECT_EQ(back->str("n"), "-5");
        } else {
            EXPECT_EQ(back->integer("n"), -5);
        }
    }
}

TEST(CFakePacket, RefusesDamagedHeaders) {
    std::vector<uint8_t> bytes = CFakePacket(2, {{"a", 1}}).encode();
    bytes[13] ^= 1;
    std::string why;
    EXPECT_FALSE(CFakePacket::decode(bytes, &why));
    EXPECT_EQ(why, "bad header checksum");
}

int connectTo(uint16_t port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

TEST(CFakeDiskServer, RunsAScriptAgainstARawClient) {
    CFakeDiskServer server(2000);
    server.expectLogin("/d", 2).recvRaw(3).sendRaw({9, 8}).expectClosed().start();

    int s = connectTo(server.port());
    ASSERT_GE(s, 0);
    std::vector<uint8_t> request = CFakePacket(2, {{"_cmd", "setuser"}, {"id", "bob"}}).encode();
    ASSERT_TRUE(CFakeDiskServer::sendAll(s, request.data(), request.size(), 2000));
    std::vector<uint8_t> header(16);
    ASSERT_TRUE(CFakeDiskServer::recvExactly(s, header.data(), 16, 2000));
    int32_t length = header[8] | (header[9] << 8);
    std::vector<uint8_t> whole = header;
    whole.resize(16 + length);
    ASSERT_TRUE(CFakeDiskServer::recvExactly(s, whole.data() + 16, length, 2000));
    auto reply = CFakePacket::decode(whole);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->str("path"), "/d");
    EXPECT_EQ(reply->integer("mode"), 2);
    uint8_t raw[3] = {1, 2, 3};
    ASSERT_TRUE(CFakeDiskServer::sendAll(s, raw, 3, 2000));
    uint8_t back[2];
    ASSERT_TRUE(CFakeDiskServer::recvExactly(s, back, 2, 2000));
    ::close(s);

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(0).str("id"), "bob");
    EXPECT_EQ(server.packet(0).raw, request);
    EXPECT_EQ(server.rawReceived().at(0), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(back[0], 9);
    EXPECT_TRUE(server.clientClosed());
}

TEST(CFakeDiskServer, AWrongCommandOrASilentClientFailsTheScriptInBoundedTime) {
    CFakeDiskServer wrong(2000);
    wrong.expect("getquota").start();
    int s = connectTo(wrong.port());
    std::vector<uint8_t> request = CFakePacket(2, {{"_cmd", "setuser"}}).encode();
    ASSERT_TRUE(CFakeDiskServer::sendAll(s, request.data(), request.size(), 2000));
    EXPECT_FALSE(wrong.finish());
    ::close(s);

    CFakeDiskServer silent(100);
    silent.expect().start();
    int t = connectTo(silent.port());
    ::testing::AssertionResult result = silent.finish();
    EXPECT_FALSE(result);
    EXPECT_NE(std::string(result.message()).find("no packet header"), std::string::npos);
    ::close(t);
}

TEST(CFakeDiskServer, StopsListeningWhenTheScriptEnds) {
    CFakeDiskServer server(200);
    server.stall(1).start();
    ASSERT_TRUE(server.finish());
    EXPECT_LT(connectTo(server.port()), 0);
}

} // namespace
} // namespace tavik::test
