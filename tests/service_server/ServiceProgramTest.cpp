// The tavik-server program: --demo serves all three protocols, and "session-key" issues keys
// that the running server accepts once.
#include "sdk/include/TavikSDK.h"
#include "server/CPasswordHash.h"
#include "tests/cli/CChildProcess.h"
#include "tests/service_server/CServiceHarness.h"
#include "tests/support/ProgramLog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>

namespace tavik::test {
namespace {

struct Ports {
    uint16_t disk = 0;
    uint16_t auth = 0;
    uint16_t diskInfo = 0;
};

Ports portsOf(const std::string& stderrFile) {
    const auto disk = awaitLine(stderrFile, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    const auto services = awaitLine(
        stderrFile, std::regex(R"(authentication server on 127\.0\.0\.1:(\d+), disk-information )"
                               R"(server on 127\.0\.0\.1:(\d+))"));
    if (disk.empty() || services.empty()) {
        return {};
    }
    return {static_cast<uint16_t>(std::stoi(disk[1])),
            static_cast<uint16_t>(std::stoi(services[1])),
            static_cast<uint16_t>(std::stoi(services[2]))};
}

TEST(ServiceProgramTest, DemoServesLoginDiskListAndDisk) {
    CTempFolder folder;
    ASSERT_TRUE(folder.write("hello.txt", "hello"));
    const std::string log = folder.file("server.log");
    CChildProcess program({TAVIK_SERVER_PROGRAM, "--demo", folder.path(), "--port", "0",
                           "--demo-password", "데모 암호", "--quiet"},
                          {{"TAVIK_DOMAIN", ""}}, std::nullopt, log);
    ASSERT_TRUE(program.started());
    const Ports ports = portsOf(log);
    ASSERT_NE(ports.auth, 0);
    EXPECT_FALSE(awaitLine(log, std::regex("demo account demo@tavik.local")).empty());

    CRawClient client;
    ASSERT_TRUE(client.connect(ports.auth));
    TextPairs login = handLogin(client, "demo@tavik.local", "데모 암호");
    EXPECT_EQ(login["result"], "0");
    TextPairs disks = handDiskInfo(ports.diskInfo, "demo@tavik.local", "127.0.0.1", login["kid"]);
    ASSERT_EQ(disks["inform"], "GetDiskInfo");
    const std::string list = disks["tavikinfo"];
    const std::string capability = list.substr(0, list.find('|'));
    EXPECT_EQ(capability.rfind("demo~", 0), 0u);
    const std::u16string id(capability.begin(), capability.end());
    TAVIK_SESSION session =
        tavik_CreateSession(u"127.0.0.1", ports.disk, id.c_str(), nullptr, 10000);
    ASSERT_NE(session, nullptr) << tavik_GetLastError();
    EXPECT_EQ(tavik_GetFileSize(u"/demo/hello.txt", session), 5);
    tavik_DestroySession(session);

    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
}

TEST(ServiceProgramTest, SessionKeyCommandAndServerAgree) {
    CTempFolder folder;
    std::filesystem::create_directories(folder.file("disk"));
    const auto hash = server::CPasswordHash::hash("pw");
    ASSERT_TRUE(hash);
    ASSERT_TRUE(folder.write("server.toml",
                             "[server]\nlog_commands = false\n"
                             "[[disk]]\nid = \"home\"\nroot = \"disk\"\ncapability_only = true\n"
                             "[[account]]\nuser = \"alice\"\ndomain = \"tavik.local\"\n"
                             "password_hash = \"" +
                                 *hash +
                                 "\"\n"
                                 "[[account.disk]]\nid = \"home\"\n"));
    const std::string config = folder.file("server.toml");
    const auto issued = CChildProcess::run({TAVIK_SERVER_PROGRAM, "session-key",
                                            "alice@tavik.local", "--config", config, "--ttl", "5m"},
                                           {});
    ASSERT_EQ(issued.exitCode, 0) << issued.err;
    const std::string key = issued.out.substr(0, issued.out.find('\n'));
    ASSERT_EQ(key.size(), 43u);

    struct Refusal {
        std::vector<std::string> args;
        int exitCode;
    };
    const Refusal refusals[] = {
        {{"session-key", "bob@tavik.local", "--config", config}, 1},
        {{"session-key", "alice@tavik.local", "--config", config, "--ttl", "31d"}, 2},
        {{"session-key", "alice@tavik.local"}, 2},
    };
    for (const Refusal& refusal : refusals) {
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM};
        argv.insert(argv.end(), refusal.args.begin(), refusal.args.end());
        EXPECT_EQ(CChildProcess::run(argv, {}).exitCode, refusal.exitCode) << refusal.args[1];
    }

    const std::string log = folder.file("server.log");
    CChildProcess program({TAVIK_SERVER_PROGRAM, "--config", config, "--port", "0"}, {},
                          std::nullopt, log);
    const Ports ports = portsOf(log);
    ASSERT_NE(ports.auth, 0);
    for (const char* expected : {"0", "1"}) {
        CRawClient client;
        ASSERT_TRUE(client.connect(ports.auth));
        EXPECT_EQ(handLogin(client, "alice@tavik.local", "", key)["result"], expected);
    }
    EXPECT_TRUE(std::filesystem::exists(folder.file("installation.key")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("tavik-state.db")));
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
}

} // namespace
} // namespace tavik::test
