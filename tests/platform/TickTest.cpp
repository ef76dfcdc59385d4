// The tick counter is steady-clock milliseconds cut to 32 bits.
#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tavik::platform {
namespace {

uint32_t steadyMilliseconds32() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

TEST(Tick, FollowsTheSteadyClockModulo32Bits) {
    uint32_t before = steadyMilliseconds32();
    uint32_t tick = GetTickCount();
    uint32_t after = steadyMilliseconds32();
    // Differences in unsigned arithmetic stay right across the wrap.
    EXPECT_LE(static_cast<uint32_t>(tick - before), static_cast<uint32_t>(after - before));
}

TEST(Tick, AdvancesWithTime) {
    uint32_t start = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint32_t elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 0x80000000u); // not a backwards step read as a huge interval
}

} // namespace
} // namespace tavik::platform
