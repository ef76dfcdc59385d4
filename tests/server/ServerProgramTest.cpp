// The tavik-server program itself: starts from --demo, serves, and stops cleanly on SIGTERM.
#include "tests/server/CServerHarness.h"
#include "tests/support/LoopbackIpv6.h"

#include "sdk/include/TavikErrors.h"

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
    // stdinText is written to the program's stdin, which is then closed.
    bool start(const std::vector<std::string>& args, const std::string& stdinText = "") {
        int ends[2];
        int input[2];
        int output[2];
        if (::pipe2(ends, O_CLOEXEC) != 0 || ::pipe2(input, O_CLOEXEC) != 0 ||
            ::pipe2(output, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
        ::posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        ::posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        ::close(input[0]);
        ::close(output[1]);
        stderr_ = ends[0];
        stdout_ = output[0];
        // Small texts only: they fit the pipe, so this cannot block.
        const bool written = ::write(input[1], stdinText.data(), stdinText.size()) ==
                             static_cast<ssize_t>(stdinText.size());
        ::close(input[1]);
        return rc == 0 && written;
    }
    ~CProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stderr_ >= 0) {
            ::close(stderr_);
        }
        if (stdout_ >= 0) {
            ::close(stdout_);
        }
    }
    // Waits up to 20 s for the program to end by itself; its exit status, or -1.
    int waitExit() {
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
    // Everything the program wrote to stdout (after it ended).
    std::string output() {
        std::string text;
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::read(stdout_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }
    void signal(int number) { ::kill(pid_, number); }
    // Reads stderr until a line matches; bounded by a 20 s time-out.
    // What follows the match stays for the next call.
    std::string waitForLine(const std::regex& pattern) {
        for (int waited = 0; waited < 20000; waited += 100) {
            std::smatch match;
            if (std::regex_search(text_, match, pattern)) {
                std::string found = match[1];
                text_.erase(0, static_cast<size_t>(match.position(0) + match.length(0)));
                return found;
            }
            pollfd entry{stderr_, POLLIN, 0};
            if (::poll(&entry, 1, 100) > 0) {
                char buffer[512];
                const ssize_t n = ::read(stderr_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                text_.append(buffer, static_cast<size_t>(n));
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
    int stdout_ = -1;
    std::string text_;
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

TEST(ServerProgram, ListenTakesAListAndLogsIpv6ClientsInBrackets) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    CTempFolder folder;
    CProgram program;
    ASSERT_TRUE(program.start({TAVIK_SERVER_PROGRAM, "--demo", folder.path(), "--port", "0",
                               "--listen", "127.0.0.1,[::1]"}));
    const std::string port = program.waitForLine(std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    ASSERT_FALSE(port.empty());
    EXPECT_FALSE(
        program.waitForLine(std::regex(R"((also listening on \[::1\], on the same ports))"))
            .empty());
    CTestClient client;
    ASSERT_TRUE(client.connect(static_cast<uint16_t>(std::stoi(port)), "::1"));
    EXPECT_EQ(client.login(), 0);
    auto request = CTestClient::request("getfileinfo");
    request->SetString("path", "/demo");
    request->SetInt("infotype", 63);
    request->SetInt("recursivelevel", 0);
    EXPECT_EQ(client.call(*request), 0);
    EXPECT_FALSE(
        program.waitForLine(std::regex(R"((\[::1\]:\d+[^\n]*getfileinfo "/demo" -> 0))")).empty());
    EXPECT_EQ(program.terminate(), 0);

    CProgram refused;
    ASSERT_TRUE(refused.start({TAVIK_SERVER_PROGRAM, "--demo", folder.path(), "--port", "0",
                               "--listen", "127.0.0.1,localhost"}));
    EXPECT_FALSE(refused
                     .waitForLine(std::regex(
                         R"((--listen: address is not an IPv4 or IPv6 address: localhost))"))
                     .empty());
    EXPECT_EQ(refused.waitExit(), 1);
}

TEST(ServerProgram, RefusesToStartWithoutADisk) {
    CProgram program;
    ASSERT_TRUE(program.start({TAVIK_SERVER_PROGRAM, "--demo", "/nonexistent/folder"}));
    EXPECT_FALSE(program.waitForLine(std::regex("(disk root is not a folder)")).empty());
}

TEST(ServerProgram, UsageErrorsExitWith2AndVersionWith0) {
    CTempFolder folder;
    const std::vector<std::vector<std::string>> usageErrors = {
        {"--bogus"},
        {"--port", "70000", "--demo", folder.path()},
        {"--port", "x", "--demo", folder.path()},
        {"--id", "x"},
        {"--config", "a.toml", "--demo", folder.path()},
        {},
        {"hash-password", "extra"},
    };
    for (const auto& args : usageErrors) {
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        CProgram program;
        ASSERT_TRUE(program.start(argv));
        EXPECT_EQ(program.waitExit(), 2) << (args.empty() ? "(none)" : args.front());
    }
    CProgram version;
    ASSERT_TRUE(version.start({TAVIK_SERVER_PROGRAM, "--version"}));
    EXPECT_EQ(version.waitExit(), 0);
    EXPECT_EQ(version.output(), "tavik-server 2.12.06\n");
}

TEST(ServerProgram, ConfigurationAndOpenDiskRefusalsExitWith1) {
    CTempFolder folder;
    ASSERT_TRUE(folder.write("typo.toml", "[[disk]]\nid = \"x\"\nroot = \".\"\npasword = \"p\"\n"));
    CProgram typo;
    ASSERT_TRUE(typo.start({TAVIK_SERVER_PROGRAM, "--config", folder.file("typo.toml")}));
    EXPECT_FALSE(typo.waitForLine(std::regex(R"((typo\.toml:4: unknown key "pasword"))")).empty());
    EXPECT_EQ(typo.waitExit(), 1);
    // A disk without a password is not served on a reachable address unless asked for.
    CProgram open;
    ASSERT_TRUE(open.start(
        {TAVIK_SERVER_PROGRAM, "--demo", folder.path(), "--listen", "0.0.0.0", "--port", "0"}));
    EXPECT_FALSE(open.waitForLine(std::regex("(no password)")).empty());
    EXPECT_EQ(open.waitExit(), 1);
}

TEST(ServerProgram, HashedPasswordFromThePipeGuardsTheDiskAndFailuresAreLoggedAndSlowed) {
    CProgram hasher;
    ASSERT_TRUE(hasher.start({TAVIK_SERVER_PROGRAM, "hash-password"}, "open sesame\n"));
    ASSERT_EQ(hasher.waitExit(), 0);
    std::string hash = hasher.output();
    ASSERT_FALSE(hash.empty());
    hash.pop_back(); // the newline
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;

    CTempFolder folder;
    ASSERT_TRUE(folder.write("server.toml", "[server]\nport = 0\n[[disk]]\nid = \"demo\"\n"
                                            "root = \".\"\npassword = \"" +
                                                hash + "\"\n"));
    CProgram program;
    ASSERT_TRUE(program.start({TAVIK_SERVER_PROGRAM, "--config", folder.file("server.toml")}));
    const std::string port = program.waitForLine(std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    ASSERT_FALSE(port.empty());
    // SIGHUP does not end the server: it reads the configuration again.
    program.signal(SIGHUP);
    EXPECT_FALSE(program.waitForLine(std::regex("(configuration reloaded)")).empty());
    CTestClient client;
    ASSERT_TRUE(client.connect(static_cast<uint16_t>(std::stoi(port))));
    EXPECT_EQ(client.login("demo", "open sesame!"), TAVIK_ERR_WRONG_PASSWD);
    EXPECT_EQ(client.login("demo", "open"), TAVIK_ERR_WRONG_PASSWD);
    EXPECT_EQ(client.login("nobody", "open sesame"), TAVIK_ERR_WRONG_ID);
    // Each failure is logged with the delay the next attempt now waits, and that delay grows.
    const std::string second = program.waitForLine(
        std::regex(R"(login to "demo" failed \(2 in a row[^;]*; next attempt waits (\d+) ms)"));
    const std::string third = program.waitForLine(
        std::regex(R"(login to "nobody" failed \(3 in a row[^;]*; next attempt waits (\d+) ms)"));
    ASSERT_FALSE(second.empty());
    ASSERT_FALSE(third.empty());
    EXPECT_GT(std::stoi(third), std::stoi(second));
    // The right password still gets in once its turn comes.
    EXPECT_EQ(client.login("demo", "open sesame"), 0);
    EXPECT_EQ(program.terminate(), 0);
}

TEST(ServerProgram, DescriptorLimitLowersTheConnectionCapAndExhaustionIsWaitedOut) {
    if (::access("/usr/bin/prlimit", X_OK) != 0) {
        GTEST_SKIP() << "prlimit is not available";
    }
    CTempFolder folder;
    for (int i = 0; i < 64; ++i) {
        ASSERT_TRUE(folder.write("f" + std::to_string(i), "x"));
    }
    ASSERT_TRUE(folder.write("server.toml", "[server]\nport = 0\nmax_open_files = 64\n"
                                            "[[disk]]\nid = \"demo\"\nroot = \".\"\n"));
    CProgram program;
    ASSERT_TRUE(program.start({"/usr/bin/prlimit", "--nofile=48:48", TAVIK_SERVER_PROGRAM,
                               "--config", folder.file("server.toml")}));
    EXPECT_FALSE(program.waitForLine(std::regex("(max_connections lowered from 64 to 1)")).empty());
    const std::string port = program.waitForLine(std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    ASSERT_FALSE(port.empty());
    CTestClient hog;
    ASSERT_TRUE(hog.connect(static_cast<uint16_t>(std::stoi(port))));
    ASSERT_EQ(hog.login(), 0);
    // Open files until the process has no descriptor left.
    std::vector<int32_t> files;
    for (int i = 0; i < 64; ++i) {
        auto open = CTestClient::request("openfile");
        open->SetString("filename", ("/demo/f" + std::to_string(i)).c_str());
        open->SetInt("flags", 0);
        CPacket reply;
        if (hog.call(*open, reply) != 0) {
            break;
        }
        files.push_back(reply.GetInt("fd", 0));
    }
    ASSERT_LT(files.size(), 64u);
    // A newcomer cannot be taken now; the listener waits instead of spinning.
    CTestClient newcomer;
    ASSERT_TRUE(newcomer.connect(static_cast<uint16_t>(std::stoi(port))));
    EXPECT_FALSE(program.waitForLine(std::regex("(out of file descriptors)")).empty());
    for (const int32_t fd : files) {
        auto close = CTestClient::request("closefile");
        close->SetInt("fd", fd);
        ASSERT_EQ(hog.call(*close), 0);
    }
    // With descriptors back it is taken, and learns that the one connection allowed is in use.
    EXPECT_EQ(newcomer.login(), TAVIK_ERR_SESSION_LIMIT);
    EXPECT_EQ(program.terminate(), 0);
}

} // namespace
} // namespace tavik::test
