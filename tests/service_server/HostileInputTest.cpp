// Hostile clients of the service servers: each is cut off alone, and the others are still served.
#include "tests/service_server/CServiceHarness.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavik::test {
namespace {

// A normal client still gets its answers from both servers.
void expectServed(CServiceHarness& harness, const std::string& source) {
    CRawClient client;
    ASSERT_TRUE(client.connect(harness.authPort(), source));
    TextPairs login = handLogin(client, "bob@tavik.local", CServiceHarness::kBobPassword);
    EXPECT_EQ(login["result"], "0") << source;
    EXPECT_EQ(
        handDiskInfo(harness.diskInfoPort(), "bob@tavik.local", source, login["kid"])["inform"],
        "GetDiskInfo")
        << source;
}

TEST(HostileInputTest, MalformedAndHugeFramesCloseOnlyTheirConnection) {
    // Time-outs far beyond the wait below: a close can only come from the input itself.
    CServiceHarness harness([](server::CServerConfig& config) {
        config.service.idleTimeoutMs = 120000;
        config.service.frameTimeoutMs = 120000;
    });
    ASSERT_TRUE(harness.running());
    Bytes fourGiBHeader = {0x01, 0x31, 0x30, 0xF2, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xFF, 0xFF};
    Bytes fourGiBBody = CHandFrames::message("ctrl=general", "");
    // Body length field (after the 12-byte header "ctrl=general") announces 4 GiB - 1.
    std::fill(fourGiBBody.begin() + 24, fourGiBBody.begin() + 28, 0xFF);
    Bytes fourGiBForm;
    CHandFrames::le32(fourGiBForm, 0xFFFFFFFF);
    CHandFrames::le32(fourGiBForm, 16);
    Bytes formTextPastTotal;
    CHandFrames::le32(formTextPastTotal, 12);
    CHandFrames::le32(formTextPastTotal, 100);

    struct Row {
        const char* name;
        bool auth;
        Bytes bytes;
    };
    const Row rows[] = {
        {"bad magic", true, {0x01, 0x31, 0x30, 0xF3, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"HTTP on the message port", true, {'G', 'E', 'T', ' ', '/'}},
        {"4 GiB header", true, fourGiBHeader},
        {"4 GiB body", true, fourGiBBody},
        {"4 GiB form frame", false, fourGiBForm},
        {"form text past its frame", false, formTextPastTotal},
    };
    for (const Row& row : rows) {
        CRawClient hostile;
        ASSERT_TRUE(
            hostile.connect(row.auth ? harness.authPort() : harness.diskInfoPort(), "127.0.0.5"));
        ASSERT_TRUE(hostile.send(row.bytes)) << row.name;
        EXPECT_TRUE(hostile.closedByPeer()) << row.name;
    }
    expectServed(harness, "127.0.0.1");
}

TEST(HostileInputTest, DribblingAndIdleClientsAreCutOffWhileOthersAreServed) {
    CServiceHarness harness; // idle time-out 3 s, frame time-out 1.5 s, 16 per address
    ASSERT_TRUE(harness.running());

    // Hundreds of idle connections from one address: beyond its share they are closed at once,
    // the rest when idle; nobody else is kept out meanwhile.
    std::vector<std::unique_ptr<CRawClient>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<CRawClient>());
        ASSERT_TRUE(
            idle.back()->connect(i % 2 ? harness.authPort() : harness.diskInfoPort(), "127.0.0.7"));
    }
    expectServed(harness, "127.0.0.1");

    // A frame dribbled one byte at a time: the whole frame must arrive within 1.5 s, however
    // steadily the bytes come.
    CRawClient dribbler;
    ASSERT_TRUE(dribbler.connect(harness.authPort(), "127.0.0.8"));
    const Bytes frame = CHandFrames::message("ctrl=general&general=queryNode&bodytype=0", "");
    bool cutOff = false;
    for (const uint8_t byte : frame) {
        if (!dribbler.send({byte}) || !dribbler.silentFor(100)) {
            cutOff = true;
            break;
        }
    }
    EXPECT_TRUE(cutOff || dribbler.closedByPeer(5000)) << "a 57-byte frame over 5.7 s";
    expectServed(harness, "127.0.0.9");

    size_t closed = 0;
    for (auto& connection : idle) {
        closed += connection->closedByPeer(10000) ? 1 : 0;
    }
    EXPECT_EQ(closed, idle.size()) << "every idle connection ends";
    expectServed(harness, "127.0.0.7");
}

} // namespace
} // namespace tavik::test
