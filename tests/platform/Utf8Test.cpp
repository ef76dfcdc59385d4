// UTF-8 and UTF-16 conversions, pinned with hand-written byte sequences: host file names reach
// the wire through them, so a decoding slip would rename files.
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace tavik::platform {
namespace {

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::u16string text;
};

TEST(Utf8, DecodesWellFormedAndReplacesEachBrokenCharacterOnce) {
    const DecodeCase cases[] = {
        {"ASCII", "a/b", u"a/b"},
        {"two bytes", "\xC3\xA9", u"\u00E9"},
        {"Hangul", "\xED\x95\x9C", u"\uD55C"},
        {"last before surrogates", "\xED\x9F\xBF", u"\uD7FF"},
        {"astral", "\xF0\x9F\x93\x81", u"\U0001F4C1"},
        {"largest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"bad lead",
         "a\xFF"
         "b",
         u"a\uFFFDb"},
        {"lone continuation", "\x80x", u"\uFFFDx"},
        {"cut at the end", "\xC3", u"\uFFFD"},
        {"cut before ASCII", "\xE2\x82x", u"\uFFFDx"},
        {"cut four-byte", "\xF0\x9F\x93", u"\uFFFD"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"lead F5", "\xF5\x80", u"\uFFFD\uFFFD"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(utf16FromUtf8(c.bytes), c.text) << c.what;
    }
}

TEST(Utf8, DecodingAdvancesOverExactlyOneCharacter) {
    std::string text = "\xE2\x82\xED\x95\x9C";
    size_t pos = 0;
    EXPECT_EQ(decodeUtf8(text, pos), U'\uFFFD');
    EXPECT_EQ(pos, 2u);
    EXPECT_EQ(decodeUtf8(text, pos), U'\uD55C');
    EXPECT_EQ(pos, 5u);
}

TEST(Utf8, EncodesSurrogatePairsAndReplacesLoneHalves) {
    EXPECT_EQ(utf8FromUtf16(u"a\uD55C\U0001F600z"), "a\xED\x95\x9C\xF0\x9F\x98\x80z");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(utf8FromUtf16(lone), "a\xEF\xBF\xBD"
                                   "b\xEF\xBF\xBD");
    const char16_t reversed[] = {0xDC00, 0xD800, 0};
    EXPECT_EQ(utf8FromUtf16(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
    std::u16string all = u"x\u00E9\uD55C\U0010FFFF";
    EXPECT_EQ(utf16FromUtf8(utf8FromUtf16(all)), all);
}

} // namespace
} // namespace tavik::platform
