// The name code that makes a mapped drive's share password.
#include "sdk/drive/NameCode.h"

#include <gtest/gtest.h>

#include <set>

using tavik::drive::kNameCodeTable;
using tavik::drive::nameCode;

TEST(NameCode, AnEmptySecondTextGivesAnEmptyCode) {
    EXPECT_EQ(nameCode(u"", u""), u"");
    EXPECT_EQ(nameCode(u"something", u""), u"");
}

TEST(NameCode, MatchesValuesWorkedOutByHand) {
    // "ab": h = 0xFF ^ 0x61 ^ (0x62 << 1 = 0xC4) = 0x5A = 90; seed = 90 + 90 = 180.
    // k=0: (180 ^ 'a' 97) = 213, 213 % 62 = 27 -> table[27] = 'j' (106), seed = 106.
    // k=1: (106 ^ 'b' 98) = 8 -> table[8] = '2'.
    EXPECT_EQ(nameCode(u"ab", u"ab"), u"j2");
    // U+AC00: its low byte is 0, so h = 0xFF, read as -1, gives 1; seed = 2.
    // (2 ^ 0xAC00) = 44034, 44034 % 62 = 14 -> table[14] = 'A'.
    EXPECT_EQ(nameCode(u"\uAC00", u"\uAC00"), u"A");
    // "\x7F": h = 0xFF ^ 0x7F = 0x80, read as signed -128, gives the largest hash, 128.
    // With B = "ab": seed = 128 + 90 = 218; (218 ^ 97) = 187, 187 % 62 = 1 -> '3' (51);
    // (51 ^ 98) = 81, 81 % 62 = 19 -> '4'.
    EXPECT_EQ(nameCode(u"\x7F", u"ab"), u"34");
}

TEST(NameCode, OnlyTheFirstEightCharactersCountAndTheLengthFollowsTheSecondText) {
    EXPECT_EQ(nameCode(u"abcdefghXYZ", u"12345678abc"), nameCode(u"abcdefgh", u"12345678"));
    // The eighth character still counts, though only its lowest bit survives the shift by 7.
    EXPECT_NE(nameCode(u"abcdefgi", u"12345678"), nameCode(u"abcdefgh", u"12345678"));
    EXPECT_EQ(nameCode(u"abcdefgj", u"12345678"), nameCode(u"abcdefgh", u"12345678"));
    EXPECT_EQ(nameCode(u"a", u"xyz").size(), 3u);
    EXPECT_EQ(nameCode(u"a", u"0123456789").size(), 8u);
    for (char16_t c : nameCode(u"kim@tavik", u"password")) {
        EXPECT_NE(kNameCodeTable.find(static_cast<char>(c)), std::string_view::npos);
    }
}

TEST(NameCode, TheTableHoldsSixtyTwoDistinctLettersAndDigits) {
    std::set<char> distinct(kNameCodeTable.begin(), kNameCodeTable.end());
    EXPECT_EQ(distinct.size(), 62u);
    for (char c : kNameCodeTable) {
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    }
}
