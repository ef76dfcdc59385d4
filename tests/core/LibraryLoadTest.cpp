// The shared library reads "tavik2.ini" beside its host program when it is loaded. The test
// copies this test program into its own folder, puts a configuration file beside the copy, and
// runs the copy so that it loads the library and fails one connect: the library's trace of that
// connect must appear in the configured log.
#include "sdk/include/TavikSDK.h"
#include "tests/support/CFakeDiskServer.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tavik {
namespace {

constexpr const char* kChildFilter =
    "--gtest_filter=LibraryLoadHost.LoadsTheLibraryAndFailsOneConnect";

// Runs the program and waits at most a minute for it; its exit status, or -1.
int runBounded(const std::string& program, const std::string& portVariable) {
    std::vector<std::string> env{portVariable, "TAVIK_LOAD_HOST=1"};
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::string filter = kChildFilter;
    std::string name = program;
    char* argv[] = {name.data(), filter.data(), nullptr};
    // The host program's own test report would only clutter this one's.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int spawned = posix_spawn(&child, program.c_str(), &quiet, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        return -1;
    }
    for (int waited = 0; waited < 600; ++waited) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

TEST(LibraryLoad, ReadsTheConfigurationBesideTheHostProgram) {
    test::CTempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    std::error_code error;
    std::filesystem::copy_file("/proc/self/exe", folder.file("host"), error);
    ASSERT_FALSE(error) << error.message();
    std::filesystem::permissions(folder.file("host"), std::filesystem::perms::owner_all, error);
    ASSERT_TRUE(folder.write("tavik2.ini", "TRACE_BL_LEVEL 1\r\nTRACE_BL_KEY connect\r\n"
                                           "TRACE_BL_LOG " +
                                               folder.file("load.log") + "\r\n"));
    test::CFakeDiskServer gone;
    gone.stall(1).start();
    ASSERT_TRUE(gone.finish()); // its port is closed now

    ASSERT_EQ(runBounded(folder.file("host"), "TAVIK_LOAD_PORT=" + std::to_string(gone.port())), 0);
    EXPECT_EQ(folder.read("load.log"), "connect(1): 127.0.0.1:" + std::to_string(gone.port()) +
                                           " failed, socket error 10061\n");
}

// The host program's side of the test above; does nothing in an ordinary test run.
TEST(LibraryLoadHost, LoadsTheLibraryAndFailsOneConnect) {
    const char* port = std::getenv("TAVIK_LOAD_PORT");
    if (std::getenv("TAVIK_LOAD_HOST") == nullptr || port == nullptr) {
        GTEST_SKIP() << "runs only as the host program of LibraryLoad";
    }
    void* library = dlopen(TAVIK_SDK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using Create = TAVIK_SESSION (*)(LPCWSTR, int, LPCWSTR, LPCWSTR, int);
    auto create = reinterpret_cast<Create>(dlsym(library, "tavik_CreateSession"));
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create(u"127.0.0.1", std::atoi(port), u"u", nullptr, 1000), nullptr);
    dlclose(library);
}

} // namespace
} // namespace tavik
