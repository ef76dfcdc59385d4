// Packet transport against the scripted fake server: framing, time-outs, refusals, and what a
// failure leaves behind (a closed connection that fails the next send at once).
#include "sdk/core/CConnection.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavik {
namespace {

using test::CFakeDiskServer;
using test::CFakePacket;

constexpr int32_t kBudget = 3000;

std::vector<uint8_t> withBody(std::vector<uint8_t> header, std::vector<uint8_t> body) {
    header.insert(header.end(), body.begin(), body.end());
    return header;
}

TEST(CConnection, SendsExactlyTheSerialisedBytes) {
    CFakeDiskServer server;
    server.expect("x").start();
    CConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), true));
    CPacket request(0);
    request.SetString("_cmd", "x");
    // Body: name length 4, "_cmd", value length 2, "x\0" = 12 bytes. Header words
    // 0x4B54 + 0x0001 + 0x000C = 0x4B61, NOT gives checksum 0xB49E.
    EXPECT_EQ(connection.SendPacket(request, kBudget), 28);
    ASSERT_TRUE(server.finish());
    std::vector<uint8_t> expected{'T', 'K', 1, 0, 0,   0,   0,   0,   12, 0, 0, 0, 0x9E, 0xB4,
                                  0,   0,   4, 0, '_', 'c', 'm', 'd', 2,  0, 0, 0, 'x',  0};
    EXPECT_EQ(server.packet(0).raw, expected);
}

TEST(CConnection, RoundTripsBinaryScrambledAndTextPackets) {
    CFakeDiskServer server;
    server.expect("bin").reply({{"error", 0}, {"v", "one"}});
    server.expect("txt").replyFlags(1, {{"error", 0}, {"v", "two&three"}}).start();
    CSession session;
    session.timeout = kBudget;
    ASSERT_TRUE(session.connection.Connect("127.0.0.1", server.port(), true));

    CPacket binary(2);
    binary.SetString("_cmd", "bin");
    CPacket reply(2);
    ASSERT_TRUE(Exchange(session, binary, reply));
    EXPECT_STREQ(reply.GetString("v", ""), "one");
    EXPECT_TRUE(reply.IsCrypt());

    CPacket text(1);
    text.SetString("_cmd", "txt");
    text.SetString("path", "/a b/c&d=e");
    ASSERT_TRUE(Exchange(session, text, reply));
    EXPECT_STREQ(reply.GetString("v", ""), "two&three");
    EXPECT_TRUE(reply.IsText());

    ASSERT_TRUE(server.finish());
    EXPECT_TRUE(server.packet(0).isCrypt());
    EXPECT_TRUE(server.packet(1).isText());
    EXPECT_EQ(server.packet(1).str("path"), "/a b/c&d=e");
}

TEST(CConnection, NoTimeLimitWaitsForASlowServer) {
    CFakeDiskServer server;
    server.expect("slow").stall(300).reply({{"error", 0}, {"late", 1}}).start();
    CSession session;
    session.timeout = -1;
    ASSERT_TRUE(session.connection.Connect("127.0.0.1", server.port(), true));
    CPacket request(2);
    request.SetString("_cmd", "slow");
    CPacket reply(2);
    EXPECT_TRUE(Exchange(session, request, reply));
    EXPECT_EQ(reply.GetInt("late", 0), 1);
    EXPECT_TRUE(session.connection.IsOpen());
    ASSERT_TRUE(server.finish());
}

TEST(CConnection, ZeroTimeOutFailsAgainstASilentServerAndClosesAtOnce) {
    CFakeDiskServer server;
    server.expect("quick").expectClosed().start();
    CSession session;
    session.timeout = 0;
    ASSERT_TRUE(session.connection.Connect("127.0.0.1", server.port(), true));
    CPacket request(2);
    request.SetString("_cmd", "quick");
    CPacket reply(2);
    EXPECT_FALSE(Exchange(session, request, reply));
    EXPECT_FALSE(session.connection.IsOpen());
    ASSERT_TRUE(server.finish());

    // The closed connection fails the next send at once, even without a time limit.
    EXPECT_EQ(session.connection.SendPacket(request, -1), -4);
}

// Connects and sends one request, as a client does before it waits for a reply.
bool connectAndAsk(CConnection& connection, uint16_t port) {
    CPacket request(2);
    request.SetString("_cmd", "x");
    return connection.Connect("127.0.0.1", port, true) &&
           connection.SendPacket(request, kBudget) > 0;
}

TEST(CConnection, PeerClosingDuringTheReceiveGivesMinusOne) {
    std::vector<uint8_t> whole = CFakePacket(2, {{"error", 0}, {"path", "/disk"}}).encode();
    for (size_t cut : {size_t{0}, size_t{7}, size_t{16}, whole.size() - 1}) {
        CFakeDiskServer server;
        server.expect().sendRaw(std::vector<uint8_t>(whole.begin(), whole.begin() + cut)).close();
        server.start();
        CConnection connection;
        ASSERT_TRUE(connectAndAsk(connection, server.port()));
        CPacket reply(2);
        EXPECT_EQ(connection.ReceivePacket(reply, -1), -1) << "cut at " << cut;
        EXPECT_FALSE(connection.IsOpen());
        ASSERT_TRUE(server.finish());
    }
}

TEST(CConnection, ReplyArrivingInPiecesIsReceivedWhole) {
    // The body is taken as far as it has arrived and waited for after that, at every split.
    std::vector<uint8_t> whole = CFakePacket(2, {{"error", 0}, {"path", "/disk"}}).encode();
    for (size_t cut : {size_t{3}, size_t{16}, size_t{20}, whole.size() - 1}) {
        CFakeDiskServer server;
        server.expect()
            .sendRaw(std::vector<uint8_t>(whole.begin(), whole.begin() + cut))
            .stall(50)
            .sendRaw(std::vector<uint8_t>(whole.begin() + cut, whole.end()));
        server.start();
        CConnection connection;
        ASSERT_TRUE(connectAndAsk(connection, server.port()));
        CPacket reply(2);
        EXPECT_EQ(connection.ReceivePacket(reply, kBudget), static_cast<int>(whole.size()))
            << "cut at " << cut;
        EXPECT_STREQ(reply.GetString("path", ""), "/disk");
        ASSERT_TRUE(server.finish());
    }
}

TEST(CConnection, BytesReadAheadAreServedFirstAndCountAsReadable) {
    // A reply, raw data and a second reply in one write: the first receive takes more than the
    // first packet, and every later call must still see the bytes in order.
    std::vector<uint8_t> raw(100);
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<uint8_t>(i * 7);
    }
    std::vector<uint8_t> all = CFakePacket(2, {{"error", 0}, {"n", 1}}).encode();
    all.insert(all.end(), raw.begin(), raw.end());
    std::vector<uint8_t> second = CFakePacket(2, {{"error", 0}, {"n", 2}}).encode();
    all.insert(all.end(), second.begin(), second.end());
    CFakeDiskServer server;
    server.expect().sendRaw(all).expectClosed().start();
    CConnection connection;
    ASSERT_TRUE(connectAndAsk(connection, server.port()));
    CPacket reply(2);
    ASSERT_GT(connection.ReceivePacket(reply, kBudget), 0);
    EXPECT_EQ(reply.GetInt("n", 0), 1);
    bool readable = true;
    ASSERT_TRUE(connection.WaitReady(&readable, nullptr, 0));
    EXPECT_TRUE(readable);
    std::vector<uint8_t> got(raw.size());
    ASSERT_TRUE(connection.RecvAll(got.data(), static_cast<int>(got.size()), kBudget));
    EXPECT_EQ(got, raw);
    ASSERT_GT(connection.ReceivePacket(reply, kBudget), 0);
    EXPECT_EQ(reply.GetInt("n", 0), 2);
    connection.Close();
    ASSERT_TRUE(server.finish());
}

TEST(CConnection, AReceiveTimesOutWithZeroAndTheNextOneWaitsItsOwnTime) {
    // The wait happens inside the receive with a time-out set on the socket; a later call with
    // a longer time-out must not inherit the short one.
    CFakeDiskServer server;
    server.expect().stall(400).sendRaw({1, 2, 3}).expectClosed().start();
    CConnection connection;
    ASSERT_TRUE(connectAndAsk(connection, server.port()));
    uint8_t bytes[3] = {};
    EXPECT_EQ(connection.RecvSome(bytes, 3, 50), 0);
    EXPECT_TRUE(connection.IsOpen());
    ASSERT_EQ(connection.RecvSome(bytes, 3, kBudget), 3);
    EXPECT_EQ(bytes[2], 3);
    connection.Close();
    ASSERT_TRUE(server.finish());
}

TEST(CConnection, OversizedBodyIsRefusedBeforeAnyBodyByteIsRead) {
    CFakeDiskServer server;
    std::vector<uint8_t> body(64, 0x55);
    server.sendRaw(withBody(CFakePacket::header(2, 2000000), body)).expectClosed().start();
    CConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), true));
    CPacket reply(2);
    // Without a time limit: a client that tried to read the body would wait until the server
    // gave up and closed, and report -1.
    // (Bytes that arrived with the header may have been read ahead; nothing waits for the rest.)
    EXPECT_EQ(connection.ReceivePacket(reply, -1), -3);
    EXPECT_FALSE(connection.IsOpen());
    ASSERT_TRUE(server.finish());
}

TEST(CConnection, LargestBodyIsAccepted) {
    CFakeDiskServer server;
    // One data item filling the body to exactly 1 MiB: 6 + 1 + value = 1,048,576.
    std::vector<uint8_t> data(1048576 - 7, 0xAB);
    server.replyFlags(0, {test::FakeItem::data("d", data)}).start();
    CConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), true));
    CPacket reply(2);
    EXPECT_EQ(connection.ReceivePacket(reply, kBudget), 16 + 1048576);
    EXPECT_EQ(reply.Find("d").size(), data.size());
    ASSERT_TRUE(server.finish());
}

TEST(CConnection, BadMagicWithPlausibleLengthIsReadWholeThenRefused) {
    CFakeDiskServer server;
    std::vector<uint8_t> body = {1, 0, 'a', 1, 0, 0, 0, 'z'};
    server.sendRaw(CFakePacket::header(0, 8, 'X', 'Y'))
        .stall(100)
        .sendRaw(body)
        .expectClosed()
        .start();
    CConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), true));
    CPacket reply(2);
    reply.SetInt("stale", 1);
    EXPECT_EQ(connection.ReceivePacket(reply, -1), -5);
    EXPECT_FALSE(connection.IsOpen());
    // The parse ran (it clears the packet first), so the whole body had been read...
    EXPECT_EQ(reply.Count(), 0);
    ASSERT_TRUE(server.finish());
    // ...and nothing was left unread at the close.
    EXPECT_FALSE(server.clientReset());
}

TEST(CConnection, SendingToAGonePeerFailsWithoutKillingTheProcess) {
    CFakeDiskServer server;
    server.reset().start();
    CConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), true));
    ASSERT_TRUE(server.finish());
    std::vector<uint8_t> big(256 * 1024, 1);
    CPacket request(0);
    request.SetData("d", big.data(), static_cast<uint32_t>(big.size()));
    // A broken pipe would raise SIGPIPE and end the test program here.
    int result = 0;
    for (int attempt = 0; attempt < 20 && result >= 0; ++attempt) {
        result = connection.SendPacket(request, kBudget);
    }
    EXPECT_EQ(result, -4);
    EXPECT_FALSE(connection.IsOpen());
}

TEST(CConnection, ConnectFailsForAPortNobodyListensOn) {
    CFakeDiskServer server;
    server.stall(1).start();
    ASSERT_TRUE(server.finish()); // no longer listening
    CConnection connection;
    EXPECT_FALSE(connection.Connect("127.0.0.1", server.port(), true));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(connection.Connect("", server.port(), true));
}

TEST(CConnection, WaitReadyAndPartialCallsOnAClosedSocket) {
    CConnection connection;
    bool read = true;
    EXPECT_FALSE(connection.WaitReady(&read, nullptr, 0));
    uint8_t byte = 0;
    EXPECT_EQ(connection.SendSome(&byte, 1, 0), -1);
    EXPECT_EQ(connection.RecvSome(&byte, 1, -1), -1);
    EXPECT_FALSE(connection.RecvAll(&byte, 1, -1));
    EXPECT_TRUE(connection.RecvAll(&byte, 0, -1)); // nothing asked, nothing to fail
}

TEST(CSessionExchange, TwoThreadsOnOneSessionNeverInterleavePackets) {
    constexpr int kRounds = 25;
    CFakeDiskServer server;
    for (int i = 0; i < 2 * kRounds; ++i) {
        server.expect("ping").reply({{"error", 0}, {"pad", std::string(3000, 'p')}});
    }
    server.start();
    CSession session;
    session.timeout = kBudget;
    ASSERT_TRUE(session.connection.Connect("127.0.0.1", server.port(), true));
    auto worker = [&session](int* good) {
        for (int i = 0; i < kRounds; ++i) {
            CPacket request(2);
            request.SetString("_cmd", "ping");
            request.SetString("body", std::string(5000, 'b').c_str());
            CPacket reply(2);
            *good += Exchange(session, request, reply) && reply.GetInt("error", -1) == 0 ? 1 : 0;
        }
    };
    int goodA = 0;
    int goodB = 0;
    std::thread a(worker, &goodA);
    std::thread b(worker, &goodB);
    a.join();
    b.join();
    EXPECT_EQ(goodA + goodB, 2 * kRounds);
    ASSERT_TRUE(server.finish());
}

} // namespace
} // namespace tavik
