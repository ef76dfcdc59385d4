// The disk server under attack from real concurrent clients on loopback, each group from
// addresses of its own: guessers must not keep a disk's owner out, addresses that keep
// reconnecting without logging in must not take the slots from real logins, and the descriptors
// the service servers need count against the same limit as the disk server's. The time bounds
// are the goals the server is built to; every loop is bounded.
#include "tests/server/CServerHarness.h"
#include "tests/support/CConnectionCrowd.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavik::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr char kOwnerPassword[] = "owner's own secret";

int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void guardDemo(server::CServerConfig& config) {
    config.disks.front().password = server::CPasswordHash::fromPlain(kOwnerPassword);
}

// One login from source; how long it took, or -1 when it was not accepted.
int64_t timedLogin(uint16_t port, const std::string& source) {
    const auto start = Clock::now();
    CTestClient client;
    if (!client.connectFrom(port, source) || client.login("demo", kOwnerPassword) != 0) {
        return -1;
    }
    return msSince(start);
}

TEST(ServerUnderAttack, OwnerGetsInWithinTwoSecondsWhileEightAddressesGuess) {
    CServerHarness harness(guardDemo);
    ASSERT_TRUE(harness.running());
    std::atomic<bool> stop{false};
    std::atomic<int> guesses{0};
    std::vector<std::thread> guessers;
    for (const std::string& source : CConnectionCrowd::addresses(51, 8)) {
        guessers.emplace_back([&, source] {
            CTestClient client;
            while (!stop) {
                if (!client.connectFrom(harness.port(), source)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    continue;
                }
                // Wrong passwords on one connection until the server gives up on it.
                while (!stop && client.login("demo", "guess " + std::to_string(guesses++)) !=
                                    CTestClient::kNoReply) {
                }
            }
        });
    }
    while (guesses < 24) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::vector<int64_t> owner;
    for (int i = 0; i < 5; ++i) {
        owner.push_back(timedLogin(harness.port(), "127.0.52.1"));
    }
    stop = true;
    harness.server().stop(); // ends the guessers' throttled waits
    for (std::thread& guesser : guessers) {
        guesser.join();
    }
    for (size_t i = 0; i < owner.size(); ++i) {
        EXPECT_GE(owner[i], 0) << "login " << i << " refused";
        EXPECT_LE(owner[i], 2000) << "login " << i;
    }
}

TEST(ServerUnderAttack, AddressesThatKeepReconnectingDoNotKeepRealLoginsOut) {
    CServerHarness harness([](server::CServerConfig& config) {
        guardDemo(config);
        config.maxConnections = 16;
    });
    ASSERT_TRUE(harness.running());
    // 8 addresses x 16 connections, none of which ever logs in.
    CConnectionCrowd crowd(harness.port(), CConnectionCrowd::addresses(53, 8), 16);
    while (crowd.opened() < 64) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    int quick = 0;
    const int logins = 20;
    for (int i = 0; i < logins; ++i) {
        const int64_t ms = timedLogin(harness.port(), "127.0.54.1");
        quick += ms >= 0 && ms <= 2000 ? 1 : 0;
    }
    crowd.stop();
    EXPECT_GE(quick * 100, logins * 95) << quick << " of " << logins;
}

// Run in a child process: the descriptor limit cannot be raised again once lowered.
TEST(ServerUnderAttack, AllListenersShareOneDescriptorBudget) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit tight{2048, 2048};
        bool fits = ::setrlimit(RLIMIT_NOFILE, &tight) == 0;
        CServerHarness harness([](server::CServerConfig& config) {
            config.maxConnections = 512;
            config.service.maxConnections = 512;
            config.service.accounts.emplace_back().user = "alice";
        });
        const server::CServerConfig& config = harness.server().config();
        const int64_t needed =
            int64_t{config.maxConnections} * server::CServer::descriptorsPerConnection(config) +
            int64_t{2} * config.service.maxConnections;
        fits = fits && harness.running() && config.maxConnections >= 1 &&
               config.service.maxConnections >= 1 && needed <= 2048;
        ::_exit(fits ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the disk and service connections together overrun the descriptor limit";
}

} // namespace
} // namespace tavik::test
