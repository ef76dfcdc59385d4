// Item operations of the packet and round trips through both encodings. The exact wire bytes
// are pinned in CPacketWireTest.cpp.
#include "sdk/core/CPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tavik {
namespace {

std::vector<uint8_t> serialize(CPacket& packet) {
    std::vector<uint8_t> out(static_cast<size_t>(packet.SizeBound()) * 3 + 64);
    int written = packet.Serialize(out.data(), static_cast<int>(out.size()));
    EXPECT_GT(written, 0);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

TEST(CPacketItems, SetReplaceAndIgnoreInvalidArguments) {
    CPacket packet;
    packet.SetString("name", "first");
    packet.SetString("name", "second");
    EXPECT_EQ(packet.Count(), 1);
    EXPECT_STREQ(packet.GetString("name", "none"), "second");

    // Null or empty arguments change nothing.
    const uint8_t byte = 7;
    packet.SetData("name", &byte, 0);
    packet.SetData(nullptr, &byte, 1);
    packet.SetData("name", nullptr, 1);
    packet.SetString("name", nullptr);
    packet.SetString(nullptr, "x");
    packet.SetInt(nullptr, 5);
    packet.SetData("", &byte, 1);
    EXPECT_EQ(packet.Count(), 1);
    EXPECT_STREQ(packet.GetString("name", "none"), "second");
}

TEST(CPacketItems, NamesAreCaseSensitive) {
    CPacket packet;
    packet.SetInt("Size", 1);
    packet.SetInt("size", 2);
    EXPECT_EQ(packet.Count(), 2);
    EXPECT_EQ(packet.GetInt("Size", 0), 1);
    EXPECT_EQ(packet.GetInt("size", 0), 2);
    EXPECT_EQ(packet.GetInt("SIZE", -1), -1);
}

TEST(CPacketItems, ThreeCharacterStringIsAlsoAnInteger) {
    CPacket packet;
    packet.SetString("v", "abc");
    const char* text = nullptr;
    int32_t value = 0;
    ASSERT_TRUE(packet.GetString("v", &text));
    EXPECT_STREQ(text, "abc");
    ASSERT_TRUE(packet.GetInt("v", &value));
    EXPECT_EQ(value, 0x00636261);
}

TEST(CPacketItems, DataWithEmbeddedNulIsNotAString) {
    CPacket packet;
    const char bytes[] = {'a', '\0', 'b', '\0'};
    packet.SetData("d", bytes, 4);
    const char* text = nullptr;
    EXPECT_FALSE(packet.GetString("d", &text));
    EXPECT_STREQ(packet.GetString("d", "default"), "default");
    // Four bytes: still an integer.
    EXPECT_EQ(packet.GetInt("d", 0), 0x00620061);

    const char noNul[] = {'x', 'y'};
    packet.SetData("n", noNul, 2);
    EXPECT_STREQ(packet.GetString("n", "default"), "default");
    EXPECT_EQ(packet.GetInt("n", -9), -9);
}

TEST(CPacketItems, GetDataCopiesWhatFitsAndReportsTheLength) {
    CPacket packet;
    packet.SetData("d", "0123456789", 10);
    char buffer[4] = {};
    uint32_t size = sizeof buffer;
    ASSERT_TRUE(packet.GetData("d", buffer, &size));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::memcmp(buffer, "0123", 4), 0);

    size = sizeof buffer;
    EXPECT_TRUE(packet.GetData("missing", buffer, &size));
    EXPECT_EQ(size, 0u);
    size = sizeof buffer;
    EXPECT_FALSE(packet.GetData("d", nullptr, &size));
}

TEST(CPacketItems, FindRemoveAndClear) {
    CPacket packet;
    packet.SetInt("a", -2);
    packet.SetString("b", "x");
    auto found = packet.Find("a");
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0], 0xFE);
    EXPECT_EQ(found[3], 0xFF);
    EXPECT_TRUE(packet.Find("zz").empty());
    EXPECT_EQ(packet.Find("zz").data(), nullptr);

    EXPECT_TRUE(packet.Remove("a"));
    EXPECT_FALSE(packet.Remove("a"));
    EXPECT_EQ(packet.Count(), 1);
    packet.Clear();
    EXPECT_EQ(packet.Count(), 0);
}

TEST(CPacketItems, NameLimitIs510AnsiBytes) {
    CPacket packet;
    std::string longest(510, 'n');
    std::string tooLong(511, 'n');
    packet.SetInt(longest.c_str(), 1);
    packet.SetInt(tooLong.c_str(), 2);
    EXPECT_EQ(packet.Count(), 1);
    EXPECT_EQ(packet.GetInt(longest.c_str(), 0), 1);
    EXPECT_EQ(packet.SizeBound(), 16 + 6 + 510 + 4);
}

TEST(CPacketItems, SizeBoundCountsAnsiBytesOfNames) {
    CPacket packet;
    packet.SetInt("\xC7\xD1\xB1\xDB", 1); // two Korean characters, four bytes in CP949
    EXPECT_EQ(packet.SizeBound(), 16 + 6 + 4 + 4);
    std::vector<uint8_t> bytes(static_cast<size_t>(packet.SizeBound()));
    EXPECT_EQ(packet.Serialize(bytes.data(), static_cast<int>(bytes.size())), 30);

    CPacket back;
    ASSERT_EQ(back.Parse(bytes.data(), 30), 30);
    EXPECT_EQ(back.GetInt("\xC7\xD1\xB1\xDB", 0), 1);
}

TEST(CPacketItems, UnreadableNameBytesGoOutAsQuestionMarks) {
    CPacket packet;
    packet.SetInt("a\x80", 1); // not a character of the code page
    packet.SetInt("a?", 2);    // sent the same way, so it is the same item
    EXPECT_EQ(packet.Count(), 1);
    EXPECT_EQ(packet.GetInt("a\x80", 0), 2);
    std::vector<uint8_t> wire = serialize(packet);
    ASSERT_EQ(wire.size(), 16u + 6 + 2 + 4);
    EXPECT_EQ(wire[18], 'a');
    EXPECT_EQ(wire[19], '?');
}

TEST(CPacketRoundTrip, BinaryAndScrambledKeepEveryKind) {
    for (uint32_t flags : {0u, 2u, 4u, 6u}) {
        CPacket packet(flags);
        packet.SetString("_cmd", "setuser");
        packet.SetInt("timeout", -60000);
        std::vector<uint8_t> data(300);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(0xFF - i);
        }
        packet.SetData("data", data.data(), static_cast<uint32_t>(data.size()));
        std::vector<uint8_t> wire = serialize(packet);
        ASSERT_EQ(wire.size(), static_cast<size_t>(packet.SizeBound()));

        CPacket back(flags ^ 7u); // creation flags do not matter for a parsed packet
        ASSERT_EQ(back.Parse(wire.data(), static_cast<int>(wire.size())),
                  static_cast<int>(wire.size()));
        EXPECT_EQ(back.IsText(), false);
        EXPECT_EQ(back.IsCrypt(), (flags & 2u) != 0);
        EXPECT_EQ(back.IsReserved(), (flags & 4u) != 0);
        EXPECT_EQ(back.Count(), 3);
        EXPECT_STREQ(back.GetString("_cmd", ""), "setuser");
        EXPECT_EQ(back.GetInt("timeout", 0), -60000);
        auto got = back.Find("data");
        EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), data);
    }
}

TEST(CPacketRoundTrip, TextEncodingKeepsDelimitersAndHighBytes) {
    for (uint32_t flags : {1u, 3u}) {
        CPacket packet(flags);
        packet.SetString("a&b=c", "x=y&z 100% \xC7\xD1+");
        packet.SetInt("n", -42);
        std::vector<uint8_t> wire = serialize(packet);

        CPacket back;
        ASSERT_EQ(back.Parse(wire.data(), static_cast<int>(wire.size())),
                  static_cast<int>(wire.size()));
        EXPECT_TRUE(back.IsText());
        EXPECT_EQ(back.Count(), 2);
        EXPECT_STREQ(back.GetString("a&b=c", ""), "x=y&z 100% \xC7\xD1+");
        // Text bodies carry integers as decimal strings.
        EXPECT_STREQ(back.GetString("n", ""), "-42");
    }
}

TEST(CPacketRoundTrip, TextEncodingDropsDataValues) {
    CPacket packet(1);
    const uint8_t data[] = {1, 2, 3, 4, 5};
    packet.SetData("blob", data, sizeof data);
    std::vector<uint8_t> wire = serialize(packet);
    CPacket back;
    ASSERT_GT(back.Parse(wire.data(), static_cast<int>(wire.size())), 0);
    EXPECT_STREQ(back.GetString("blob", "missing"), "");
}

TEST(CPacketRoundTrip, EmptyPacketsInBothEncodings) {
    CPacket binary;
    std::vector<uint8_t> wire = serialize(binary);
    EXPECT_EQ(wire.size(), 16u);
    CPacket back;
    back.SetInt("stale", 1);
    EXPECT_EQ(back.Parse(wire.data(), 16), 16);
    EXPECT_EQ(back.Count(), 0);

    CPacket text(1);
    wire = serialize(text);
    ASSERT_EQ(wire.size(), 17u);
    EXPECT_EQ(wire[16], 0);
    EXPECT_EQ(back.Parse(wire.data(), 17), 17);
    EXPECT_EQ(back.Count(), 0);
    EXPECT_TRUE(back.IsText());
}

TEST(CPacketSerialize, BufferTooSmall) {
    CPacket binary;
    binary.SetString("k", "v");
    std::vector<uint8_t> buffer(64);
    EXPECT_EQ(binary.SizeBound(), 16 + 6 + 1 + 2);
    EXPECT_EQ(binary.Serialize(buffer.data(), binary.SizeBound() - 1), -1);
    EXPECT_EQ(binary.Serialize(buffer.data(), binary.SizeBound()), binary.SizeBound());

    CPacket text(1);
    text.SetString("k", "v v"); // "k=v%20v&" and the NUL: 9 bytes
    EXPECT_EQ(text.Serialize(buffer.data(), 16 + 8), -2);
    EXPECT_EQ(text.Serialize(buffer.data(), 16 + 9), 25);
}

TEST(CPacketSerialize, BodyAboveOneMebibyteIsRefused) {
    CPacket packet;
    std::vector<uint8_t> value(1048576, 0x41);
    packet.SetData("a", value.data(), static_cast<uint32_t>(value.size()));
    EXPECT_EQ(packet.Count(), 1);
    std::vector<uint8_t> buffer(static_cast<size_t>(packet.SizeBound()));
    EXPECT_EQ(packet.Serialize(buffer.data(), static_cast<int>(buffer.size())), -1);

    // A value just small enough for the body limit goes through and parses back.
    packet.SetData("a", value.data(), 1048576 - 7);
    buffer.resize(static_cast<size_t>(packet.SizeBound()));
    ASSERT_EQ(packet.Serialize(buffer.data(), static_cast<int>(buffer.size())), 16 + 1048576);
    CPacket back;
    EXPECT_EQ(back.Parse(buffer.data(), static_cast<int>(buffer.size())), 16 + 1048576);
    EXPECT_EQ(back.Find("a").size(), 1048576u - 7);

    // A value above the limit is never stored.
    value.push_back(0);
    packet.SetData("b", value.data(), static_cast<uint32_t>(value.size()));
    EXPECT_TRUE(packet.Find("b").empty());
}

TEST(CPacketItems, ItemsTravelInTheOrderFirstSetAndAReplacedOneKeepsItsPlace) {
    CPacket packet(0);
    packet.SetInt("a", 7);
    packet.SetInt("b", 1);
    packet.SetInt("c", 2);
    packet.SetInt("a", 9);
    EXPECT_TRUE(packet.Remove("b"));
    EXPECT_FALSE(packet.Remove("b"));
    packet.SetInt("b", 3); // back, at the end
    const std::vector<uint8_t> body = {
        0x01, 0x00, 'a', 0x04, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, //
        0x01, 0x00, 'c', 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, //
        0x01, 0x00, 'b', 0x04, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
    };
    ASSERT_EQ(packet.SizeBound(), 16 + static_cast<int>(body.size()));
    std::vector<uint8_t> buffer(static_cast<size_t>(packet.SizeBound()));
    ASSERT_EQ(packet.Serialize(buffer.data(), static_cast<int>(buffer.size())),
              static_cast<int>(buffer.size()));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 16, buffer.end()), body);
    EXPECT_EQ(packet.GetInt("a", 0), 9);
    EXPECT_EQ(packet.Count(), 3);
}

TEST(CPacketItems, ManyItemsAreFoundInAnyOrderAndKeepTheirBytesInPlace) {
    CPacket packet;
    packet.SetString("first", "kept");
    const char* first = nullptr;
    ASSERT_TRUE(packet.GetString("first", &first));
    // Enough items to outgrow every block and index size several times.
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
        packet.SetInt(("n" + std::to_string(i)).c_str(), i);
    }
    // Adding other items never moves the bytes of an item already there.
    EXPECT_STREQ(first, "kept");
    // In order (the common case), backwards and in strides: each lookup finds its own item.
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(packet.GetInt(("n" + std::to_string(i)).c_str(), -1), i);
    }
    for (int i = count - 1; i >= 0; i -= 7) {
        ASSERT_EQ(packet.GetInt(("n" + std::to_string(i)).c_str(), -1), i);
    }
    EXPECT_EQ(packet.GetInt("n20000", -1), -1);
    EXPECT_TRUE(packet.Remove("n5"));
    EXPECT_EQ(packet.GetInt("n5", -1), -1);
    EXPECT_EQ(packet.GetInt("n6", -1), 6);
    EXPECT_EQ(packet.GetInt(("n" + std::to_string(count - 1)).c_str(), -1), count - 1);
    EXPECT_EQ(packet.Count(), count);
    EXPECT_EQ(
        packet.SizeBound(), 16 + (6 + 5 + 5) + [&] {
            int body = 0;
            for (int i = 0; i < count; ++i) {
                body += i == 5 ? 0 : 6 + 1 + static_cast<int>(std::to_string(i).size()) + 4;
            }
            return body;
        }());
}

TEST(CPacketItems, AValueSetFromItselfOrGrowingOrShrinkingStaysWhole) {
    CPacket packet;
    packet.SetString("a", "12345");
    packet.SetString("b", "other");
    packet.SetString("a", packet.GetString("a", "")); // its own bytes, same length
    EXPECT_STREQ(packet.GetString("a", ""), "12345");
    const std::string longer(5000, 'x');
    packet.SetString("a", longer.c_str());
    EXPECT_EQ(packet.GetString("a", ""), longer);
    packet.SetString("a", "ab");
    EXPECT_STREQ(packet.GetString("a", ""), "ab");
    EXPECT_STREQ(packet.GetString("b", ""), "other");
    EXPECT_EQ(packet.SizeBound(), 16 + (6 + 1 + 3) + (6 + 1 + 6));
}

TEST(CPacketDescribe, ShowsStringsIntegersAndDataSizes) {
    CPacket packet(2);
    packet.SetString("s", "abc");
    packet.SetInt("i", -5);
    packet.SetData("d", "\x01\x02\x03\x04\x05", 5);
    packet.SetString("k", "\xC7\xD1\xB1\xDB");
    std::u16string expected = u"tavik packet_v1(binary, crypt) have 4 items"
                              u"\r\ns=abc\r\ni=-5\r\nd=<5 bytes>\r\nk=한글";
    EXPECT_EQ(std::u16string(packet.Describe()), expected);

    CPacket text(1);
    EXPECT_EQ(std::u16string(text.Describe()), u"tavik packet_v1(string) have 0 items");
}

} // namespace
} // namespace tavik
