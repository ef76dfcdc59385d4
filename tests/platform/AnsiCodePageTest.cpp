// Conversions through the system ANSI code page (CP949 in the test environment).
#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik::platform {
namespace {

TEST(AnsiCodePage, KoreanRoundTrip) {
    EXPECT_EQ(toAnsi(u"한글"), "\xC7\xD1\xB1\xDB");
    EXPECT_EQ(fromAnsi("\xC7\xD1\xB1\xDB"), u"한글");
    EXPECT_EQ(toAnsi(u"다운로드 하기/a.txt"),
              "\xB4\xD9\xBF\xEE\xB7\xCE\xB5\xE5 \xC7\xCF\xB1\xE2/a.txt");
    EXPECT_EQ(fromAnsi("\xB4\xD9\xBF\xEE\xB7\xCE\xB5\xE5 \xC7\xCF\xB1\xE2/a.txt"),
              u"다운로드 하기/a.txt");
    EXPECT_EQ(toAnsi(u""), "");
    EXPECT_EQ(fromAnsi(""), u"");
}

TEST(AnsiCodePage, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(toAnsi(u"a\u0E01b"), "a?b");     // Thai: not in the Korean code page
    EXPECT_EQ(toAnsi(u"a\U0001F600b"), "a?b"); // one '?' for the whole surrogate pair
    EXPECT_EQ(toAnsi(u"\u0E01\u0E01한"), "??\xC7\xD1");
}

TEST(AnsiCodePage, UnpairedSurrogatesBecomeQuestionMarks) {
    EXPECT_EQ(toAnsi(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
    EXPECT_EQ(toAnsi(std::u16string(1, char16_t(0xDC00))), "?");
    EXPECT_EQ(toAnsi(std::u16string(u"x") + char16_t(0xD800)), "x?");
    // A high surrogate followed by another high one: both unpaired.
    EXPECT_EQ(toAnsi(std::u16string{char16_t(0xD800), char16_t(0xD801), u'z'}), "??z");
}

TEST(AnsiCodePage, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(fromAnsi("a\x80"
                       "b"),
              u"a\uFFFDb");
    // A lead byte whose trail byte is not valid: one replacement, then the ASCII byte itself.
    EXPECT_EQ(fromAnsi("\xC7\x41"), u"\uFFFDA");
    // A lead byte cut off at the end.
    EXPECT_EQ(fromAnsi("ab\xC7"), u"ab\uFFFD");
    EXPECT_EQ(fromAnsi("\xC7\xD1\xFF"), u"한\uFFFD");
    // An unassigned pair that the C library's converter steps over when it reports it, here at
    // the very end of the text: every byte is still accounted for, and nothing is read past it.
    EXPECT_EQ(fromAnsi("n\xA2\xE8"), u"n\uFFFD\uFFFD");
    EXPECT_EQ(fromAnsi("\xA2\xE8\x41\xC7\xD1"), u"\uFFFD\uFFFDA한");
}

TEST(AnsiCodePage, LongTextsAndEmbeddedNul) {
    std::u16string wide;
    std::string ansi;
    for (int i = 0; i < 5000; ++i) {
        wide += u"한";
        ansi += "\xC7\xD1";
    }
    EXPECT_EQ(toAnsi(wide), ansi);
    EXPECT_EQ(fromAnsi(ansi), wide);
    EXPECT_EQ(fromAnsi(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(toAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

} // namespace
} // namespace tavik::platform
