#include "codec/PasswordScrambler.h"

#include "codec/MsgWire.h"
#include "platform/CStreamScrambler.h"

namespace tavik::app {

namespace {

const platform::CStreamScrambler& passwordScrambler() {
    static const platform::CStreamScrambler scrambler(
        msgwire::kScrambleStart, msgwire::kScrambleMultiplier, msgwire::kScrambleIncrement,
        platform::CStreamScrambler::UnitWidth::Bits16,
        platform::CStreamScrambler::Feedback::Unsigned);
    return scrambler;
}

} // namespace

std::vector<uint8_t> ScramblePassword(std::u16string_view password) {
    std::u16string units(password);
    passwordScrambler().Scramble(std::span<char16_t>(units));
    std::vector<uint8_t> stored;
    stored.reserve(units.size() * 2);
    for (char16_t unit : units) {
        stored.push_back(static_cast<uint8_t>(unit));
        stored.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return stored;
}

std::u16string UnscramblePassword(std::span<const uint8_t> stored) {
    std::u16string units(stored.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(stored[2 * i] | (stored[2 * i + 1] << 8));
    }
    passwordScrambler().Unscramble(std::span<char16_t>(units));
    return units;
}

} // namespace tavik::app
