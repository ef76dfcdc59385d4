// The tavik-server program itself: starts from --demo, serves, and stops cleanly on SIGTERM.
#include "tests/server/CServerHarness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavik::test {
namespace {

class CProgram {
public:
    bool start(const std::vector<std::string>& args) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        stderr_ = ends[0];
        return rc == 0;
    }
    ~CProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stderr_ >= 0) {
            ::close(stderr_);
        }
    }
    // Reads stderr until a line matches; bounded by a 20 s time-out.
    std::string waitForLine(const std::regex& pattern) {
        std::string text;
        for (int waited = 0; waited < 20000; waited += 100) {
            pollfd entry{stderr_, POLLIN, 0};
            if (::poll(&entry, 1, 100) > 0) {
                char buffer[512];
                const ssize_t n = ::read(stderr_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                text.append(buffer, static_cast<size_t>(n));
                std::smatch match;
                if (std::regex_search(text, match, pattern)) {
                    return match[1];
                }
            }
        }
        return {};
    }
    // The exit status after SIGTERM, or -1 when it did not end within 20 s.
    int terminate() {
        ::kill(pid_, SIGTERM);
        for (int waited = 0; waited < 20000; waited += 20) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(20000);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int stderr_ = -1;
};

TEST(ServerProgram, DemoFolderIsServedAndSigtermStopsCleanly) {
    CTempFolder folder;
    CProgram program;
    ASSERT_TRUE(program.start({TAVIK_SERVER_PROGRAM, "--demo", folder.path(), "--port", "0"}));
    const std::string port = program.waitForLine(std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    ASSERT_FALSE(port.empty());
    CTestClient client;
    ASSERT_TRUE(client.connect(static_cast<uint16_t>(std::stoi(port))));
    EXPECT_EQ(client.login(), 0);
    auto request = CTestClient::request("getfileinfo");
    request->SetString("path", "/demo");
    request->SetInt("infotype", 63);
    request->SetInt("recursivelevel", 0);
    EXPECT_EQ(client.call(*request), 0);
    // The command is logged with its path and result.
    EXPECT_FALSE(program.waitForLine(std::regex(R"((getfileinfo "/demo" -> 0))")).empty());
    EXPECT_EQ(program.terminate(), 0);
    EXPECT_TRUE(client.closedByPeer());
}

TEST(ServerProgram, RefusesToStartWithoutADisk) {
    CProgram program;
    ASSERT_TRUE(program.start({TAVIK_SERVER_PROGRAM, "--demo", "/nonexistent/folder"}));
    EXPECT_FALSE(program.waitForLine(std::regex("(disk root is not a folder)")).empty());
}

} // namespace
} // namespace tavik::test
