#include "server/CWireText.h"

#include "platform/AnsiCodePage.h"
#include "platform/Utf8.h"

namespace tavik::server {

std::string CWireText::toHost(std::string_view ansi) {
    // ASCII reads the same in the code page and in UTF-8; nearly every path is ASCII.
    if (platform::isAscii(ansi)) {
        return std::string(ansi);
    }
    return utf16ToUtf8(platform::fromAnsi(ansi));
}

std::string CWireText::toWire(std::string_view utf8) {
    // The same the other way; listings send thousands of names.
    if (platform::isAscii(utf8)) {
        return std::string(utf8);
    }
    return platform::toAnsi(utf8ToUtf16(utf8));
}

std::u16string CWireText::utf8ToUtf16(std::string_view utf8) {
    return platform::utf16FromUtf8(utf8);
}

std::string CWireText::utf16ToUtf8(std::u16string_view utf16) {
    return platform::utf8FromUtf16(utf16);
}

} // namespace tavik::server
