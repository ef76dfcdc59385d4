// Text between the wire and the host. Wire text is in the system ANSI code page (CP949 unless
// TAVIK_ACP says otherwise); host file names and the configuration are UTF-8. Conversions go
// through UTF-16: a character the code page cannot represent becomes '?', a byte sequence that
// is not valid becomes U+FFFD. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace tavik::server {

class CWireText {
public:
    // ANSI wire text to UTF-8.
    static std::string toHost(std::string_view ansi);
    // UTF-8 to ANSI wire text.
    static std::string toWire(std::string_view utf8);

    static std::u16string utf8ToUtf16(std::string_view utf8);
    static std::string utf16ToUtf8(std::u16string_view utf16);
};

} // namespace tavik::server
