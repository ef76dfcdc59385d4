// Text that came from a server, made safe to print on a terminal: control characters (C0, DEL
// and the C1 range, which terminals take as the start of escape sequences) are shown escaped,
// so a file name can neither move the cursor, retitle the window nor fake further lines. A
// backslash is doubled, so that an escaped name never reads like another name.
//
//   "\n" "\r" "\t"   for LF, CR and tab;  "\xHH" for the other C0 bytes and DEL;
//   "\u00HH"         for a C1 character (U+0080 to U+009F);  "\\" for a backslash.
//
// Everything else, including bytes that are not valid UTF-8, passes as it is. Pure.
#pragma once

#include <string>
#include <string_view>

namespace tavik::cli {

class CTerminalText {
public:
    static std::string escaped(std::string_view text);
};

} // namespace tavik::cli
