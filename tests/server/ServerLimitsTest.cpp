// The limits a client must not get around: the time to log in, connections per address, the
// deadline of a whole packet and of each data block, the quota across sessions, sparse copies,
// the memory of directory cursors, and remote commands that outlive their output or deadline.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"

#include "server/CRemoteCommand.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

std::string wireBytes(CPacket& packet) {
    std::string bytes(static_cast<size_t>(packet.SizeBound()), '\0');
    const int n =
        packet.Serialize(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

std::unique_ptr<CPacket> upload(const std::string& path, uint32_t start, uint32_t end) {
    auto request = CTestClient::request("upload");
    request->SetString("path", path.c_str());
    request->SetInt("startpos", static_cast<int32_t>(start));
    request->SetInt("endpos", static_cast<int32_t>(end));
    request->SetInt("istrunc", 1);
    return request;
}

// Sends bytes one at a time, each well within the request time-out of the servers below;
// false as soon as the server has closed the connection.
bool dribble(CTestClient& client, const std::string& bytes) {
    for (const char byte : bytes) {
        if (!client.sendRaw(std::string(1, byte))) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        if (client.stream().peerGone()) {
            return false;
        }
    }
    return true;
}

TEST(ServerLimits, ActivityBeforeLoginDoesNotKeepTheConnection) {
    CServerHarness harness([](server::CServerConfig& config) { config.loginTimeoutMs = 400; });
    ASSERT_TRUE(harness.running());
    CTestClient early;
    ASSERT_TRUE(early.connect(harness.port()));
    CTestClient member;
    ASSERT_TRUE(member.connect(harness.port()));
    ASSERT_EQ(member.login(), 0);
    // Refused requests every 100 ms (bounded to 10 s): the connection goes all the same.
    bool closed = false;
    for (int i = 0; i < 100 && !closed; ++i) {
        closed = early.call(*CTestClient::request("getserverinfo")) == CTestClient::kNoReply;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(closed);
    // The deadline is for logging in: a logged-in connection stays.
    EXPECT_EQ(member.call(*CTestClient::request("getserverinfo")), 0);
}

TEST(ServerLimits, ConnectionsPerAddressAreCapped) {
    CServerHarness harness(
        [](server::CServerConfig& config) { config.maxConnectionsPerAddress = 2; });
    ASSERT_TRUE(harness.running());
    CTestClient first;
    CTestClient second;
    CTestClient third;
    ASSERT_TRUE(first.connect(harness.port()));
    ASSERT_TRUE(second.connect(harness.port()));
    ASSERT_EQ(first.login(), 0);
    ASSERT_EQ(second.login(), 0);
    ASSERT_TRUE(third.connect(harness.port()));
    // Told why rather than cut off: a bare close reads as a socket error to the client.
    EXPECT_EQ(third.login(), TAVIK_ERR_SESSION_LIMIT);
    EXPECT_TRUE(third.closedByPeer());
    // Once one leaves, the address may connect again.
    first.stream().close();
    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        CTestClient again;
        served = again.connect(harness.port()) && again.login() == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(served);
    // Other addresses do not count against it.
    CTestClient elsewhere;
    if (elsewhere.connect(harness.port(), "127.0.0.2")) {
        EXPECT_NE(elsewhere.login(), CTestClient::kNoReply);
    }
}

TEST(ServerLimits, APacketOrDataBlockDribbledByteByByteIsCutOff) {
    CServerHarness harness([](server::CServerConfig& config) { config.requestTimeoutMs = 400; });
    ASSERT_TRUE(harness.running());
    CTestClient packet;
    ASSERT_TRUE(packet.connect(harness.port()));
    ASSERT_EQ(packet.login(), 0);
    auto request = CTestClient::request("getserverinfo");
    request->SetString("padding", std::string(60, 'x').c_str());
    const std::string bytes = wireBytes(*request);
    EXPECT_FALSE(dribble(packet, bytes)) << "the whole packet arrived and was kept waiting for";

    CTestClient data;
    ASSERT_TRUE(data.connect(harness.port()));
    ASSERT_EQ(data.login(), 0);
    ASSERT_EQ(data.call(*upload("/demo/slow", 0, 100)), 0);
    EXPECT_FALSE(dribble(data, std::string(100, 'd')));
    EXPECT_TRUE(harness.running());
}

TEST(ServerLimits, UploadsStartedTogetherCannotShareTheSameFreeSpace) {
    constexpr uint32_t kMiB = 1024 * 1024;
    CServerHarness harness(
        [](server::CServerConfig& config) { config.disks.front().quota = 10 * kMiB; });
    ASSERT_TRUE(harness.running());
    CTestClient a;
    CTestClient b;
    ASSERT_TRUE(a.connect(harness.port()));
    ASSERT_TRUE(b.connect(harness.port()));
    ASSERT_EQ(a.login(), 0);
    ASSERT_EQ(b.login(), 0);
    // A's 6 MiB are promised before its first byte; B cannot count on them as well.
    ASSERT_EQ(a.call(*upload("/demo/a", 0, 6 * kMiB)), 0);
    EXPECT_EQ(b.call(*upload("/demo/b", 0, 6 * kMiB)), TAVIK_ERR_DISK_FULL);
    EXPECT_EQ(b.call(*upload("/demo/b", 0, 5 * kMiB)), TAVIK_ERR_DISK_FULL);
    ASSERT_TRUE(a.sendRaw(std::string(6 * kMiB, 'a')));
    CPacket closing;
    ASSERT_TRUE(a.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);
    // Stored now, and the promise given back: exactly what is left fits.
    EXPECT_EQ(b.call(*upload("/demo/b", 0, 4 * kMiB + 1)), TAVIK_ERR_DISK_FULL);
    ASSERT_EQ(b.call(*upload("/demo/b", 0, 4 * kMiB)), 0);
    ASSERT_TRUE(b.sendRaw(std::string(4 * kMiB, 'b')));
    ASSERT_TRUE(b.receive(closing));
    EXPECT_EQ(closing.GetInt("error", -1), 0);
    EXPECT_EQ(fs::file_size(harness.disk("a")) + fs::file_size(harness.disk("b")), 10u * kMiB);
}

TEST(ServerLimits, SparseFilesCopyAsSparseAndCountWithTheirApparentSize) {
    for (const bool withQuota : {false, true}) {
        CServerHarness harness([withQuota](server::CServerConfig& config) {
            if (withQuota) {
                config.disks.front().quota = 10 * 1024 * 1024;
            }
        });
        ASSERT_TRUE(harness.running());
        // What a 15-byte upload at 2^31 - 16 leaves behind.
        {
            std::ofstream out(harness.disk("sparse"), std::ios::binary);
            out.seekp((1LL << 31) - 16);
            out << "fifteen bytes!!";
        }
        fs::create_directory(harness.disk("copies"));
        CTestClient client;
        ASSERT_TRUE(client.connect(harness.port()));
        ASSERT_EQ(client.login(), 0);
        auto copy = CTestClient::request("copyfile");
        copy->SetString("srcpath", "/demo/sparse");
        copy->SetString("dirpath", "/demo/copies");
        const int32_t error = client.call(*copy);
        if (withQuota) {
            EXPECT_EQ(error, TAVIK_ERR_DISK_FULL);
            EXPECT_FALSE(fs::exists(harness.disk("copies/sparse")));
            continue;
        }
        ASSERT_EQ(error, 0);
        struct stat info {};
        ASSERT_EQ(::stat(harness.disk("copies/sparse").c_str(), &info), 0);
        EXPECT_EQ(info.st_size, (1LL << 31) - 1);
        EXPECT_LT(info.st_blocks * 512, 1024 * 1024) << "the holes were written out";
        std::ifstream in(harness.disk("copies/sparse"), std::ios::binary);
        in.seekg((1LL << 31) - 16);
        std::string tail(15, '\0');
        in.read(tail.data(), 15);
        EXPECT_EQ(tail, "fifteen bytes!!");
    }
}

TEST(ServerLimits, DirectoryCursorsOfASessionHaveABoundedMemory) {
    CServerHarness harness;
    ASSERT_TRUE(harness.running());
    constexpr int kFiles = 2000;
    const std::string longName(200, 'n');
    fs::create_directory(harness.disk("big"));
    for (int i = 0; i < kFiles; ++i) {
        std::ofstream(harness.disk("big/" + longName + std::to_string(i)));
    }
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    ASSERT_EQ(client.login(), 0);
    const auto open = [&client](int32_t& handle) {
        auto request = CTestClient::request("opendir");
        request->SetString("path", "/demo/big");
        CPacket reply;
        const int32_t error = client.call(*request, reply);
        handle = reply.GetInt("hdir", 0);
        return error;
    };
    // Each cursor holds about 400 KiB of names: far fewer than the 32 a session may open fit.
    std::vector<int32_t> handles;
    int32_t handle = 0;
    int32_t error = 0;
    while (handles.size() < 32 && (error = open(handle)) == 0) {
        handles.push_back(handle);
    }
    EXPECT_EQ(error, TAVIK_ERR_REMOTE_FILE);
    EXPECT_GT(handles.size(), 1u);
    EXPECT_LT(handles.size(), 32u);
    // Closing one gives its memory back to the session: another opens, and walks every name.
    auto close = CTestClient::request("closedir");
    close->SetInt("hdir", handles.front());
    ASSERT_EQ(client.call(*close), 0);
    ASSERT_EQ(open(handle), 0);
    auto read = CTestClient::request("readdir");
    read->SetInt("hdir", handle);
    CPacket reply;
    ASSERT_EQ(client.call(*read, reply), 0);
    EXPECT_EQ(reply.GetString("file", ""), longName + "0");
}

// True when the process is gone (or only a zombie awaiting its reaper), waiting up to 10 s.
bool processGone(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const size_t close = text.rfind(')');
        if (text.empty() || (close != std::string::npos && text.substr(close + 2, 1) == "Z")) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(ServerLimits, RemoteCommandsEndWithTheirGroupAtTheDeadlineAndMarkCutOutput) {
    CServerHarness harness([](server::CServerConfig& config) {
        config.allowedCommands = {"sh"};
        config.commandTimeoutMs = 500;
    });
    ASSERT_TRUE(harness.running());
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    ASSERT_EQ(client.login(), 0);
    const auto run = [&client](const char* command, std::string& text, int32_t& exitCode) {
        auto request = CTestClient::request("remotecmd");
        request->SetString("command", command);
        request->SetInt("getresult", 1);
        CPacket reply;
        const int32_t error = client.call(*request, reply);
        const auto result = reply.Find("result");
        text.assign(result.begin(), result.end());
        exitCode = reply.GetInt("exitcode", -2);
        EXPECT_EQ(reply.GetInt("retlen", -1), static_cast<int32_t>(text.size())) << command;
        return error;
    };
    const std::string timeout = server::CRemoteCommand::kTimeoutMarker;
    const std::string cut = server::CRemoteCommand::kCutMarker;
    std::string text;
    int32_t exitCode = 0;
    // Output closed at once, program running on: ended at the deadline, not when it pleases
    // (the test client would give up after 20 s).
    ASSERT_EQ(run("sh -c \"exec >/dev/null 2>&1; sleep 30\"", text, exitCode), 0);
    EXPECT_EQ(exitCode, -1);
    EXPECT_EQ(text, timeout + std::string(1, '\0'));
    // Helpers left behind go with the program: one that keeps the output open, one that does
    // not, and ones that left the group and session for their own (setsid), the last one also
    // orphaned at once (forked by a process that then ended).
    for (const char* command :
         {"sh -c \"sleep 30 & echo $!\"", "sh -c \"sleep 30 >/dev/null 2>&1 & echo $!\"",
          "sh -c \"setsid sleep 30 & echo $!\"",
          "sh -c \"setsid -f sh -c 'echo $$; exec sleep 30 >/dev/null 2>&1' | cat\""}) {
        ASSERT_EQ(run(command, text, exitCode), 0) << command;
        const pid_t helper = std::atoi(text.c_str());
        ASSERT_GT(helper, 0) << command;
        EXPECT_TRUE(processGone(helper)) << command;
    }
    // Output beyond 512 KiB is cut, and says so; "retlen" counts what is sent.
    ASSERT_EQ(run("sh -c \"yes | head -c 600000\"", text, exitCode), 0);
    ASSERT_GT(text.size(), cut.size() + 1);
    EXPECT_EQ(text.size(), 512 * 1024 + cut.size() + 1);
    EXPECT_EQ(text.substr(text.size() - cut.size() - 1, cut.size()), cut);
}

} // namespace
} // namespace tavik::test
