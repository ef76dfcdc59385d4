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
// Shapes in use: the remote-disk packet body, the typed service-message body and the
// disk-information frame take 8-bit units with signed feedback (only the low 16 bits of S then
// matter); stored passwords take 16-bit units with unsigned feedback over the whole 32-bit state.
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
    // The same over UTF-16 code units, each taken as its two bytes low byte first (the form in
    // which scrambled text is stored); with 16-bit units one code unit is one scrambler unit.
    void Scramble(std::span<char16_t> units) const;
    void Unscramble(std::span<char16_t> units) const;

private:
    uint32_t nextState(uint32_t state, uint32_t scrambledUnit) const;
    void run(std::span<uint8_t> bytes, bool scrambling) const;
    void unscrambleBytes(std::span<uint8_t> bytes) const;
    void runUnits(std::span<char16_t> units, bool scrambling) const;

    uint32_t start_;
    uint32_t multiplier_;
    uint32_t increment_;
    UnitWidth width_;
    Feedback feedback_;
};

} // namespace tavik::platform
