// Ctrl-C during a transfer: the signal becomes the transfer's cancel flag, the program reports
// the cancel with status 130, and the previous handler comes back afterwards.
#include "cli/core/CCancelSignal.h"

#include <gtest/gtest.h>

#include <csignal>

#if defined(TAVIK_CLI_PROGRAM)
#include "tests/cli/CChildProcess.h"
#include "tests/support/CFakeDiskServer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#endif

namespace tavik::cli {
namespace {

sighandler_t currentHandler() {
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    return now.sa_handler;
}

TEST(CancelSignalTest, InterruptSetsTheFlagInsteadOfEndingTheProgram) {
    const sighandler_t before = currentHandler();
    {
        CCancelSignal cancel;
        EXPECT_FALSE(cancel.cancelled());
        EXPECT_EQ(*cancel.flag(), 0);
        ASSERT_EQ(std::raise(SIGINT), 0); // would end the test program without the guard
        EXPECT_TRUE(cancel.cancelled());
        EXPECT_NE(*cancel.flag(), 0);
        // One interrupt only: the next one gets the default action again.
        EXPECT_EQ(currentHandler(), SIG_DFL);
    }
    EXPECT_EQ(currentHandler(), before);

    CCancelSignal fresh; // every transfer starts uncancelled
    EXPECT_FALSE(fresh.cancelled());
}

} // namespace
} // namespace tavik::cli

#if defined(TAVIK_CLI_PROGRAM)
namespace tavik::test {
namespace {

namespace fs = std::filesystem;

TEST(CancelProgramTest, CtrlCStopsADownloadAndReportsIt) {
    char folderTemplate[] = "/tmp/tavik-cli-cancel-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const fs::path folder = folderTemplate;

    // A server that sends the first bytes of a large file and then nothing, so the download
    // can only end through the cancel flag.
    std::promise<void> dataPhase;
    auto reached = dataPhase.get_future();
    const std::vector<FakeItem> entry = {{"error", 0},    {"num", 1}, {"p1", "/disk/big.bin"},
                                         {"s1", 1000000}, {"t1", 0},  {"d1", "2026-01-01 00:00"}};
    CFakeDiskServer server(20000);
    server.expectLogin("/disk", 3)
        .expect("getfileinfo") // the client's look at the source
        .reply(entry)
        .expect("download")
        .reply({{"error", 0}})
        .sendRaw(std::vector<uint8_t>(1000, 0x5A))
        .custom("data phase reached",
                [&](int, std::string&) {
                    dataPhase.set_value();
                    return true;
                })
        .expectClosed()
        .start();

    const fs::path local = folder / "big.bin";
    CChildProcess child({TAVIK_CLI_PROGRAM, "--server",
                         "127.0.0.1:" + std::to_string(server.port()), "--disk", "someone", "get",
                         "big.bin", local.string()},
                        {{"TAVIK_DEVICE_ROOT", ""}});
    ASSERT_TRUE(child.started());
    ASSERT_EQ(reached.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    child.signal(SIGINT);
    const CChildProcess::Outcome outcome = child.wait(std::chrono::seconds(60));

    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    EXPECT_NE(outcome.err.find("cancelled"), std::string::npos) << outcome.err;
    EXPECT_TRUE(server.finish()); // the client closed its connection
    // What arrived before the cancel stays under the temporary name, ready to resume (the signal
    // may come before the client read the first bytes, so it holds all of them or none); the
    // final name is never given to a file that is not complete.
    std::error_code ec;
    EXPECT_FALSE(fs::exists(local, ec));
    const fs::path part = folder / ".big.bin.tavik-part";
    EXPECT_TRUE(fs::exists(part, ec));
    std::ifstream in(part, std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_LE(kept.size(), 1000u);
    EXPECT_EQ(kept.find_first_not_of('\x5A'), std::string::npos);
    fs::remove_all(folder, ec);
}

} // namespace
} // namespace tavik::test
#endif
