// UTF-8 (the terminal's and the host file system's text) to and from UTF-16 (the library's text).
#pragma once

#include <string>
#include <string_view>

namespace tavik::cli {

class CUtf8 {
public:
    // A malformed byte sequence becomes U+FFFD; nothing is dropped silently.
    static std::u16string toUtf16(std::string_view text);
    // An unpaired surrogate becomes U+FFFD.
    static std::string fromUtf16(std::u16string_view text);
    // Columns the text takes on a terminal: wide (Hangul, CJK, full-width forms) characters
    // count two, everything else one.
    static size_t displayWidth(std::string_view text);
    // The longest prefix of whole characters that fits in the given columns.
    static std::string truncateToWidth(std::string_view text, size_t columns);

private:
    static bool isWide(char32_t code);
    // Decodes one character at text[pos], advances pos; U+FFFD for a malformed sequence.
    static char32_t decodeOne(std::string_view text, size_t& pos);
};

} // namespace tavik::cli
