// The tavik-server program as an administrator and a first-time user meet it: session keys for a
// --demo server, ports that are taken, the configuration check.
#include "tests/cli/CChildProcess.h"
#include "tests/service_server/CServiceHarness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tavik::test {
namespace {

std::string fileText(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first match of pattern in the program's stderr file within 20 s, with its groups.
std::vector<std::string> awaitLine(const std::string& file, const std::regex& pattern) {
    for (int tries = 0; tries < 400; ++tries) {
        const std::string content = fileText(file);
        std::smatch match;
        if (std::regex_search(content, match, pattern)) {
            return std::vector<std::string>(match.begin(), match.end());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

// A loopback port held by this test for as long as the object lives.
class CTakenPort {
public:
    CTakenPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~CTakenPort() { ::close(fd_); }
    CTakenPort(const CTakenPort&) = delete;
    CTakenPort& operator=(const CTakenPort&) = delete;
    std::string port() const { return std::to_string(port_); }

private:
    int fd_;
    uint16_t port_ = 0;
};

TEST(ServerAdminProgram, SessionKeyServesARunningDemo) {
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("disk")));
    ASSERT_TRUE(folder.write("disk/hello.txt", "hello"));
    const std::map<std::string, std::string> env{{"XDG_STATE_HOME", folder.file("state")},
                                                 {"TAVIK_DOMAIN", ""}};
    const std::string log = folder.file("server.log");
    CChildProcess demo(
        {TAVIK_SERVER_PROGRAM, "--demo", folder.file("disk"), "--port", "0", "--quiet"}, env,
        std::nullopt, log);
    const auto ports = awaitLine(log, std::regex(R"(authentication server on 127\.0\.0\.1:(\d+))"));
    ASSERT_EQ(ports.size(), 2u) << fileText(log);

    const auto issued = CChildProcess::run(
        {TAVIK_SERVER_PROGRAM, "session-key", "demo@tavik.local", "--demo", folder.file("disk")},
        env);
    ASSERT_EQ(issued.exitCode, 0) << issued.err;
    const std::string key = issued.out.substr(0, issued.out.find('\n'));
    ASSERT_EQ(key.size(), 43u) << issued.out;
    // The key opens the running demo once; the demo's state stays out of the disk it serves.
    for (const char* expected : {"0", "1"}) {
        CRawClient client;
        ASSERT_TRUE(client.connect(static_cast<uint16_t>(std::stoi(ports[1]))));
        EXPECT_EQ(handLogin(client, "demo@tavik.local", "", key)["result"], expected);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.file("disk")),
                            std::filesystem::directory_iterator()),
              1);
    // Only the demo's own account gets keys.
    EXPECT_EQ(CChildProcess::run({TAVIK_SERVER_PROGRAM, "session-key", "kim@tavik.local", "--demo",
                                  folder.file("disk")},
                                 env)
                  .exitCode,
              1);
    demo.signal(SIGTERM);
    EXPECT_EQ(demo.wait(std::chrono::seconds(20)).exitCode, 0);
    // Nothing outlives the demo.
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("state/tavik-server")));
}

TEST(ServerAdminProgram, ATakenPortIsNamedBeforeAnyIsAnnounced) {
    CTempFolder folder;
    const CTakenPort taken;
    const std::vector<std::vector<std::string>> cases = {
        {"--port", taken.port()},
        {"--port", "0", "--auth-port", taken.port()},
        {"--port", "0", "--diskinfo-port", taken.port()},
    };
    for (const auto& ports : cases) {
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM, "--demo", folder.path(),
                                      "--demo-password", "pw"};
        argv.insert(argv.end(), ports.begin(), ports.end());
        const auto outcome = CChildProcess::run(argv, {{"XDG_STATE_HOME", folder.file("state")}});
        EXPECT_EQ(outcome.exitCode, 1) << ports[ports.size() - 2];
        EXPECT_EQ(outcome.err.find("listening on"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find(" server on "), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find("port " + taken.port() + " is taken"), std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find("--port 0"), std::string::npos) << outcome.err;
    }
}

// "check" reads a file as a start would and names every problem as file:line: message.
TEST(ServerAdminProgram, CheckNamesEveryProblemWithItsLine) {
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("disk")));
    struct Row {
        const char* text;
        std::vector<std::string> extra;
        int exitCode;
        std::vector<std::string> lines; // each expected as "<file>:<line>: <message>"
    };
    const std::vector<Row> rows = {
        {"[server]\nport = 0\n[[disk]]\nid = \"d\"\nroot = \"disk\"\n", {}, 0, {}},
        {"[server]\nprot = 1\nmax_open_files = 0\n"
         "[[disk]]\nid = \"d\"\nroot = \"nowhere\"\nquota = -1\n"
         "[[disk]]\nid = \"e\"\nroot = \"disk\"\nsize = 1\n",
         {},
         1,
         {":2: unknown key \"prot\" in [server]", ":3: max_open_files must be an integer",
          ":6: disk root is not a folder", ":7: quota must be an integer",
          ":11: unknown key \"size\" in [[disk]]"}},
        {"[server]\nport = 0\nlog_commands = yes\n", {}, 1, {":3: "}},
        {"[server]\naddress = \"0.0.0.0\"\n[[disk]]\nid = \"d\"\nroot = \"disk\"\n",
         {},
         1,
         {"disk \"d\" has no password"}},
        {"[server]\naddress = \"0.0.0.0\"\n[[disk]]\nid = \"d\"\nroot = \"disk\"\n",
         {"--allow-open"},
         0,
         {}},
        {"[[disk]]\nid = \"d\"\nroot = \"disk\"\n[[account]]\nuser = \"a\"\ndomain = \"x\"\n"
         "[[account.disk]]\nid = \"gone\"\n",
         {},
         1,
         {"account a@x: no [[disk]] with id gone"}},
    };
    int index = 0;
    for (const Row& row : rows) {
        const std::string name = "c" + std::to_string(index++) + ".toml";
        ASSERT_TRUE(folder.write(name, row.text));
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM, "check", "--config", folder.file(name)};
        argv.insert(argv.end(), row.extra.begin(), row.extra.end());
        const auto outcome = CChildProcess::run(argv, {});
        EXPECT_EQ(outcome.exitCode, row.exitCode) << name << "\n" << outcome.err;
        for (const std::string& line : row.lines) {
            const std::string expected = line.front() == ':' ? folder.file(name) + line : line;
            EXPECT_NE(outcome.err.find(expected), std::string::npos)
                << name << ": " << expected << "\n"
                << outcome.err;
        }
        if (row.exitCode == 1) {
            // Nothing but the problems, each on a line of its own.
            EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'),
                      std::max<long>(1, static_cast<long>(row.lines.size())))
                << outcome.err;
        }
    }
}

} // namespace
} // namespace tavik::test
