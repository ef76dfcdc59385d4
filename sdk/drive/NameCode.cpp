#include "sdk/drive/NameCode.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tavik::drive {

namespace {

constexpr size_t kCodedLength = 8;

static_assert(kNameCodeTable.size() == 62);

// An 8-bit hash of the first 8 characters, read as signed and made non-negative (0 to 128).
int textHash(std::u16string_view text) {
    uint8_t value = 0xFF;
    for (size_t i = 0; i < std::min(text.size(), kCodedLength); ++i) {
        value ^= static_cast<uint8_t>(static_cast<uint32_t>(text[i]) << i);
    }
    return std::abs(static_cast<int>(static_cast<int8_t>(value)));
}

} // namespace

std::u16string nameCode(std::u16string_view a, std::u16string_view b) {
    std::u16string code;
    int seed = textHash(b) + textHash(a);
    for (size_t k = 0; k < std::min(b.size(), kCodedLength); ++k) {
        unsigned index =
            static_cast<unsigned>(seed ^ static_cast<int>(b[k])) % kNameCodeTable.size();
        // Table characters are signed bytes, widened with their sign as the original text type
        // would; all of ours are ASCII.
        auto character = static_cast<signed char>(kNameCodeTable[index]);
        code.push_back(static_cast<char16_t>(static_cast<int16_t>(character)));
        seed = character;
    }
    return code;
}

} // namespace tavik::drive
