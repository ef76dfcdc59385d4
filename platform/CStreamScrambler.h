// The stream scrambler shared by every scrambled text of the system: an XOR stream with
// ciphertext feedback into a multiply-add state. Each use differs only in its constants, its unit
// width and whether the fed-back unit counts as signed; one routine serves them all.
//
// For each unit u of the configured width (8 or 16 bits):
//   key = (S >> 8) masked to the unit width;  c = u XOR key  (c is the scrambled unit)
//   S = (S + c') * multiplier + increment     (32-bit wrapping arithmetic)
// where c' is c read as signed or unsigned per the configuration. The scrambled unit always
// feeds the state, in both directions, so unscrambling replays the same state sequence. The
// state restarts at the start value for every call.
//
// A scrambler is an immutable value; it may be shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavik::platform {

class CStreamScrambler {
public:
    enum class UnitWidth { Bits8, Bits16 };
    enum class Feedback { Signed, Unsigned };

    CStreamScrambler(uint32_t start, uint32_t multiplier, uint32_t increment, UnitWidth width,
                     Feedback feedback);

    // Scramble or unscramble in place. With 16-bit units the buffer holds little-endian units;
    // a trailing odd byte is not a whole unit and stays unchanged.
    void Scramble(std::span<uint8_t> bytes) const;
    void Unscramble(std::span<uint8_t> bytes) const;

private:
    uint32_t nextState(uint32_t state, uint32_t scrambledUnit) const;
    void run(std::span<uint8_t> bytes, bool scrambling) const;
    void unscrambleBytes(std::span<uint8_t> bytes) const;

    uint32_t start_;
    uint32_t multiplier_;
    uint32_t increment_;
    UnitWidth width_;
    Feedback feedback_;
};

} // namespace tavik::platform
