// Stopping the tavik-server program: SIGTERM closes the listener and idle connections at once,
// lets a running upload finish within drain_timeout_ms, and ends what still runs after it.
#include "tests/cli/CChildProcess.h"
#include "tests/server/CServerHarness.h"
#include "tests/support/ProgramLog.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace tavik::test {
namespace {

std::unique_ptr<CPacket> uploadRequest(uint32_t size) {
    auto request = CTestClient::request("upload");
    request->SetString("path", "/demo/up.bin");
    request->SetInt("startpos", 0);
    request->SetInt("endpos", static_cast<int32_t>(size));
    request->SetInt("istrunc", 1);
    return request;
}

struct Drain {
    const char* drainMs;
    bool finishUpload; // the client sends the rest of its data after SIGTERM
};

class ServerStopTest : public ::testing::TestWithParam<Drain> {};

TEST_P(ServerStopTest, SigtermDrainsRunningTransfers) {
    static constexpr uint32_t kSize = 96 * 1024;
    const Drain drain = GetParam();
    CTempFolder folder;
    ASSERT_TRUE(folder.write("server.toml", std::string("[server]\nport = 0\ndrain_timeout_ms = ") +
                                                drain.drainMs +
                                                "\n[[disk]]\nid = \"demo\"\nroot = \".\"\n"));
    const std::string log = folder.file("server.log");
    CChildProcess program({TAVIK_SERVER_PROGRAM, "--config", folder.file("server.toml")}, {},
                          std::nullopt, log);
    const std::string port = awaitGroup(log, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    ASSERT_FALSE(port.empty()) << fileText(log);
    const auto portNumber = static_cast<uint16_t>(std::stoi(port));
    CTestClient uploader;
    CTestClient idle;
    ASSERT_TRUE(uploader.connect(portNumber));
    ASSERT_TRUE(idle.connect(portNumber));
    ASSERT_EQ(uploader.login(), 0);
    ASSERT_EQ(idle.login(), 0);
    const std::string data(kSize, 'd');
    ASSERT_EQ(uploader.call(*uploadRequest(kSize)), 0);
    ASSERT_TRUE(uploader.sendRaw(data.substr(0, kSize / 2)));

    program.signal(SIGTERM);
    EXPECT_FALSE(awaitGroup(log, std::regex("stopping")).empty()) << fileText(log);
    // The idle connection is ended at once and no newcomer is taken.
    EXPECT_TRUE(idle.closedByPeer());
    CTestClient late;
    EXPECT_TRUE(!late.connect(portNumber) || late.closedByPeer());
    if (drain.finishUpload) {
        ASSERT_TRUE(uploader.sendRaw(data.substr(kSize / 2)));
        CPacket closing;
        ASSERT_TRUE(uploader.receive(closing));
        EXPECT_EQ(closing.GetInt("error", -1), 0);
        EXPECT_EQ(folder.read("up.bin"), data);
    }
    // Either way the upload's connection ends and the program stops cleanly.
    EXPECT_TRUE(uploader.closedByPeer());
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0) << fileText(log);
    if (!drain.finishUpload) {
        EXPECT_NE(fileText(log).find("still running after the drain"), std::string::npos)
            << fileText(log);
    }
}

INSTANTIATE_TEST_SUITE_P(Drains, ServerStopTest,
                         ::testing::Values(Drain{"20000", true}, Drain{"200", false}));

} // namespace
} // namespace tavik::test
