// The system ANSI code page: one process-wide iconv character set named by TAVIK_ACP (default
// CP949). Every wire text and every ANSI argument goes through these two functions. They are
// thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace tavik::platform {

// The iconv name in force (read from TAVIK_ACP once per process).
const std::string& ansiCodePageName();
// UTF-16 to ANSI; a character the code page cannot represent becomes '?'. An unpaired
// surrogate also becomes '?'.
std::string toAnsi(std::u16string_view text);
// ANSI to UTF-16; a byte sequence that is not valid in the code page becomes U+FFFD.
std::u16string fromAnsi(std::string_view text);
// True when every byte is below 0x80: such text reads the same in every code page we support.
bool isAscii(std::string_view text);

} // namespace tavik::platform
