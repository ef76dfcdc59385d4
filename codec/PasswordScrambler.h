// Scrambling of saved passwords: the shared stream scrambler over UTF-16 code units (16-bit
// units, unsigned feedback, 32-bit state) with the typed-body scrambler's constants. A password
// is stored as its scrambled units, two bytes each, low byte first. Thread-safe; no state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

// The stored form: 2 × password.size() bytes.
std::vector<uint8_t> ScramblePassword(std::u16string_view password);
// The password back from its stored bytes; an odd trailing byte is not a whole unit and is
// ignored.
std::u16string UnscramblePassword(std::span<const uint8_t> stored);

} // namespace tavik::app
