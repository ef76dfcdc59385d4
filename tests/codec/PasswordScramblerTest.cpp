// Stored passwords, pinned with streams computed by hand from the scrambler's definition.
#include "codec/PasswordScrambler.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavik::app {
namespace {

struct StoredPassword {
    std::u16string password;
    std::vector<uint8_t> stored;
};

TEST(PasswordScrambler, StoresTwoBytesPerUnitAndReadsThemBack) {
    // First unit of the Korean row: S = 0x7E15, key = S >> 8 = 0x007E, 0xBE44 ^ 0x007E = 0xBE3A,
    // stored low byte first. The later units depend on the whole 32-bit state.
    const std::vector<StoredPassword> rows = {
        {u"", {}},
        {u"a1", {0x1F, 0x00, 0xA9, 0x77}},
        {u"\uBE44\uBC00\uBC88\uD638", {0x3A, 0xBE, 0xB1, 0x1E, 0xEF, 0x9F, 0x92, 0x07}},
    };
    for (const StoredPassword& row : rows) {
        std::vector<uint8_t> stored = ScramblePassword(row.password);
        EXPECT_EQ(stored, row.stored);
        EXPECT_EQ(stored.size(), 2 * row.password.size());
        EXPECT_EQ(UnscramblePassword(stored), row.password);
    }
}

TEST(PasswordScrambler, IgnoresAnOddTrailingByte) {
    std::vector<uint8_t> stored = ScramblePassword(u"a1");
    stored.push_back(0x55);
    EXPECT_EQ(UnscramblePassword(stored), u"a1");
}

} // namespace
} // namespace tavik::app
