// Text maps and text tables of the service message: escaping pinned by hand, key
// normalisation, and the text forms both ways.
#include "codec/MsgText.h"
#include "codec/CMsgTextMap.h"
#include "codec/CMsgTextTable.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavik::app {
namespace {

struct TextRow {
    std::u16string plain;
    std::u16string escaped;
};

TEST(MsgText, EscapesTheSixDelimitersAndSpacesOnly) {
    const std::vector<TextRow> rows = {
        {u"a=b&c|d+e%f g", u"a%3Db%26c%7Cd%2Be%25f+g"},
        {u"line\nnext\r", u"line%0Anext\r"},
        {u"  ", u"++"},
        {u"\uD55C\uAE00 100%", u"\uD55C\uAE00+100%25"},
        {u"", u""},
    };
    for (const TextRow& row : rows) {
        EXPECT_EQ(EscapeMsgText(row.plain), row.escaped);
        EXPECT_EQ(UnescapeMsgText(row.escaped), row.plain);
    }
}

TEST(MsgText, UnescapesEveryFormPeersMaySend) {
    const std::vector<TextRow> rows = {
        {u"A", u"%41"},   {u"\u00E9", u"%e9"}, {u"\u0080\u00FF", u"%80%Ff"},
        {u"%", u"%%"},    {u"%4", u"%4"},      {u"%zz", u"%zz"},
        {u"+ ", u"%2B+"}, {u"\n", u"%0a"},     {u"%A", u"%%%41"},
        {u"50%", u"50%"}, {u"%2", u"%%2"},
    };
    for (const TextRow& row : rows) {
        EXPECT_EQ(UnescapeMsgText(row.escaped), row.plain)
            << "escaped form: " << row.escaped.size() << " units";
    }
}

TEST(MsgText, KeysAreLowerCasedAndTrimmedAndNumbersReadLikeDecimalText) {
    EXPECT_EQ(NormaliseMsgKey(u"BodyType \t\r\n"), u"bodytype");
    EXPECT_EQ(NormaliseMsgKey(u" Lead"), u" lead");
    EXPECT_EQ(NormaliseMsgKey(u"\u00C9X"), u"\u00C9x");
    const std::vector<std::pair<std::u16string, int32_t>> numbers = {
        {u"42", 42},
        {u"-17", -17},
        {u"  +8x", 8},
        {u"abc", 0},
        {u"", 0},
        {u"2147483647", 2147483647},
        {u"99999999999", 2147483647},
        {u"-2147483648", INT32_MIN},
        {u"-99999999999", INT32_MIN},
    };
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(MsgTextToInt(text), value);
    }
    EXPECT_EQ(MsgIntToText(-305), u"-305");
}

TEST(CMsgTextMap, StoresUnderNormalisedKeysAndHonoursOverwrite) {
    CMsgTextMap map;
    EXPECT_TRUE(map.SetValue(u"bodyType", u"1"));
    std::u16string value;
    ASSERT_TRUE(map.GetValue(u"bodytype", value));
    EXPECT_EQ(value, u"1");
    EXPECT_FALSE(map.SetValue(u"BODYTYPE ", u"0", false));
    EXPECT_TRUE(map.GetValue(u"BodyType", value));
    EXPECT_EQ(value, u"1");
    EXPECT_TRUE(map.SetValue(u"bodytype", u"0", true));
    EXPECT_TRUE(map.GetValue(u"bodytype", value));
    EXPECT_EQ(value, u"0");
    EXPECT_FALSE(map.SetValue(u" \t", u"x"));
    EXPECT_FALSE(map.GetValue(u"missing", value));
    EXPECT_TRUE(map.SetInt(u"Count", -12));
    int32_t number = 0;
    EXPECT_TRUE(map.GetInt(u"count", number));
    EXPECT_EQ(number, -12);
    EXPECT_TRUE(map.GetInt(u"bodytype", number));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(map.Count(), 2u);
    map.RemoveAll();
    EXPECT_EQ(map.Format(), u"");
}

TEST(CMsgTextMap, FormatsEscapedPairsAndParsesThemBack) {
    CMsgTextMap map;
    map.SetValue(u"Value", u"a=b&c|d+e%f g");
    map.SetValue(u"k y", u"");
    // Pairs go out in key order here, though readers must not depend on any order.
    EXPECT_EQ(map.Format(), u"k+y=&value=a%3Db%26c%7Cd%2Be%25f+g");
    CMsgTextMap parsed;
    parsed.Parse(map.Format());
    EXPECT_EQ(parsed, map);
}

TEST(CMsgTextMap, ParsesPeerTextPairByPair) {
    struct ParseRow {
        std::u16string text;
        std::vector<std::pair<std::u16string, std::u16string>> pairs;
    };
    const std::vector<ParseRow> rows = {
        // The value is everything after the first "=", escaped key characters notwithstanding.
        {u"K%3Dx=v=w", {{u"k=x", u"v=w"}}},
        {u"a=1&&A=2&flag&=lost", {{u"a", u"2"}, {u"flag", u""}}},
        {u"&", {}},
        {u"", {}},
        {u"%41+B%0A=%e9", {{u"a b", u"\u00E9"}}},
    };
    for (const ParseRow& row : rows) {
        CMsgTextMap map;
        map.SetValue(u"stale", u"gone");
        map.Parse(row.text);
        CMsgTextMap expected;
        for (const auto& [key, value] : row.pairs) {
            expected.SetValue(key, value);
        }
        EXPECT_EQ(map, expected) << "text of " << row.text.size() << " units";
    }
}

TEST(CMsgTextTable, WritesRowsAsEscapedCellsAndReadsThemBack) {
    CMsgTextTable table;
    EXPECT_TRUE(table.AddColumn(u"Name"));
    EXPECT_TRUE(table.AddColumn(u"size"));
    EXPECT_FALSE(table.AddColumn(u"NAME"));
    EXPECT_FALSE(table.AddRow());
    table.CloseColumns();
    EXPECT_FALSE(table.AddColumn(u"late"));
    EXPECT_TRUE(table.SetCell(u"name", u"x y"));
    EXPECT_TRUE(table.SetCell(u"size", u"1&2"));
    EXPECT_FALSE(table.SetCell(u"other", u"z"));
    EXPECT_TRUE(table.AddRow());
    EXPECT_TRUE(table.SetCell(u"name", u""));
    EXPECT_TRUE(table.SetCellInt(u"size", -5));
    EXPECT_TRUE(table.AddRow());
    EXPECT_EQ(table.Format(), u"name|size|&2&x+y|1%262||-5|");

    // Carried inside a text map, the table's text is escaped once more and still comes back.
    CMsgTextMap map;
    map.SetTable(u"list", table);
    CMsgTextMap parsedMap;
    parsedMap.Parse(map.Format());
    CMsgTextTable read;
    ASSERT_TRUE(parsedMap.GetTable(u"list", read));
    EXPECT_EQ(read.RowCount(), 2u);
    std::u16string name;
    std::u16string size;
    ASSERT_TRUE(read.NextRow());
    EXPECT_TRUE(read.GetCell(u"NAME", name));
    EXPECT_TRUE(read.GetCell(u"size", size));
    EXPECT_EQ(name, u"x y");
    EXPECT_EQ(size, u"1&2");
    ASSERT_TRUE(read.NextRow());
    EXPECT_TRUE(read.GetCell(u"name", name));
    EXPECT_TRUE(read.GetCell(u"size", size));
    EXPECT_EQ(name, u"");
    EXPECT_EQ(size, u"-5");
    EXPECT_FALSE(read.NextRow());
}

TEST(CMsgTextTable, ReadsPeerTextAndRefusesBrokenOnes) {
    CMsgTextTable table;
    // A missing trailing "|" ends the last cell at the end of the text.
    ASSERT_TRUE(table.Parse(u"a|b|&1&x|y"));
    ASSERT_TRUE(table.NextRow());
    std::u16string cell;
    EXPECT_TRUE(table.GetCell(u"b", cell));
    EXPECT_EQ(cell, u"y");
    EXPECT_FALSE(table.NextRow());
    // A count beyond the rows present stops where the text ends.
    ASSERT_TRUE(table.Parse(u"a|&5&1|2|"));
    EXPECT_TRUE(table.NextRow());
    EXPECT_TRUE(table.NextRow());
    EXPECT_FALSE(table.NextRow());
    for (std::u16string broken :
         {u"a|b|", u"a|&x&", u"a|&-1&", u"a|&&", u"a||&0&", u"a|a|&0&", u"a|&1234567890&"}) {
        EXPECT_FALSE(table.Parse(broken));
        EXPECT_TRUE(table.Columns().empty());
    }
}

} // namespace
} // namespace tavik::app
