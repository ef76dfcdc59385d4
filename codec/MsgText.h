// Text rules shared by the service message's text maps and text tables: key normalisation, the
// escaping of keys and values, and decimal numbers. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::app {

// Lower-cases ASCII letters and removes trailing space, tab, CR and LF. Keys of this protocol are
// ASCII; other characters are kept as they are, so a key means the same on every machine.
std::u16string NormaliseMsgKey(std::u16string_view key);

// "%", "&", "=", "|", "+" and line feed become "%" and two upper-case hex digits; then every space
// becomes "+". Everything else, CR and non-ASCII included, passes unchanged.
std::u16string EscapeMsgText(std::u16string_view text);

// The reverse: every "+" becomes a space; then, left to right, "%%" becomes "%" and "%" with two
// hex digits (either case) becomes the code unit of that value, 80 to FF included. A "%" followed
// by anything else stays as it is.
std::u16string UnescapeMsgText(std::u16string_view text);

// Decimal text as "%d" writes it.
std::u16string MsgIntToText(int32_t value);
// Optional leading white space and sign, then digits up to the first non-digit; 0 when there are
// none. A value beyond the 32-bit range saturates at its end.
int32_t MsgTextToInt(std::u16string_view text);

} // namespace tavik::app
