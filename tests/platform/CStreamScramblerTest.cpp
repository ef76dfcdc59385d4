// The shared stream scrambler in each of its shapes, pinned with hand-computed streams.
#include "platform/CStreamScrambler.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavik::platform {
namespace {

using Bytes = std::vector<uint8_t>;
using Width = CStreamScrambler::UnitWidth;
using Feedback = CStreamScrambler::Feedback;

Bytes littleEndian(const std::vector<uint16_t>& units) {
    Bytes bytes;
    for (uint16_t unit : units) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

void expectStream(const CStreamScrambler& scrambler, const Bytes& plain, const Bytes& scrambled) {
    Bytes bytes = plain;
    scrambler.Scramble(bytes);
    EXPECT_EQ(bytes, scrambled);
    scrambler.Unscramble(bytes);
    EXPECT_EQ(bytes, plain);
}

TEST(CStreamScrambler, EightBitUnitsSignedAndUnsignedFeedback) {
    const Bytes plain = {0x80, 0xFF, 0x01, 0x90};
    // The first scrambled byte (0xDA) is negative as a signed byte: from there the streams part.
    expectStream(CStreamScrambler(0x5A3C, 0xC6EF, 0x3A29, Width::Bits8, Feedback::Signed), plain,
                 {0xDA, 0xA7, 0x53, 0x5D});
    expectStream(CStreamScrambler(0x5A3C, 0xC6EF, 0x3A29, Width::Bits8, Feedback::Unsigned), plain,
                 {0xDA, 0xB8, 0x99, 0x78});
}

TEST(CStreamScrambler, SixteenBitUnitsKeepA32BitState) {
    const Bytes plain = littleEndian({0xC7D1, 0x0041, 0xD55C, 0xFFFF, 0x8000});
    expectStream(CStreamScrambler(0x1234, 0x00010DCD, 0x5678, Width::Bits16, Feedback::Unsigned),
                 plain, littleEndian({0xC7C3, 0xB72D, 0x643B, 0xE8C4, 0x333A}));
    expectStream(CStreamScrambler(0x1234, 0x00010DCD, 0x5678, Width::Bits16, Feedback::Signed),
                 plain, littleEndian({0xC7C3, 0xEA2D, 0xAE62, 0x033D, 0x32DB}));
}

TEST(CStreamScrambler, OddTrailingByteOfSixteenBitUnitsIsLeftAlone) {
    CStreamScrambler scrambler(0x1234, 0x00010DCD, 0x5678, Width::Bits16, Feedback::Unsigned);
    Bytes bytes = {0xD1, 0xC7, 0x77};
    scrambler.Scramble(bytes);
    EXPECT_EQ(bytes, (Bytes{0xC3, 0xC7, 0x77}));
}

TEST(CStreamScrambler, EightBitUnscrambleUndoesScrambleAtEveryLength) {
    // Unscrambling takes bytes in pairs; odd lengths and both feedbacks must still come back.
    for (Feedback feedback : {Feedback::Signed, Feedback::Unsigned}) {
        CStreamScrambler scrambler(0x5A3C, 0xC6EF, 0x3A29, Width::Bits8, feedback);
        for (size_t length = 0; length <= 33; ++length) {
            Bytes plain(length);
            for (size_t i = 0; i < length; ++i) {
                plain[i] = static_cast<uint8_t>(i * 73 + 0x81);
            }
            Bytes bytes = plain;
            scrambler.Scramble(bytes);
            scrambler.Unscramble(bytes);
            EXPECT_EQ(bytes, plain) << "length " << length;
        }
    }
}

TEST(CStreamScrambler, EveryCallRestartsTheStream) {
    CStreamScrambler scrambler(0x5A3C, 0xC6EF, 0x3A29, Width::Bits8, Feedback::Signed);
    Bytes first = {1, 2, 3};
    Bytes second = first;
    scrambler.Scramble(first);
    scrambler.Scramble(second);
    EXPECT_EQ(first, second);
    Bytes empty;
    scrambler.Scramble(empty);
    EXPECT_TRUE(empty.empty());
}

} // namespace
} // namespace tavik::platform
