// The metrics endpoint: Prometheus text over HTTP whose values move with real traffic.
#include "tests/cli/CChildProcess.h"
#include "tests/server/CServerHarness.h"
#include "tests/support/ProgramLog.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tavik::test {
namespace {

// The exposition format's samples, "name{labels}" -> value; every line must be a comment, a
// blank or a sample, else the parse fails (an empty map and a test failure).
std::map<std::string, double> parsePrometheus(const std::string& text) {
    static const std::regex sample(
        R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([a-zA-Z_][a-zA-Z0-9_]*="[^"\\\n]*")(,[a-zA-Z_][a-zA-Z0-9_]*="[^"\\\n]*")*\})? ([-+0-9.eE]+|\+Inf|NaN))");
    std::map<std::string, double> samples;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::smatch match;
        if (!std::regex_match(line, match, sample)) {
            ADD_FAILURE() << "not a sample: " << line;
            return {};
        }
        samples[match[1].str() + match[2].str()] = std::stod(match[match.size() - 1].str());
    }
    return samples;
}

// GET /metrics over a plain socket; the body of a 200 answer, or "".
std::string scrape(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string answer;
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: x\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            answer.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    const size_t body = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.0 200", 0) != 0 && answer.rfind("HTTP/1.1 200", 0) != 0) {
        return {};
    }
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

TEST(ServerMetrics, ValuesMoveWithRealTraffic) {
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directory(folder.file("disk")));
    ASSERT_TRUE(folder.write("disk/a.txt", "abcdef"));
    ASSERT_TRUE(folder.write("server.toml",
                             "[server]\nport = 0\nmetrics_address = \"127.0.0.1:0\"\n"
                             "max_connections_per_address = 1\n"
                             "[[disk]]\nid = \"demo\"\nroot = \"disk\"\n"
                             "quota = 1048576\n"));
    const std::string log = folder.file("server.log");
    CChildProcess program({TAVIK_SERVER_PROGRAM, "--config", folder.file("server.toml")}, {},
                          std::nullopt, log);
    const std::string port = awaitGroup(log, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    const std::string metrics = awaitGroup(log, std::regex(R"(metrics on 127\.0\.0\.1:(\d+))"));
    ASSERT_FALSE(port.empty()) << fileText(log);
    ASSERT_FALSE(metrics.empty()) << fileText(log);
    const auto metricsPort = static_cast<uint16_t>(std::stoi(metrics));
    const auto before = parsePrometheus(scrape(metricsPort));
    ASSERT_FALSE(before.empty());

    CTestClient client;
    ASSERT_TRUE(client.connect(static_cast<uint16_t>(std::stoi(port))));
    EXPECT_EQ(client.login("nobody"), TAVIK_ERR_WRONG_ID);
    EXPECT_EQ(client.login(), 0);
    CTestClient refused; // over the one connection allowed from this address
    ASSERT_TRUE(refused.connect(static_cast<uint16_t>(std::stoi(port))));
    EXPECT_EQ(refused.login(), TAVIK_ERR_SESSION_LIMIT);
    auto download = CTestClient::request("download");
    download->SetString("path", "/demo/a.txt");
    download->SetInt("startpos", 1);
    download->SetInt("endpos", 5);
    ASSERT_EQ(client.call(*download), 0);
    std::string bytes;
    ASSERT_TRUE(client.recvRaw(bytes, 4));
    CPacket closing;
    ASSERT_TRUE(client.receive(closing));
    auto upload = CTestClient::request("upload");
    upload->SetString("path", "/demo/b.txt");
    upload->SetInt("startpos", 0);
    upload->SetInt("endpos", 3);
    upload->SetInt("istrunc", 1);
    ASSERT_EQ(client.call(*upload), 0);
    ASSERT_TRUE(client.sendRaw("xyz"));
    ASSERT_TRUE(client.receive(closing));
    EXPECT_EQ(client.call(*CTestClient::request("nosuchcommand")), TAVIK_ERR_NOT_ALLOWED);

    auto after = parsePrometheus(scrape(metricsPort));
    const auto moved = [&](const std::string& key) {
        const auto was = before.find(key);
        const auto now = after.find(key);
        return (now == after.end() ? -1 : now->second) - (was == before.end() ? 0 : was->second);
    };
    // A command is counted just after its reply has gone out, so the last one may still be
    // on its way into the figures when the reply arrives here.
    const std::string last = R"(tavik_commands_total{command="other",result="24004"})";
    for (int tries = 0; tries < 100 && moved(last) != 1; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        after = parsePrometheus(scrape(metricsPort));
    }
    struct Row {
        const char* key;
        double delta;
    };
    const Row rows[] = {
        {R"(tavik_logins_total{result="wrong_id"})", 1},
        {R"(tavik_logins_total{result="ok"})", 1},
        // The good login waited for the failed one's delay.
        {R"(tavik_logins_throttled_total)", 1},
        {R"(tavik_connections_refused_total{reason="address_limit"})", 1},
        {R"(tavik_commands_total{command="download",result="0"})", 1},
        {R"(tavik_commands_total{command="upload",result="0"})", 1},
        {R"(tavik_commands_total{command="other",result="24004"})", 1},
        {R"(tavik_command_seconds_count{command="download"})", 1},
        {R"(tavik_command_seconds_bucket{command="download",le="+Inf"})", 1},
        {R"(tavik_transfer_bytes_total{direction="out"})", 4},
        {R"(tavik_transfer_bytes_total{direction="in"})", 3},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(moved(row.key), row.delta) << row.key;
    }
    EXPECT_EQ(after.at(R"(tavik_quota_bytes{disk="demo"})"), 1048576);
    // The quota counts the files below the root: a.txt and the upload's b.txt.
    const std::string used = R"(tavik_quota_used_bytes{disk="demo"})";
    EXPECT_EQ(before.count(used) ? before.at(used) : -1, 6);
    EXPECT_EQ(after.count(used) ? after.at(used) : -1, 6 + 3);
    EXPECT_GE(after.at("tavik_connections_open"), 1);
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
}

TEST(ServerMetrics, AReachableAddressNeedsAllowOpen) {
    CTempFolder folder;
    ASSERT_TRUE(folder.write("server.toml", "[server]\nport = 0\nmetrics_address = \"0.0.0.0:0\"\n"
                                            "[[disk]]\nid = \"demo\"\nroot = \".\"\n"
                                            "password = \"pw\"\n"));
    const auto refused = CChildProcess::run(
        {TAVIK_SERVER_PROGRAM, "check", "--config", folder.file("server.toml")}, {});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("metrics_address"), std::string::npos) << refused.err;
    EXPECT_EQ(CChildProcess::run({TAVIK_SERVER_PROGRAM, "check", "--config",
                                  folder.file("server.toml"), "--allow-open"},
                                 {})
                  .exitCode,
              0);
}

} // namespace
} // namespace tavik::test
