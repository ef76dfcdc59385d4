// The data phases of "download", "upload" and "copyex" as the raw bytes on the connection.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"

#include "sdk/include/TavikErrors.h"
#include "tls/Fingerprint.h"
#include "tls/SelfSignedPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    }
    return bytes;
}

std::string wireBytes(CPacket& packet) {
    std::string bytes(static_cast<size_t>(packet.SizeBound()), '\0');
    const int n =
        packet.Serialize(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

std::unique_ptr<CPacket> rangeRequest(const char* command, const char* path, uint32_t start,
                                      uint32_t end) {
    auto request = CTestClient::request(command);
    request->SetString("path", path);
    request->SetInt("startpos", static_cast<int32_t>(start));
    request->SetInt("endpos", static_cast<int32_t>(end));
    return request;
}

class ServerTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness.running());
        ASSERT_TRUE(client.connect(harness.port()));
        ASSERT_EQ(client.login(), 0);
    }
    CServerHarness harness;
    CTestClient client;
};

TEST_F(ServerTransferTest, DownloadSendsTheRangeThenAClosingReply) {
    const std::string content = pattern(3 * 65536 + 17);
    writeFile(harness.disk("big"), content);
    for (const auto& [start, end] : {std::pair<uint32_t, uint32_t>{0, 0},
                                     {0, 1},
                                     {100, 65536 + 100},
                                     {0, static_cast<uint32_t>(content.size())}}) {
        auto request = rangeRequest("download", "/demo/big", start, end);
        ASSERT_EQ(client.call(*request), 0);
        std::string bytes;
        ASSERT_TRUE(client.recvRaw(bytes, end - start));
        EXPECT_EQ(bytes, content.substr(start, end - start));
        CPacket closing;
        ASSERT_TRUE(client.receive(closing));
        EXPECT_EQ(closing.GetInt("error", -1), 0);
    }
}

TEST_F(ServerTransferTest, DownloadRangeIsCheckedBeforeTheFirstReply) {
    writeFile(harness.disk("small"), "12345");
    EXPECT_EQ(client.call(*rangeRequest("download", "/demo/small", 0, 6)),
              TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(client.call(*rangeRequest("download", "/demo/small", 4, 2)),
              TAVIK_ERR_WRONG_PARAMETER);
    EXPECT_EQ(client.call(*rangeRequest("download", "/demo/none", 0, 0)), TAVIK_ERR_NOT_EXIST);
    fs::create_directory(harness.disk("folder"));
    EXPECT_EQ(client.call(*rangeRequest("download", "/demo/folder", 0, 0)), TAVIK_ERR_REMOTE_FILE);
    // The connection is still in step: a normal command follows.
    EXPECT_EQ(client.call(*CTestClient::request("getserverinfo")), 0);
}

TEST_F(ServerTransferTest, UploadWritesTheRangeAndResumesWithoutTruncating) {
    const std::string content = pattern(200000);
    auto first = rangeRequest("upload", "/demo/up", 0, 120000);
    first->SetInt("istrunc", 1);
    ASSERT_EQ(client.call(*first), 0);
    ASSERT_TRUE(client.sendRaw(content.substr(0, 120000)));
    CPacket closing;
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);

    auto rest = rangeRequest("upload", "/demo/up", 120000, 200000);
    rest->SetInt("istrunc", 0);
    ASSERT_EQ(client.call(*rest), 0);
    ASSERT_TRUE(client.sendRaw(content.substr(120000)));
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);
    EXPECT_EQ(readFile(harness.disk("up")), content);

    auto again = rangeRequest("upload", "/demo/up", 0, 3);
    again->SetInt("istrunc", 1);
    ASSERT_EQ(client.call(*again), 0);
    ASSERT_TRUE(client.sendRaw("xyz"));
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(readFile(harness.disk("up")), "xyz");
}

TEST_F(ServerTransferTest, RequestsAndDataSentInOneWriteAreTakenInTurn) {
    // A client that does not wait between its packets and its data must not lose any of them.
    auto info = CTestClient::request("getserverinfo");
    auto upload = rangeRequest("upload", "/demo/early", 0, 6);
    upload->SetInt("istrunc", 1);
    std::string bytes = wireBytes(*info) + wireBytes(*upload) + "abcdef" + wireBytes(*info);
    ASSERT_TRUE(client.sendRaw(bytes));
    for (const char* expected : {"info", "upload", "closing", "info"}) {
        CPacket reply;
        ASSERT_TRUE(client.receive(reply)) << expected;
        EXPECT_EQ(reply.GetInt("error", -1), 0) << expected;
    }
    EXPECT_EQ(readFile(harness.disk("early")), "abcdef");
}

TEST_F(ServerTransferTest, UploadIntoAMissingFolderIsRefusedAtOnce) {
    auto request = rangeRequest("upload", "/demo/no/such", 0, 10);
    request->SetInt("istrunc", 1);
    EXPECT_EQ(client.call(*request), TAVIK_ERR_NOT_EXIST);
    EXPECT_EQ(client.call(*CTestClient::request("getserverinfo")), 0);
}

TEST_F(ServerTransferTest, ClientGoneMidUploadLeavesTheBytesReceived) {
    auto request = rangeRequest("upload", "/demo/partial", 0, 100000);
    request->SetInt("istrunc", 1);
    ASSERT_EQ(client.call(*request), 0);
    ASSERT_TRUE(client.sendRaw(std::string(40000, 'p')));
    client.stream().close();
    // The server notices the close; a second client then sees the 40000 bytes.
    CTestClient other;
    ASSERT_TRUE(other.connect(harness.port()));
    ASSERT_EQ(other.login(), 0);
    int32_t size = -1;
    for (int attempt = 0; attempt < 200 && size != 40000; ++attempt) {
        auto length = CTestClient::request("getlength");
        length->SetString("filename", "/demo/partial");
        CPacket reply;
        ASSERT_EQ(other.call(*length, reply), 0);
        size = reply.GetInt("size", -1);
        if (size != 40000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_EQ(size, 40000);
}

TEST(ServerUploadQuota, UploadBeyondTheQuotaIsRefusedBeforeAnyByte) {
    CServerHarness harness(
        [](server::CServerConfig& config) { config.disks.front().quota = 100000; });
    ASSERT_TRUE(harness.running());
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    ASSERT_EQ(client.login(), 0);
    auto tooBig = rangeRequest("upload", "/demo/f", 0, 100001);
    tooBig->SetInt("istrunc", 1);
    CPacket reply;
    EXPECT_EQ(client.call(*tooBig, reply), TAVIK_ERR_DISK_FULL);
    EXPECT_STREQ(reply.GetString("errstr", ""), "disk full");
    auto fits = rangeRequest("upload", "/demo/f", 0, 100000);
    fits->SetInt("istrunc", 1);
    ASSERT_EQ(client.call(*fits), 0);
    ASSERT_TRUE(client.sendRaw(std::string(100000, 'q')));
    CPacket closing;
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);
}

TEST_F(ServerTransferTest, CountersFollowARunningUpload) {
    auto request = rangeRequest("upload", "/demo/slow", 0, 10);
    request->SetInt("istrunc", 1);
    ASSERT_EQ(client.call(*request), 0);
    ASSERT_TRUE(client.sendRaw("12345"));
    CTestClient watcher;
    ASSERT_TRUE(watcher.connect(harness.port()));
    ASSERT_EQ(watcher.login(), 0);
    // The upload's thread counts itself once it starts reading the data, which may be a moment
    // after its first reply reached the client.
    CPacket info;
    for (int attempt = 0; attempt < 250; ++attempt) {
        info.Clear();
        ASSERT_EQ(watcher.call(*CTestClient::request("getserverinfo"), info), 0);
        if (info.GetInt("nUpNum", -1) != 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(info.GetInt("nUpNum", -1), 1);
    EXPECT_EQ(info.GetInt("nCurrentNum", -1), 2);
    ASSERT_TRUE(client.sendRaw("67890"));
    CPacket closing;
    ASSERT_TRUE(client.receive(closing));
    CPacket after;
    ASSERT_EQ(watcher.call(*CTestClient::request("getserverinfo"), after), 0);
    EXPECT_EQ(after.GetInt("nUpNum", -1), 0);
}

// "copyex" of /demo/src to /demo/dst on the server at 127.0.0.2:port.
std::unique_ptr<CPacket> copyRequest(uint16_t port, uint32_t start, uint32_t end,
                                     const char* id = "demo") {
    auto request = CTestClient::request("copyex");
    request->SetString("ip", "127.0.0.2");
    request->SetInt("port", port);
    request->SetString("id", id);
    request->SetString("pass", "");
    request->SetString("srcpath", "/demo/src");
    request->SetString("destpath", "/demo/dst");
    request->SetInt("startpos", static_cast<int32_t>(start));
    request->SetInt("endpos", static_cast<int32_t>(end));
    request->SetInt("istrunc", 1);
    return request;
}

// Reads position words until the end position (the closing reply comes after).
std::vector<uint32_t> readPositions(CTestClient& client, uint32_t end) {
    std::vector<uint32_t> positions;
    for (;;) {
        std::string word;
        if (!client.recvRaw(word, 4)) {
            break;
        }
        const auto* b = reinterpret_cast<const uint8_t*>(word.data());
        positions.push_back(b[0] | b[1] << 8 | b[2] << 16 | uint32_t{b[3]} << 24);
        if (positions.back() == end) {
            break;
        }
    }
    return positions;
}

// "copyex" from a server on 127.0.0.1 to one on 127.0.0.2.
class ServerCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(source.running());
        if (!target.running()) {
            GTEST_SKIP() << "127.0.0.2 is not available";
        }
        ASSERT_TRUE(client.connect(source.port()));
        ASSERT_EQ(client.login(), 0);
    }
    std::unique_ptr<CPacket> copyRequest(uint32_t start, uint32_t end, const char* id = "demo") {
        return test::copyRequest(target.port(), start, end, id);
    }
    std::vector<uint32_t> readPositions(uint32_t end) { return test::readPositions(client, end); }
    // Copies may go to 127.0.0.2 (any port) only.
    CServerHarness source{
        [](server::CServerConfig& config) { config.copyTargets = {"127.0.0.2"}; }};
    CServerHarness target{{}, "127.0.0.2"};
    CTestClient client;
};

TEST_F(ServerCopyTest, CopiesTheRangeAndReportsGrowingPositionsEndingAtTheEnd) {
    const std::string content = pattern(200000);
    writeFile(source.disk("src"), content);
    ASSERT_EQ(client.call(*copyRequest(0, 200000)), 0);
    const auto positions = readPositions(200000);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 200000u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.front(), 65536u);
    CPacket closing;
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);
    EXPECT_EQ(readFile(target.disk("dst")), content);
}

TEST_F(ServerCopyTest, EmptyRangeStillSendsOneWord) {
    writeFile(source.disk("src"), "abc");
    ASSERT_EQ(client.call(*copyRequest(3, 3)), 0);
    EXPECT_EQ(readPositions(3), std::vector<uint32_t>{3});
    CPacket closing;
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);
}

TEST_F(ServerCopyTest, FailuresToReachTheOtherServerComeInTheFirstReply) {
    writeFile(source.disk("src"), "abc");
    EXPECT_EQ(client.call(*copyRequest(0, 3, "nobody")), TAVIK_ERR_WRONG_ID);
    EXPECT_EQ(client.call(*copyRequest(0, 4)), TAVIK_ERR_WRONG_PARAMETER);
    auto unreachable = copyRequest(0, 3);
    unreachable->SetInt("port", 1);
    EXPECT_EQ(client.call(*unreachable), TAVIK_ERR_CONNECT_FAIL);
    // Anywhere not listed is refused before any connection is tried.
    for (const char* ip : {"127.0.0.1", "127.0.0.22", "localhost", "127.0.0.2 "}) {
        auto elsewhere = copyRequest(0, 3);
        elsewhere->SetString("ip", ip);
        EXPECT_EQ(client.call(*elsewhere), TAVIK_ERR_NOT_ALLOWED) << ip;
    }
    EXPECT_EQ(client.call(*CTestClient::request("getserverinfo")), 0);
}

// The copying server logs in to the other one with its client's password: over TLS wherever
// that server speaks it, with a certificate copy_fingerprints (or a CA) vouches for, and in
// plain only with a server that has no TLS. A target that requires TLS proves it was used.
TEST(ServerCopySecurity, TheOtherServerIsReachedAsCopyTlsSays) {
    std::string error;
    const auto pair = tls::makeSelfSignedPair({"127.0.0.2"}, error);
    ASSERT_TRUE(pair) << error;
    const std::shared_ptr<const tls::CTlsContext> targetTls =
        tls::CTlsContext::forServerPem(pair->certificate, pair->key, error);
    ASSERT_TRUE(targetTls) << error;
    using Mode = server::CopySecurity::Mode;
    enum class Target { Requires, Offers, Plain };
    enum class Pin { None, Target, Other };
    const struct Row {
        const char* name;
        Target target;
        Mode mode;
        Pin pin;
        int32_t error;
    } rows[] = {
        {"pinned", Target::Requires, Mode::Preferred, Pin::Target, 0},
        {"pinned, TLS required", Target::Requires, Mode::Required, Pin::Target, 0},
        {"self-signed, no pin: never plain instead", Target::Offers, Mode::Preferred, Pin::None,
         TAVIK_ERR_CONNECT_FAIL},
        {"another certificate pinned", Target::Offers, Mode::Preferred, Pin::Other,
         TAVIK_ERR_CONNECT_FAIL},
        {"off: plain", Target::Offers, Mode::Off, Pin::None, 0},
        {"plain-only server, TLS preferred", Target::Plain, Mode::Preferred, Pin::None, 0},
        {"plain-only server, TLS required", Target::Plain, Mode::Required, Pin::Target,
         TAVIK_ERR_CONNECT_FAIL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CServerHarness target(
            [&](server::CServerConfig& config) {
                if (row.target != Target::Plain) {
                    config.tls = targetTls;
                }
                config.requireTls = row.target == Target::Requires;
            },
            "127.0.0.2");
        if (!target.running()) {
            GTEST_SKIP() << "127.0.0.2 is not available";
        }
        CServerHarness source([&](server::CServerConfig& config) {
            config.copyTargets = {"127.0.0.2"};
            config.copySecurity.mode = row.mode;
            if (row.pin != Pin::None) {
                config.copySecurity.fingerprints = {
                    row.pin == Pin::Target ? targetTls->fingerprint()
                                           : *tls::parseFingerprint(std::string(64, 'a'))};
            }
        });
        ASSERT_TRUE(source.running());
        CTestClient client;
        ASSERT_TRUE(client.connect(source.port()));
        ASSERT_EQ(client.login(), 0);
        writeFile(source.disk("src"), "abc");
        ASSERT_EQ(client.call(*copyRequest(target.port(), 0, 3)), row.error);
        if (row.error == 0) {
            EXPECT_EQ(readPositions(client, 3), std::vector<uint32_t>{3});
            CPacket closing;
            ASSERT_TRUE(client.receive(closing));
            EXPECT_EQ(closing.GetInt("error", -1), 0);
            EXPECT_EQ(readFile(target.disk("dst")), "abc");
        } else {
            EXPECT_FALSE(fs::exists(target.disk("dst")));
            // The refusal leaves the client's connection usable.
            EXPECT_EQ(client.call(*CTestClient::request("getserverinfo")), 0);
        }
    }
}

} // namespace
} // namespace tavik::test
