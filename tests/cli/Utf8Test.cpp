#include "cli/core/CUtf8.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

TEST(Utf8Test, KoreanAndAstralRoundTrip) {
    const std::string text = "보고서 2024 \xF0\x9F\x93\x81.txt"; // includes U+1F4C1
    const std::u16string wide = CUtf8::toUtf16(text);
    EXPECT_EQ(wide, u"보고서 2024 \U0001F4C1.txt");
    EXPECT_EQ(CUtf8::fromUtf16(wide), text);
}

TEST(Utf8Test, ABrokenSequenceCountsAsOneColumn) {
    EXPECT_EQ(CUtf8::displayWidth("\xE2\x82x"), 2u);
    EXPECT_EQ(CUtf8::truncateToWidth("\xED\x9E\xA3\xFF", 3), "\xED\x9E\xA3\xFF");
}

TEST(Utf8Test, DisplayWidthCountsWideCharactersTwice) {
    EXPECT_EQ(CUtf8::displayWidth("abc"), 3u);
    EXPECT_EQ(CUtf8::displayWidth("한글"), 4u);
    EXPECT_EQ(CUtf8::truncateToWidth("한글abc", 3), "한");
    EXPECT_EQ(CUtf8::truncateToWidth("한글abc", 5), "한글a");
    EXPECT_EQ(CUtf8::truncateToWidth("abc", 10), "abc");
}

} // namespace
} // namespace tavik::cli
