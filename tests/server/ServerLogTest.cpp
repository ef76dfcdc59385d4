// What a client can make the server write into its log: no secrets, no line longer than a few
// hundred bytes however long the client's text, and no flood of one address's refusals.
#include "server/CCommandLog.h"
#include "server/CDiskCapability.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace tavik::test {
namespace {

using server::CCommandLog;

// Runs body with stderr going to a file; the lines it wrote.
std::vector<std::string> linesWrittenBy(const std::function<void()>& body) {
    CTempFolder folder;
    const std::string file = folder.file("stderr.txt");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int target = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_TRUE(saved >= 0 && target >= 0);
    ::dup2(target, STDERR_FILENO);
    ::close(target);
    body();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(CommandLog, CutsLongClientTextsAndNeverWritesACapabilitysMac) {
    const server::CDiskCapability::Key key = server::CDiskCapability::randomKey();
    const std::string capability =
        server::CDiskCapability::issue(key, "vault", 1'900'000'000, std::chrono::hours(48));
    const std::string mac = capability.substr(capability.rfind('~') + 1);
    const std::string longPath = "/disk/" + std::string(1 << 20, 'a') + "/tail-marker";
    const auto lines = linesWrittenBy([&] {
        CCommandLog log(true);
        log.command({.peer = "10.0.0.1:5000",
                     .disk = "demo",
                     .command = "getfileinfo",
                     .path = longPath,
                     .error = 23006,
                     .elapsedMs = 1});
        log.command({.peer = "10.0.0.1:5000",
                     .command = "setuser",
                     .path = capability,
                     .error = 0,
                     .elapsedMs = 1});
        log.event("10.0.0.2:5000", "login to \"" + capability + "\" failed (1 in a row)");
        log.event("10.0.0.3:5000", "login of " + std::string(100000, 'b') + "@x");
    });
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 700u) << line.substr(0, 100);
    }
    EXPECT_TRUE(anyContains({lines[0]}, "[cut]")) << lines[0].substr(0, 100);
    EXPECT_FALSE(anyContains(lines, "tail-marker"));
    EXPECT_TRUE(anyContains({lines[3]}, "[cut]"));
    EXPECT_FALSE(anyContains(lines, mac)) << "the MAC of a capability";
    EXPECT_TRUE(anyContains({lines[1]}, "\"vault\"")) << lines[1];
    EXPECT_TRUE(anyContains({lines[2]}, "\"vault\"")) << lines[2];
}

TEST(CommandLog, FoldsOneAddresssRepeatedRefusalsIntoASummary) {
    constexpr int kRefusals = 2000;
    const auto lines = linesWrittenBy([&] {
        CCommandLog log(true);
        for (int i = 0; i < kRefusals; ++i) {
            log.event("10.0.0.9:" + std::to_string(1000 + i),
                      "login to \"demo\" failed (" + std::to_string(i) + " in a row)");
            log.command({.peer = "10.0.0.9:1000",
                         .command = "getfileinfo",
                         .path = "/x",
                         .error = 21003,
                         .elapsedMs = 0});
        }
        // Another address and successful commands are never folded away.
        log.event("10.0.0.10:1", "login of alice@tavik.local");
        for (int i = 0; i < 50; ++i) {
            log.command({.peer = "10.0.0.9:1000",
                         .disk = "demo",
                         .command = "getlength",
                         .path = "/ok" + std::to_string(i),
                         .error = 0,
                         .elapsedMs = 0});
        }
    }); // the log's end writes what it still holds back
    EXPECT_LT(lines.size(), 200u);
    EXPECT_TRUE(anyContains(lines, "login of alice@tavik.local"));
    EXPECT_TRUE(anyContains(lines, "/ok0\""));
    EXPECT_TRUE(anyContains(lines, "/ok49\""));
    // The summary says how many lines of that address it stands for: every refusal is counted.
    int written = 0;
    long folded = 0;
    for (const std::string& line : lines) {
        if (line.find("10.0.0.9") == std::string::npos) {
            continue;
        }
        const size_t more = line.find(" more lines from this address");
        if (more == std::string::npos) {
            written += line.find("/ok") == std::string::npos ? 1 : 0;
            continue;
        }
        const size_t number = line.rfind(' ', more - 1) + 1;
        folded += std::stol(line.substr(number, more - number));
    }
    EXPECT_GT(folded, 0);
    EXPECT_EQ(written + folded, 2 * kRefusals);
}

} // namespace
} // namespace tavik::test
