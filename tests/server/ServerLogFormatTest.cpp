// Log levels and the JSON form of the log, read from the program's standard error.
#include "tests/cli/CChildProcess.h"
#include "tests/server/CServerHarness.h"
#include "tests/support/ProgramLog.h"

#include "server/CLogOutput.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace tavik::test {
namespace {

TEST(ServerLogFormat, JsonEscapesClientTextAndKeepsItValid) {
    struct Row {
        const char* message;
        const char* expected;
    };
    const Row rows[] = {
        {"plain", R"("message":"plain")"},
        {"say \"hi\" \\ there", R"("message":"say \"hi\" \\ there")"},
        {"tab\there\nnew", R"("message":"tab?here?new")"},
        {"\xED\x95\x9C\xEA\xB8\x80", "\"message\":\"\xED\x95\x9C\xEA\xB8\x80\""},
        {"bad \xC7\xD1 utf8 \xFF", R"("message":"bad ?? utf8 ?")"},
    };
    for (const Row& row : rows) {
        server::CLogOutput::Record record;
        record.level = server::CLogOutput::Level::Warning;
        record.client = "127.0.0.1:5000";
        const std::string shown = server::CCommandLog::loggable(row.message);
        record.message = shown;
        const std::string json = server::CLogOutput::json(record, "2026-01-01 00:00:00");
        EXPECT_NE(json.find(row.expected), std::string::npos) << json;
        EXPECT_EQ(json.find('\n'), json.size() - 1) << json;
    }
}

TEST(ServerLogFormat, JsonLinesCarryTheFieldsAndLevelsHoldLinesBack) {
    CTempFolder folder;
    ASSERT_TRUE(folder.write("a.txt", "abcdef"));
    const auto run = [&](const std::string& settings) {
        EXPECT_TRUE(folder.write("server.toml", "[server]\nport = 0\n" + settings +
                                                    "[[disk]]\nid = \"demo\"\nroot = \".\"\n"));
        const std::string log = folder.file("server.log");
        CChildProcess program({TAVIK_SERVER_PROGRAM, "--config", folder.file("server.toml")}, {},
                              std::nullopt, log);
        const auto port = awaitLine(log, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
        EXPECT_EQ(port.size(), 2u) << fileText(log);
        CTestClient client;
        EXPECT_TRUE(
            client.connect(port.size() == 2 ? static_cast<uint16_t>(std::stoi(port[1])) : 0));
        EXPECT_EQ(client.login("nobody"), 22001);
        EXPECT_EQ(client.login(), 0);
        auto download = CTestClient::request("download");
        download->SetString("path", "/demo/a.txt");
        download->SetInt("startpos", 1);
        download->SetInt("endpos", 5);
        EXPECT_EQ(client.call(*download), 0);
        std::string bytes;
        EXPECT_TRUE(client.recvRaw(bytes, 4));
        CPacket closing;
        EXPECT_TRUE(client.receive(closing));
        // Every line is written by the time the program has ended (it waits for its
        // connections).
        program.signal(SIGTERM);
        EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
        return fileText(log);
    };
    const std::string json = run("log_format = \"json\"\n");
    EXPECT_TRUE(std::regex_search(
        json, std::regex(R"(\{"time":"[^"]+","level":"info","client":"127\.0\.0\.1:\d+",)"
                         R"("disk":"demo","command":"download","path":"/demo/a\.txt",)"
                         R"("result":0,"bytes":4,"ms":\d+\}\n)")))
        << json;
    EXPECT_TRUE(std::regex_search(
        json, std::regex(R"(\{"time":"[^"]+","level":"warning","client":"127\.0\.0\.1:\d+",)"
                         R"("message":"login to \\"nobody\\" failed)")))
        << json;
    // Warnings only: the failed login, not the commands.
    const std::string warnings = run("log_level = \"warning\"\n");
    EXPECT_NE(warnings.find("login to \"nobody\" failed"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("download"), std::string::npos) << warnings;
    const std::string errors = run("log_level = \"error\"\n");
    EXPECT_EQ(errors.find("login to \"nobody\" failed"), std::string::npos) << errors;
}

} // namespace
} // namespace tavik::test
