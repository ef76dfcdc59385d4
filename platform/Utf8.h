// UTF-8 (host file names, terminals, configuration) to and from UTF-16 (the library's text).
// Nothing is dropped silently: a malformed byte sequence and an unpaired surrogate each become
// U+FFFD. Pure functions, thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace tavik::platform {

std::string utf8FromUtf16(std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view text);

// Decodes the character at text[pos] (pos < text.size()) and advances pos past it. A malformed
// sequence yields one U+FFFD for its longest valid beginning (at least one byte), as Unicode
// recommends: a bad lead byte, a cut-short sequence, an overlong form, a surrogate or a value
// past U+10FFFF never swallows the character after it.
char32_t decodeUtf8(std::string_view text, size_t& pos);
// Appends one code point (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

} // namespace tavik::platform
