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

TEST(Utf8Test, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(CUtf8::toUtf16("a\xFF"
                             "b"),
              u"a\uFFFDb");
    EXPECT_EQ(CUtf8::toUtf16("\xC3"), u"\uFFFD"); // cut sequence at the end
    EXPECT_EQ(CUtf8::toUtf16("\xE2\x82"
                             "x"),
              u"\uFFFDx");                                // cut sequence before ASCII
    EXPECT_EQ(CUtf8::toUtf16("\xC0\xAF"), u"\uFFFD");     // overlong "/"
    EXPECT_EQ(CUtf8::toUtf16("\xED\xA0\x80"), u"\uFFFD"); // encoded surrogate
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(CUtf8::fromUtf16(lone), "a\xEF\xBF\xBD"
                                      "b");
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
