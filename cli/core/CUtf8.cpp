#include "cli/core/CUtf8.h"

#include "platform/Utf8.h"

namespace tavik::cli {

char32_t CUtf8::decodeOne(std::string_view text, size_t& pos) {
    return platform::decodeUtf8(text, pos);
}

std::u16string CUtf8::toUtf16(std::string_view text) {
    return platform::utf16FromUtf8(text);
}

std::string CUtf8::fromUtf16(std::u16string_view text) {
    return platform::utf8FromUtf16(text);
}

bool CUtf8::isWide(char32_t code) {
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
}

size_t CUtf8::displayWidth(std::string_view text) {
    size_t width = 0;
    for (size_t pos = 0; pos < text.size();) {
        width += isWide(decodeOne(text, pos)) ? 2 : 1;
    }
    return width;
}

std::string CUtf8::truncateToWidth(std::string_view text, size_t columns) {
    size_t width = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t next = pos;
        const size_t w = isWide(decodeOne(text, next)) ? 2 : 1;
        if (width + w > columns) {
            break;
        }
        width += w;
        pos = next;
    }
    return std::string(text.substr(0, pos));
}

} // namespace tavik::cli
