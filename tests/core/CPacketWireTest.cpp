// The packet's wire format pinned byte for byte. Every expected byte below was computed by hand
// from the layout (LE fields, one's-complement header checksum, the body scramble with our
// constants), not by running the code under test.
#include "sdk/core/CPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes serialize(CPacket& packet) {
    Bytes out(4096);
    int written = packet.Serialize(out.data(), static_cast<int>(out.size()));
    EXPECT_GT(written, 0);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes textBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

int parse(CPacket& packet, const Bytes& bytes) {
    return packet.Parse(bytes.data(), static_cast<int>(bytes.size()));
}

// "TK", version 1, flags, body length, checksum.
const Bytes kEmptyBinaryHeader = {0x54, 0x4B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0x00, 0x00, 0xAA, 0xB4, 0x00, 0x00};
const Bytes kEmptyTextPacket = {0x54, 0x4B, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                                0x00, 0x00, 0x00, 0xA8, 0xB4, 0x00, 0x00, 0x00};
// One item "_cmd" = "login": header with body length 16, then the binary body.
const Bytes kLoginHeader = {0x54, 0x4B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x10, 0x00, 0x00, 0x00, 0x9A, 0xB4, 0x00, 0x00};
const Bytes kLoginBody = {0x04, 0x00, 0x5F, 0x63, 0x6D, 0x64, 0x06, 0x00,
                          0x00, 0x00, 0x6C, 0x6F, 0x67, 0x69, 0x6E, 0x00};
// The same packet with the crypt flag: header flags 2, body scrambled.
const Bytes kLoginCryptHeader = {0x54, 0x4B, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00,
                                 0x10, 0x00, 0x00, 0x00, 0x98, 0xB4, 0x00, 0x00};
const Bytes kLoginCryptBody = {0x5E, 0xEB, 0x59, 0x99, 0xDF, 0x43, 0xA8, 0xE7,
                               0xB9, 0x18, 0xBF, 0x74, 0x20, 0x8C, 0xBC, 0xCC};

TEST(CPacketWire, EmptyPackets) {
    CPacket binary;
    EXPECT_EQ(serialize(binary), kEmptyBinaryHeader);
    CPacket text(1);
    EXPECT_EQ(serialize(text), kEmptyTextPacket);
}

TEST(CPacketWire, BinaryItems) {
    CPacket login;
    login.SetString("_cmd", "login");
    EXPECT_EQ(serialize(login), concat(kLoginHeader, kLoginBody));

    // Reserved flag (bit 2) and a negative integer.
    CPacket withInt(4);
    withInt.SetInt("n", -2);
    const Bytes expected = {0x54, 0x4B, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x0B,
                            0x00, 0x00, 0x00, 0x9B, 0xB4, 0x00, 0x00, 0x01, 0x00,
                            0x6E, 0x04, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(serialize(withInt), expected);
}

TEST(CPacketWire, ScrambledBody) {
    CPacket login(2);
    login.SetString("_cmd", "login");
    EXPECT_EQ(serialize(login), concat(kLoginCryptHeader, kLoginCryptBody));

    CPacket back;
    ASSERT_EQ(parse(back, concat(kLoginCryptHeader, kLoginCryptBody)), 32);
    EXPECT_TRUE(back.IsCrypt());
    EXPECT_STREQ(back.GetString("_cmd", ""), "login");
}

TEST(CPacketWire, ScrambleFeedsBackSignedBytes) {
    Bytes bytes = {0x80, 0xFF, 0x90, 0xA5, 0x00, 0x7F, 0xC3, 0x81};
    const Bytes scrambled = {0xDA, 0xA7, 0xC2, 0x85, 0x9A, 0x1A, 0x46, 0x63};
    const Bytes plain = bytes;
    CPacket::Scramble(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(bytes, scrambled);
    CPacket::Unscramble(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(bytes, plain);

    // Every byte value, high ones included, survives the round trip.
    Bytes all(512);
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<uint8_t>(255 - i % 256);
    }
    Bytes copy = all;
    CPacket::Scramble(copy.data(), static_cast<int>(copy.size()));
    EXPECT_NE(copy, all);
    CPacket::Unscramble(copy.data(), static_cast<int>(copy.size()));
    EXPECT_EQ(copy, all);
}

TEST(CPacketWire, TextBodyEscapesEverythingOutsideTheKeptSet) {
    CPacket packet(1);
    packet.SetString("path", "/A_b-1.x?#\\:@ ~&=+%\xC7");
    const Bytes header = {0x54, 0x4B, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
                          0x29, 0x00, 0x00, 0x00, 0x80, 0xB4, 0x00, 0x00};
    Bytes body = textBytes("path=/A_b-1.x?#\\:@%20%7e%26%3d%2b%25%c7&");
    body.push_back(0);
    EXPECT_EQ(serialize(packet), concat(header, body));

    CPacket back;
    ASSERT_EQ(parse(back, concat(header, body)), 57);
    EXPECT_STREQ(back.GetString("path", ""), "/A_b-1.x?#\\:@ ~&=+%\xC7");
}

TEST(CPacketWire, TextBodyShowsIntegersAsDecimal) {
    CPacket packet(1);
    packet.SetInt("n", -42);
    Bytes wire = serialize(packet);
    Bytes body(wire.begin() + 16, wire.end());
    Bytes expected = textBytes("n=-42&");
    expected.push_back(0);
    EXPECT_EQ(body, expected);
}

TEST(CPacketWire, ChecksumFoldsTwice) {
    // Words sum to 0x1FFFF: the first fold gives 0x10000, the second 0x0001, so the checksum is
    // 0xFFFE (a single fold would give 0xFFFF).
    const uint8_t header[12] = {0x54, 0x4B, 0x01, 0x00, 0xFF, 0xFF, 0xAB, 0xB4, 0, 0, 0, 0};
    EXPECT_EQ(CPacket::HeaderChecksum(header, 12), 0xFFFEu);
    // An odd count adds the last byte as a word with a zero high byte.
    const uint8_t odd[3] = {0x01, 0x02, 0x03};
    EXPECT_EQ(CPacket::HeaderChecksum(odd, 3), 0xFDFBu); // ~(0x0201 + 0x0003)

    // Such a header parses, and the ignored flag bits do not leak into the flags.
    Bytes packet(header, header + 12);
    packet.insert(packet.end(), {0xFE, 0xFF, 0x00, 0x00});
    CPacket back;
    EXPECT_EQ(parse(back, packet), 16);
    EXPECT_TRUE(back.IsText());
    EXPECT_TRUE(back.IsCrypt());
    EXPECT_TRUE(back.IsReserved());
}

// A header for a hand-made body: the checksum is recomputed by the tested routine only where the
// test is about the body, not the header.
Bytes withHeader(uint32_t flags, const Bytes& body) {
    Bytes header = {0x54, 0x4B, 0x01, 0x00};
    for (int i = 0; i < 4; ++i) {
        header.push_back(static_cast<uint8_t>(flags >> (8 * i)));
    }
    for (int i = 0; i < 4; ++i) {
        header.push_back(static_cast<uint8_t>(body.size() >> (8 * i)));
    }
    uint32_t checksum = CPacket::HeaderChecksum(header.data(), 12);
    for (int i = 0; i < 4; ++i) {
        header.push_back(static_cast<uint8_t>(checksum >> (8 * i)));
    }
    return concat(header, body);
}

TEST(CPacketParse, HeaderFailures) {
    CPacket packet;
    Bytes good = kEmptyBinaryHeader;
    EXPECT_EQ(packet.Parse(good.data(), 15), -1);
    EXPECT_EQ(packet.Parse(nullptr, 16), -1);

    Bytes badMagic = good;
    badMagic[1] = 'X';
    EXPECT_EQ(parse(packet, badMagic), -2);

    Bytes badVersion = good; // version 2, checksum adjusted so only the version is wrong
    badVersion[2] = 0x02;
    badVersion[12] = 0xA9;
    EXPECT_EQ(parse(packet, badVersion), -3);

    Bytes badChecksum = good;
    badChecksum[12] ^= 1;
    EXPECT_EQ(parse(packet, badChecksum), -5);

    Bytes highBits = good; // low 16 bits right, high bits set
    highBits[14] = 0x01;
    EXPECT_EQ(parse(packet, highBits), -5);

    // Body length -1, with its valid checksum.
    const Bytes negative = {0x54, 0x4B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xB4, 0x00, 0x00};
    EXPECT_EQ(parse(packet, negative), -4);
}

TEST(CPacketParse, BodyLengthLimit) {
    const Bytes atLimit = {0x54, 0x4B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x10, 0x00, 0x9A, 0xB4, 0x00, 0x00};
    const Bytes overLimit = {0x54, 0x4B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x01, 0x00, 0x10, 0x00, 0x99, 0xB4, 0x00, 0x00};
    CPacket packet;
    // Header only: the length passes its check and the body is missing.
    EXPECT_EQ(parse(packet, atLimit), -6);
    EXPECT_EQ(parse(packet, overLimit), -4);

    // A whole 1 MiB body: one item of 1,048,569 bytes.
    Bytes whole = atLimit;
    whole.resize(16 + 1048576);
    whole[16] = 0x01;
    whole[18] = 'v';
    uint32_t valueLength = 1048576 - 7;
    std::memcpy(&whole[19], &valueLength, 4);
    EXPECT_EQ(parse(packet, whole), 16 + 1048576);
    EXPECT_EQ(packet.Find("v").size(), valueLength);
}

TEST(CPacketParse, ShortBodyAndTrailingBytes) {
    Bytes full = concat(kLoginHeader, kLoginBody);
    CPacket packet;
    EXPECT_EQ(packet.Parse(full.data(), static_cast<int>(full.size()) - 1), -6);
    full.push_back(0xEE); // the next packet's first byte is not looked at
    EXPECT_EQ(parse(packet, full), 32);
}

TEST(CPacketParse, BinaryBodyTakesLaterDuplicates) {
    const Bytes body = {0x01, 0x00, 'a',  0x02, 0x00, 0x00, 0x00, 'x',  0x00, // a = "x"
                        0x01, 0x00, 'b',  0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00,
                        0x00, 0x01, 0x00, 'a',  0x02, 0x00, 0x00, 0x00, 'y',  0x00}; // a = "y"
    CPacket packet;
    ASSERT_EQ(parse(packet, withHeader(0, body)), 16 + static_cast<int>(body.size()));
    EXPECT_EQ(packet.Count(), 2);
    EXPECT_STREQ(packet.GetString("a", ""), "y");
    EXPECT_EQ(packet.GetInt("b", 0), 7);
}

TEST(CPacketParse, MalformedBinaryBodies) {
    const Bytes negativeName = {0x00, 0x80, 'a', 0x01, 0x00, 0x00, 0x00, 0x00};
    const Bytes zeroName = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    const Bytes zeroValue = {0x01, 0x00, 'a', 0x00, 0x00, 0x00, 0x00};
    const Bytes negativeValue = {0x01, 0x00, 'a', 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes hugeValue = {0x01, 0x00, 'a', 0x01, 0x00, 0x10, 0x00, 0x00};
    const Bytes nameRunsPast = {0x09, 0x00, 'a', 'b'};
    const Bytes valueRunsPast = {0x01, 0x00, 'a', 0x05, 0x00, 0x00, 0x00, 'x', 'y'};
    const Bytes lengthCutShort = {0x01, 0x00, 'a', 0x01, 0x00};
    const Bytes oneStrayByte = {0x01, 0x00, 'a', 0x01, 0x00, 0x00, 0x00, 'x', 0x01};
    const Bytes nulInName = {0x02, 0x00, 'a', 0x00, 0x01, 0x00, 0x00, 0x00, 'x'};
    for (const Bytes& body :
         {negativeName, zeroName, zeroValue, negativeValue, hugeValue, nameRunsPast, valueRunsPast,
          lengthCutShort, oneStrayByte, nulInName}) {
        CPacket packet;
        EXPECT_EQ(parse(packet, withHeader(0, body)), -7);
    }

    // Items before the bad one are kept.
    Bytes partial = {0x01, 0x00, 'a', 0x01, 0x00, 0x00, 0x00, 'x'};
    partial.insert(partial.end(), negativeName.begin(), negativeName.end());
    CPacket packet;
    EXPECT_EQ(parse(packet, withHeader(0, partial)), -7);
    EXPECT_EQ(packet.Count(), 1);
}

TEST(CPacketParse, BinaryNameLimit) {
    Bytes body = {0xFE, 0x01}; // 510
    body.insert(body.end(), 510, 'n');
    body.insert(body.end(), {0x01, 0x00, 0x00, 0x00, 0x05});
    CPacket packet;
    EXPECT_EQ(parse(packet, withHeader(0, body)), 16 + static_cast<int>(body.size()));
    EXPECT_EQ(packet.Find(std::string(510, 'n').c_str()).size(), 1u);

    body[0] = 0xFF; // 511
    body.insert(body.begin() + 2, 'n');
    EXPECT_EQ(parse(packet, withHeader(0, body)), -7);
}

Bytes textBody(std::string_view text) {
    Bytes body = textBytes(text);
    body.push_back(0);
    return body;
}

TEST(CPacketParse, TextDecoding) {
    CPacket packet;
    Bytes body = textBody("a=x+y%41%4a%4A%zz%4&b=1=2&=dropped&c=&trailing=ignored");
    ASSERT_EQ(parse(packet, withHeader(1, body)), 16 + static_cast<int>(body.size()));
    EXPECT_EQ(packet.Count(), 3);
    EXPECT_STREQ(packet.GetString("a", ""), "x yAJJ%zz%4");
    EXPECT_STREQ(packet.GetString("b", ""), "1=2");
    EXPECT_STREQ(packet.GetString("c", "missing"), "");
    EXPECT_TRUE(packet.Find("trailing").empty());

    // Values are stored as strings: three characters and the NUL also read as an integer.
    ASSERT_EQ(parse(packet, withHeader(1, textBody("n=abc&"))), 23);
    EXPECT_STREQ(packet.GetString("n", ""), "abc");
    EXPECT_EQ(packet.GetInt("n", 0), 0x00636261);

    // Duplicates: the later piece wins.
    ASSERT_GT(parse(packet, withHeader(1, textBody("k=1&k=2&"))), 0);
    EXPECT_STREQ(packet.GetString("k", ""), "2");
}

TEST(CPacketParse, MalformedTextBodies) {
    CPacket packet;
    EXPECT_EQ(parse(packet, withHeader(1, textBytes("a=b&"))), -7); // no NUL at the end
    EXPECT_EQ(parse(packet, withHeader(1, textBody("a=b&novalue&"))), -7);
    EXPECT_EQ(packet.Count(), 1); // the piece before the bad one was kept
    EXPECT_EQ(parse(packet, withHeader(1, textBody("a%00b=1&"))), -7); // NUL in a name

    // 510 decoded bytes fit; 511 do not, for names and values alike, escaped or not.
    std::string fits = "v=" + std::string(510, 'x') + "&";
    EXPECT_GT(parse(packet, withHeader(1, textBody(fits))), 0);
    EXPECT_EQ(packet.Find("v").size(), 511u);
    std::string escapedFits = "v=";
    for (int i = 0; i < 510; ++i) {
        escapedFits += "%41";
    }
    EXPECT_GT(parse(packet, withHeader(1, textBody(escapedFits + "&"))), 0);
    EXPECT_EQ(parse(packet, withHeader(1, textBody(escapedFits + "B&"))), -7);
    EXPECT_EQ(parse(packet, withHeader(1, textBody(std::string(511, 'n') + "=1&"))), -7);
}

TEST(CPacketParse, ScrambledTextBody) {
    Bytes body = textBody("k=v&");
    CPacket::Scramble(body.data(), static_cast<int>(body.size()));
    CPacket packet;
    ASSERT_EQ(parse(packet, withHeader(3, body)), 21);
    EXPECT_STREQ(packet.GetString("k", ""), "v");
}

} // namespace
} // namespace tavik
