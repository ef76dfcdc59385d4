// Typed bodies and record sets, pinned with images computed by hand.
#include "codec/CMsgTypedBody.h"
#include "codec/CMsgRecordSet.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavik::app {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// cmd = "auth", userid = "a": 5 + 16 + 16 bytes, L = 33.
const Bytes kCmdEntry = {0x00, 0x03, 'c',  'm', 'd', 0x00, 0x04, 0x00,
                         0x00, 0x00, 0x05, 'a', 'u', 't',  'h',  0x00};
const Bytes kUserEntry = {0x00, 0x06, 'u',  's',  'e',  'r',  'i', 'd',
                          0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 'a', 0x00};

CMsgTypedBody authBody() {
    CMsgTypedBody body;
    // Inserted user id first: the image still starts with "cmd".
    body.SetString(u"userId", u"a");
    body.SetString(u"CMD", u"auth");
    return body;
}

TEST(CMsgTypedBody, WritesEntriesInKeyOrderInClear) {
    EXPECT_EQ(authBody().Serialize(false),
              concat({{0x00, 0x00, 0x00, 0x21, 0x00}, kCmdEntry, kUserEntry}));
    EXPECT_EQ(authBody().Keys(), (std::vector<std::u16string>{u"userid", u"cmd"}));
}

TEST(CMsgTypedBody, ScramblesEverythingAfterTheFlag) {
    // First key byte: S = 0x7E15, key 0x7E, 0x00 ^ 0x7E = 0x7E. Second: S = (0x7E15 + 0x7E) *
    // 0x1A35 + 0x2F61 = 0x51D0 (mod 2^16), 0x03 ^ 0x51 = 0x52. The rest the same way.
    const Bytes expected = {0x00, 0x00, 0x00, 0x21, 0x01, 0x7E, 0x52, 0xC7, 0x2C, 0x2E,
                            0x89, 0xDB, 0x5A, 0xF6, 0x8C, 0x95, 0xCF, 0x24, 0xCE, 0x42,
                            0x89, 0xBE, 0xD6, 0xA3, 0x14, 0xBC, 0xCB, 0x3F, 0x8B, 0x8E,
                            0x58, 0xBD, 0x66, 0x4F, 0xF5, 0xA2, 0x9C};
    Bytes image = authBody().Serialize(true);
    EXPECT_EQ(image, expected);
    CMsgTypedBody parsed;
    ASSERT_TRUE(parsed.Parse(image));
    std::u16string text;
    EXPECT_TRUE(parsed.GetString(u"cmd", text));
    EXPECT_EQ(text, u"auth");
    EXPECT_TRUE(parsed.GetString(u"USERID", text));
    EXPECT_EQ(text, u"a");
    EXPECT_EQ(parsed.Count(), 2u);
}

TEST(CMsgTypedBody, KeepsEachTypeApartAndReplacesInPlace) {
    CMsgTypedBody body;
    EXPECT_TRUE(body.SetInt(u"n", -2));
    EXPECT_TRUE(body.SetString(u"s", u"\uD55C"));
    EXPECT_TRUE(body.SetBytes(u"raw", 9, Bytes{1, 2, 3}));
    EXPECT_FALSE(body.SetInt(u"N", 5, false));
    EXPECT_FALSE(body.SetInt(u"  ", 5));
    EXPECT_TRUE(body.SetString(u"n", u"now text"));
    EXPECT_EQ(body.Keys(), (std::vector<std::u16string>{u"n", u"s", u"raw"}));
    EXPECT_TRUE(body.SetInt(u"n", -2));

    CMsgTypedBody parsed;
    ASSERT_TRUE(parsed.Parse(body.Serialize(false)));
    int32_t number = 0;
    std::u16string text;
    Bytes raw;
    uint8_t type = 0;
    EXPECT_TRUE(parsed.GetInt(u"n", number));
    EXPECT_EQ(number, -2);
    EXPECT_FALSE(parsed.GetString(u"n", text));
    EXPECT_TRUE(parsed.GetString(u"s", text));
    EXPECT_EQ(text, u"\uD55C");
    EXPECT_FALSE(parsed.GetInt(u"s", number));
    EXPECT_TRUE(parsed.GetBytes(u"s", raw, &type));
    EXPECT_EQ(raw, (Bytes{0xC7, 0xD1, 0x00}));
    EXPECT_EQ(type, CMsgTypedBody::kValueString);
    EXPECT_TRUE(parsed.GetBytes(u"raw", raw, &type));
    EXPECT_EQ(raw, (Bytes{1, 2, 3}));
    EXPECT_EQ(type, 9);
    EXPECT_TRUE(parsed.Remove(u"RAW"));
    EXPECT_FALSE(parsed.Contains(u"raw"));
    EXPECT_EQ(parsed.Keys(), (std::vector<std::u16string>{u"n", u"s"}));
    EXPECT_EQ(parsed.Serialize(false),
              concat({{0x00, 0x00, 0x00, 0x1A, 0x00},
                      {0x00, 0x01, 'n', 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFE},
                      {0x00, 0x01, 's', 0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0xC7, 0xD1, 0x00}}));
}

TEST(CMsgTypedBody, RejectsImagesWhoseLengthsDisagree) {
    const Bytes good = concat({{0x00, 0x00, 0x00, 0x21, 0x00}, kCmdEntry, kUserEntry});
    Bytes longerValue = good;
    longerValue[15] = 0x20; // cmd's value length runs past the end
    Bytes longerKey = good;
    longerKey[6] = 0x30; // cmd's key length runs past the end
    Bytes shortL = good;
    shortL[3] = 0x20;
    const std::vector<Bytes> broken = {{},
                                       {0x00, 0x00, 0x00, 0x00},
                                       {0x00, 0x00, 0x00, 0x01},
                                       shortL,
                                       longerValue,
                                       longerKey,
                                       {0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x01, 'k', 0x00}};
    for (const Bytes& image : broken) {
        CMsgTypedBody body;
        body.SetInt(u"old", 1);
        EXPECT_FALSE(body.Parse(image)) << "image of " << image.size() << " bytes";
        EXPECT_EQ(body.Count(), 0u);
    }
    // Fewer than four bytes after the last entry are not an entry and are passed over.
    Bytes tail = concat({{0x00, 0x00, 0x00, 0x24, 0x00}, kCmdEntry, kUserEntry, {0, 0, 0}});
    CMsgTypedBody body;
    EXPECT_TRUE(body.Parse(tail));
    EXPECT_EQ(body.Count(), 2u);
    // An empty body is a valid one.
    EXPECT_TRUE(body.Parse(Bytes{0x00, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(body.Count(), 0u);
}

// Columns name (string, 8), age (integer, 4), blob (bytes, 3), one row 7 / 01 02 / "kim".
const Bytes kRecordSetImage = {
    0x00, 0x00, 0x00, 0x31, 0x00, 0x03, 0x00, 0x01,             // length, columns, rows
    0x03, 0x00, 0x04, 0x00, 0x03, 'a',  'g',  'e',  0x00,       // age
    0x02, 0x00, 0x03, 0x00, 0x04, 'b',  'l',  'o',  'b',  0x00, // blob
    0x01, 0x00, 0x08, 0x00, 0x04, 'n',  'a',  'm',  'e',  0x00, // name
    0x00, 0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x02, 0x01, 0x02, // row: age, blob
    0x00, 0x04, 'k',  'i',  'm',  0x00};                        // row: name

TEST(CMsgRecordSet, WritesColumnsInNameOrderAndRowsFromCurrentCells) {
    CMsgRecordSet set;
    EXPECT_TRUE(set.AddColumn(u"name", CMsgRecordSet::kColumnString, 8));
    EXPECT_TRUE(set.AddColumn(u"age", CMsgRecordSet::kColumnInt, 4));
    EXPECT_TRUE(set.AddColumn(u"blob", CMsgRecordSet::kColumnBytes, 3));
    EXPECT_FALSE(set.AddColumn(u"name", CMsgRecordSet::kColumnBytes, 3));
    EXPECT_FALSE(set.AddColumn(u"wide", CMsgRecordSet::kColumnInt, 8));
    EXPECT_FALSE(set.AddColumn(u"none", CMsgRecordSet::kColumnString, 0));
    EXPECT_FALSE(set.AddColumn(u"odd", 5, 4));
    EXPECT_FALSE(set.AddRow());
    EXPECT_TRUE(set.WriteHeader());
    EXPECT_FALSE(set.AddColumn(u"late", CMsgRecordSet::kColumnInt, 4));
    EXPECT_TRUE(set.SetInt(u"age", 7));
    EXPECT_TRUE(set.SetBytes(u"blob", Bytes{1, 2}));
    EXPECT_FALSE(set.SetBytes(u"blob", Bytes{1, 2, 3, 4}));
    EXPECT_TRUE(set.SetString(u"name", u"kim"));
    EXPECT_FALSE(set.SetString(u"name", u"12345678"));
    EXPECT_FALSE(set.SetInt(u"name", 1));
    EXPECT_TRUE(set.AddRow());
    EXPECT_TRUE(set.Finish());
    EXPECT_EQ(set.Image(), kRecordSetImage);
}

TEST(CMsgRecordSet, TravelsInATypedBodyAndReadsRowByRow) {
    CMsgRecordSet set;
    set.AddColumn(u"name", CMsgRecordSet::kColumnString, 8);
    set.AddColumn(u"age", CMsgRecordSet::kColumnInt4, 4);
    CMsgTypedBody body;
    EXPECT_FALSE(body.SetRecordSet(u"people", set));
    set.WriteHeader();
    set.SetString(u"name", u"\uAE40");
    set.AddRow();
    set.SetInt(u"age", -1); // the name stays from the row before
    set.AddRow();
    set.Finish();
    EXPECT_TRUE(body.SetRecordSet(u"people", set));

    CMsgTypedBody parsed;
    ASSERT_TRUE(parsed.Parse(body.Serialize(true)));
    CMsgRecordSet read;
    ASSERT_TRUE(parsed.GetRecordSet(u"people", read));
    EXPECT_EQ(read.RowCount(), 2u);
    EXPECT_EQ(read.ColumnCount(), 2u);
    std::u16string name;
    int32_t age = 99;
    ASSERT_TRUE(read.NextRow());
    EXPECT_TRUE(read.GetString(u"name", name));
    EXPECT_TRUE(read.GetInt(u"age", age));
    EXPECT_EQ(name, u"\uAE40");
    EXPECT_EQ(age, 0);
    ASSERT_TRUE(read.NextRow());
    EXPECT_TRUE(read.GetString(u"name", name));
    EXPECT_TRUE(read.GetInt(u"age", age));
    EXPECT_EQ(name, u"\uAE40");
    EXPECT_EQ(age, -1);
    EXPECT_FALSE(read.NextRow());
    Bytes bytes;
    EXPECT_FALSE(read.GetBytes(u"name", bytes));
}

TEST(CMsgRecordSet, LoadChecksTheWholeImage) {
    CMsgRecordSet set;
    ASSERT_TRUE(set.Load(kRecordSetImage));
    ASSERT_TRUE(set.NextRow());
    Bytes blob;
    EXPECT_TRUE(set.GetBytes(u"blob", blob));
    EXPECT_EQ(blob, (Bytes{1, 2}));

    auto changed = [](size_t at, uint8_t value) {
        Bytes image = kRecordSetImage;
        image[at] = value;
        return image;
    };
    Bytes trailing = kRecordSetImage;
    trailing.push_back(0);
    trailing[3] = 0x32;
    const std::vector<Bytes> broken = {
        {},
        changed(3, 0x30),  // length field
        changed(5, 0x04),  // one column more than defined
        changed(7, 0x02),  // one row more than present
        changed(8, 0x07),  // unknown column type
        changed(12, 0x40), // name runs past the end
        changed(44, 0x04), // blob cell longer than its column
        trailing,          // a byte after the last row
    };
    for (const Bytes& image : broken) {
        EXPECT_FALSE(set.Load(image)) << "image of " << image.size() << " bytes";
        EXPECT_EQ(set.ColumnCount(), 0u);
        EXPECT_FALSE(set.NextRow());
    }
}

} // namespace
} // namespace tavik::app
