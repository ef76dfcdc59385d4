// The disk-information encoding: form-encoded texts, plain and binary frames with and without
// the form scrambler, and the record table of the reply, pinned with hand-computed bytes.
#include "codec/CFormFramer.h"
#include "codec/CFormMessage.h"
#include "codec/CFormRecordTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik::app {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::span<const uint8_t> span) {
    return Bytes(span.begin(), span.end());
}

CFormMessage oneValue(std::u16string_view key, std::u16string_view value) {
    CFormMessage message;
    message.SetValue(key, value);
    return message;
}

TEST(CFormMessage, EncodesAllButLettersAndDigits) {
    struct EncodeRow {
        std::u16string value;
        std::string wire;
    };
    const std::vector<EncodeRow> rows = {
        {u"a b&c", "&k=a+b%26c"},
        {u"kim@tavik.local", "&k=kim%40tavik%2Elocal"},
        // Hangul syllables are letters and go as their code-page bytes; other characters beyond
        // ASCII go as "%XX" per byte of their code-page form, "?" when it has none.
        {u"\uD55C\uAE00", "&k=\xC7\xD1\xB1\xDB"},
        {u"\u203B\u00B7", "&k=%A1%D8%A1%A4"},
        {u"\U0001F600", "&k=%3F"},
        {u"%+=\r\n", "&k=%25%2B%3D%0D%0A"},
        {u"", "&k="},
    };
    for (const EncodeRow& row : rows) {
        CFormMessage message = oneValue(u"k", row.value);
        EXPECT_EQ(message.FormatAnsi(), row.wire);
        CFormMessage parsed;
        parsed.Parse(row.wire);
        std::u16string value;
        EXPECT_TRUE(parsed.GetValue(u"k", value));
        EXPECT_EQ(value, row.value == u"\U0001F600" ? u"?" : row.value) << row.wire;
    }
    CFormMessage request;
    request.SetValue(u"cmd", u"GetDiskInfo");
    request.SetValue(u"username", u"kim@tavik.local");
    request.SetValue(u"serviceType", u"");
    EXPECT_EQ(request.FormatAnsi(), "&cmd=GetDiskInfo&serviceType=&username=kim%40tavik%2Elocal");
}

TEST(CFormMessage, ParsesPeerTextAndKeepsKeysAsTheyAre) {
    CFormMessage message;
    message.SetValue(u"stale", u"x");
    message.Parse("inform=GetDiskInfo&&Inform=%47%65t&errmsg=a=b&flag&=lost&v=%e9%4&w=+%2b");
    std::u16string value;
    EXPECT_FALSE(message.Contains(u"stale"));
    EXPECT_TRUE(message.GetValue(u"inform", value));
    EXPECT_EQ(value, u"GetDiskInfo");
    EXPECT_TRUE(message.GetValue(u"Inform", value));
    EXPECT_EQ(value, u"Get");
    EXPECT_TRUE(message.GetValue(u"errmsg", value));
    EXPECT_EQ(value, u"a=b");
    EXPECT_TRUE(message.GetValue(u"flag", value));
    EXPECT_EQ(value, u"");
    EXPECT_TRUE(message.GetValue(u"w", value));
    EXPECT_EQ(value, u" +");
    // 0xE9 alone is no character in the code page; the stray "%4" stays as it is.
    EXPECT_TRUE(message.GetValue(u"v", value));
    EXPECT_EQ(value, u"\uFFFD%4");
    EXPECT_EQ(message.Count(), 6u);

    EXPECT_FALSE(message.SetValue(u"inform", u"other", false));
    EXPECT_FALSE(message.SetValue(u"", u"x"));
    EXPECT_TRUE(message.SetValueTrimmed(u"t", u" padded \t\r\n"));
    EXPECT_TRUE(message.GetValue(u"t", value));
    EXPECT_EQ(value, u" padded");
}

TEST(CFormFramer, FramesInEachModeByteForByte) {
    CFormMessage message = oneValue(u"a", u"1");
    message.AppendTail(Bytes{0xAA});
    struct FrameRow {
        bool scramble;
        bool binary;
        Bytes frame;
    };
    // Scrambled text: S = 0x4B2D, 0x26 ^ 0x4B = 0x6D; S = (0x4B2D + 0x6D) * 0xB3C5 + 0x6A1F =
    // 0x45A1 (mod 2^16), 0x61 ^ 0x45 = 0x24; and so on. The tail is never scrambled and plain
    // frames have none.
    const std::vector<FrameRow> rows = {
        {false, false, {0x00, 0x00, 0x00, 0x04, '&', 'a', '=', '1'}},
        {true, false, {0x00, 0x00, 0x00, 0x04, 0x6D, 0x24, 0xE4, 0xC2}},
        {false, true, {0x0D, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, '&', 'a', '=', '1', 0xAA}},
        {true,
         true,
         {0x0D, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x6D, 0x24, 0xE4, 0xC2, 0xAA}},
    };
    for (const FrameRow& row : rows) {
        CFormFramer out(row.scramble, row.binary);
        ASSERT_TRUE(out.Append(message));
        EXPECT_EQ(bytesOf(out.Bytes()), row.frame);

        CFormFramer in(row.scramble, row.binary);
        EXPECT_EQ(in.Feed(row.frame), CFormFramer::kComplete);
        CFormMessage read;
        ASSERT_TRUE(in.Extract(read));
        std::u16string value;
        EXPECT_TRUE(read.GetValue(u"a", value));
        EXPECT_EQ(value, u"1");
        EXPECT_EQ(read.Tail(), row.binary ? Bytes{0xAA} : Bytes{});
    }
}

TEST(CFormFramer, AssemblesPiecesAndKeepsTheNextFrame) {
    CFormFramer out(true, true);
    CFormMessage reply;
    reply.SetValue(u"inform", u"GetDiskInfo");
    reply.SetValue(u"tavikinfo", std::u16string(3000, u'\uB514'));
    ASSERT_TRUE(out.Append(reply));
    ASSERT_TRUE(out.Append(oneValue(u"next", u"2")));
    const Bytes wire = bytesOf(out.Bytes());

    CFormFramer in(true, true);
    size_t fed = 0;
    CFormFramer::Status status = CFormFramer::kNeedMore;
    while (status == CFormFramer::kNeedMore) {
        size_t piece = std::min<size_t>(1000, wire.size() - fed);
        status = in.Feed(std::span<const uint8_t>(wire).subspan(fed, piece));
        fed += piece;
    }
    ASSERT_EQ(status, CFormFramer::kComplete);
    EXPECT_GT(fed, 6000u);
    CFormMessage read;
    ASSERT_TRUE(in.Extract(read));
    EXPECT_EQ(read, reply);
    in.Consume();
    EXPECT_EQ(in.Feed(std::span<const uint8_t>(wire).subspan(fed)), CFormFramer::kComplete);
    ASSERT_TRUE(in.Extract(read));
    EXPECT_EQ(read, oneValue(u"next", u"2"));
    in.Consume();
    EXPECT_EQ(in.Size(), 0u);
    EXPECT_FALSE(in.Extract(read));
}

TEST(CFormFramer, RefusesFramesBeyondTheLimitAndBrokenOnes) {
    struct CheckRow {
        const char* what;
        bool binary;
        Bytes buffer;
        CFormFramer::Status status;
    };
    const std::vector<CheckRow> rows = {
        {"three bytes", false, {0x00, 0x00, 0x00}, CFormFramer::kNeedMore},
        {"plain at the limit", false, {0x00, 0x00, 0xFF, 0xFC}, CFormFramer::kNeedMore},
        {"plain past the limit", false, {0x00, 0x00, 0xFF, 0xFD}, CFormFramer::kTooLarge},
        {"plain 4 GiB", false, {0xFF, 0xFF, 0xFF, 0xFF}, CFormFramer::kTooLarge},
        {"plain empty text", false, {0x00, 0x00, 0x00, 0x00}, CFormFramer::kComplete},
        {"binary prefix half", true, {0x08, 0x00, 0x00, 0x00}, CFormFramer::kNeedMore},
        {"binary at the limit", true, {0x00, 0x00, 0x01, 0x00, 0, 0, 0, 0}, CFormFramer::kNeedMore},
        {"binary past the limit",
         true,
         {0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0},
         CFormFramer::kTooLarge},
        {"binary empty", true, {0x08, 0, 0, 0, 0, 0, 0, 0}, CFormFramer::kComplete},
        {"total below prefix", true, {0x07, 0, 0, 0, 0, 0, 0, 0}, CFormFramer::kMalformed},
        {"text past total",
         true,
         {0x0A, 0, 0, 0, 0x03, 0, 0, 0, 'a', 'b'},
         CFormFramer::kMalformed},
    };
    for (const CheckRow& row : rows) {
        CFormFramer in(false, row.binary);
        EXPECT_EQ(in.Feed(row.buffer), row.status) << row.what;
        if (row.status == CFormFramer::kTooLarge || row.status == CFormFramer::kMalformed) {
            EXPECT_EQ(in.Feed(Bytes(100, 0)), row.status) << row.what;
            EXPECT_EQ(in.Size(), row.buffer.size()) << row.what;
        }
    }
    CFormFramer out(false, true);
    CFormMessage big = oneValue(u"k", std::u16string(65536 - 8 - 3, u'x'));
    EXPECT_TRUE(out.Append(big));
    EXPECT_EQ(out.Size(), 65536u);
    CFormFramer in(false, true);
    EXPECT_EQ(in.Feed(out.Bytes()), CFormFramer::kComplete);
    out.Clear();
    big.AppendTail(Bytes{1});
    EXPECT_FALSE(out.Append(big));
    EXPECT_EQ(out.Size(), 0u);
}

TEST(CFormRecordTable, SplitsValuesIntoRecordsOfTheNamedFields) {
    const std::u16string names = u"diskid|diskname|serverip|loginid|";
    struct LoadRow {
        std::u16string names;
        std::u16string values;
        bool ok;
        size_t records;
    };
    const std::vector<LoadRow> rows = {
        {names, u"d1|\uB0B4 \uB514\uC2A4\uD06C|127.0.0.1|kim|d2||127.0.0.2|lee|", true, 2},
        {names, u"1|2|3|4|5|6|7|", false, 0},
        {names, u"", true, 0},
        {u"", u"1|", false, 0},
        {u"a|b", u"1|2|3|4", true, 2},
    };
    for (const LoadRow& row : rows) {
        CFormRecordTable table;
        EXPECT_EQ(table.Load(row.names, row.values), row.ok);
        EXPECT_EQ(table.RecordCount(), row.records);
    }
    CFormRecordTable table;
    ASSERT_TRUE(table.Load(rows[0].names, rows[0].values));
    std::u16string value;
    EXPECT_TRUE(table.GetValue(0, u"diskname", value));
    EXPECT_EQ(value, u"\uB0B4 \uB514\uC2A4\uD06C");
    EXPECT_TRUE(table.GetValue(1, u"diskname", value));
    EXPECT_EQ(value, u"");
    EXPECT_TRUE(table.GetValue(1, u"loginid", value));
    EXPECT_EQ(value, u"lee");
    EXPECT_FALSE(table.GetValue(2, u"loginid", value));
    EXPECT_FALSE(table.GetValue(0, u"size", value));

    CFormMessage reply;
    reply.SetValue(u"tavikinfofield", names);
    EXPECT_FALSE(table.Load(reply, u"tavikinfofield", u"tavikinfo"));
    reply.SetValue(u"tavikinfo", rows[0].values);
    EXPECT_TRUE(table.Load(reply, u"tavikinfofield", u"tavikinfo"));
    EXPECT_EQ(table.RecordCount(), 2u);
}

} // namespace
} // namespace tavik::app
