#include "platform/CStreamScrambler.h"

#include <vector>

namespace tavik::platform {

CStreamScrambler::CStreamScrambler(uint32_t start, uint32_t multiplier, uint32_t increment,
                                   UnitWidth width, Feedback feedback)
    : start_(start), multiplier_(multiplier), increment_(increment), width_(width),
      feedback_(feedback) {}

void CStreamScrambler::Scramble(std::span<uint8_t> bytes) const {
    run(bytes, true);
}

void CStreamScrambler::Unscramble(std::span<uint8_t> bytes) const {
    if (width_ == UnitWidth::Bits8) {
        unscrambleBytes(bytes);
        return;
    }
    run(bytes, false);
}

void CStreamScrambler::Scramble(std::span<char16_t> units) const {
    runUnits(units, true);
}

void CStreamScrambler::Unscramble(std::span<char16_t> units) const {
    runUnits(units, false);
}

void CStreamScrambler::runUnits(std::span<char16_t> units, bool scrambling) const {
    // Going through the little-endian byte image keeps one definition of the stream for text
    // and bytes alike, whatever the unit width.
    std::vector<uint8_t> bytes(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(units[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    if (scrambling) {
        Scramble(std::span<uint8_t>(bytes));
    } else {
        Unscramble(std::span<uint8_t>(bytes));
    }
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
}

void CStreamScrambler::unscrambleBytes(std::span<uint8_t> bytes) const {
    // Unscrambling feeds the state with the scrambled bytes, which are all known beforehand, so
    // two steps fold into one: S2 = S0*m*m + (f0*m*m + (f1 + inc)*m + inc). The state then waits
    // for one multiply per two bytes instead of one per byte; a listing is half a megabyte.
    const uint32_t m = multiplier_;
    const uint32_t m2 = m * m;
    const uint32_t inc = increment_;
    const bool isSigned = feedback_ == Feedback::Signed;
    auto fed = [isSigned](uint8_t unit) {
        return isSigned ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(unit)))
                        : uint32_t{unit};
    };
    uint32_t state = start_;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const uint32_t f0 = fed(bytes[i]);
        const uint32_t f1 = fed(bytes[i + 1]);
        const uint32_t second = (state + f0) * m + inc;
        bytes[i] ^= static_cast<uint8_t>(state >> 8);
        bytes[i + 1] ^= static_cast<uint8_t>(second >> 8);
        state = state * m2 + (f0 * m2 + (f1 + inc) * m + inc);
    }
    if (i < bytes.size()) {
        bytes[i] ^= static_cast<uint8_t>(state >> 8);
    }
}

uint32_t CStreamScrambler::nextState(uint32_t state, uint32_t scrambledUnit) const {
    uint32_t fed = scrambledUnit;
    if (feedback_ == Feedback::Signed) {
        // Sign-extend to 32 bits; unsigned wrapping then gives the two's-complement sum.
        int32_t value = width_ == UnitWidth::Bits8
                            ? static_cast<int32_t>(static_cast<int8_t>(scrambledUnit))
                            : static_cast<int32_t>(static_cast<int16_t>(scrambledUnit));
        fed = static_cast<uint32_t>(value);
    }
    return (state + fed) * multiplier_ + increment_;
}

void CStreamScrambler::run(std::span<uint8_t> bytes, bool scrambling) const {
    uint32_t state = start_;
    if (width_ == UnitWidth::Bits8) {
        for (uint8_t& byte : bytes) {
            uint8_t key = static_cast<uint8_t>(state >> 8);
            uint8_t out = byte ^ key;
            state = nextState(state, scrambling ? out : byte);
            byte = out;
        }
        return;
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint16_t unit = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        uint16_t key = static_cast<uint16_t>(state >> 8);
        uint16_t out = unit ^ key;
        state = nextState(state, scrambling ? out : unit);
        bytes[i] = static_cast<uint8_t>(out);
        bytes[i + 1] = static_cast<uint8_t>(out >> 8);
    }
}

} // namespace tavik::platform
