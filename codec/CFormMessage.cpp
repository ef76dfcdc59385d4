#include "codec/CFormMessage.h"

#include "platform/AnsiCodePage.h"

#include <locale.h>
#include <wctype.h>

namespace tavik::app {

namespace {

bool isTrailingSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Letters and digits by Unicode classification, independent of the process's locale: the
// wire must not change with the user's environment.
bool isLetterOrDigit(char32_t c) {
    if (c < 0x80) {
        return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
    }
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (unicode != locale_t{}) {
        return iswalnum_l(static_cast<wint_t>(c), unicode) != 0;
    }
    // Without a Unicode locale, at least Hangul syllables stay letters.
    return c >= 0xAC00 && c <= 0xD7A3;
}

void appendPercent(std::u16string& out, uint8_t byte) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    out += u'%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

std::u16string encode(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        size_t units =
            isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]) ? 2 : 1;
        std::u16string_view one = text.substr(i, units);
        char32_t code =
            units == 2 ? 0x10000 + ((char32_t{one[0]} - 0xD800) << 10) + (char32_t{one[1]} - 0xDC00)
                       : one[0];
        i += units - 1;
        if (code == U' ') {
            out += u'+';
        } else if (!isHighSurrogate(one[0]) && !isLowSurrogate(one[0]) && isLetterOrDigit(code)) {
            out += one;
        } else {
            // Two hex digits hold one byte: anything beyond ASCII goes as its ANSI bytes, which
            // the reader's byte-wise decoding and code-page conversion put back together.
            for (char byte : platform::toAnsi(one)) {
                appendPercent(out, static_cast<uint8_t>(byte));
            }
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::u16string decode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            bytes += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return platform::fromAnsi(bytes);
}

} // namespace

bool CFormMessage::SetValue(std::u16string_view key, std::u16string_view value, bool overwrite) {
    if (key.empty()) {
        return false;
    }
    auto found = pairs_.find(std::u16string(key));
    if (found != pairs_.end()) {
        if (!overwrite) {
            return false;
        }
        found->second = value;
        return true;
    }
    pairs_.emplace(std::u16string(key), std::u16string(value));
    return true;
}

bool CFormMessage::SetValueTrimmed(std::u16string_view key, std::u16string_view value,
                                   bool overwrite) {
    while (!value.empty() && isTrailingSpace(value.back())) {
        value.remove_suffix(1);
    }
    return SetValue(key, value, overwrite);
}

bool CFormMessage::GetValue(std::u16string_view key, std::u16string& value) const {
    auto found = pairs_.find(std::u16string(key));
    if (found == pairs_.end()) {
        return false;
    }
    value = found->second;
    return true;
}

bool CFormMessage::Contains(std::u16string_view key) const {
    return pairs_.contains(std::u16string(key));
}

void CFormMessage::AppendTail(std::span<const uint8_t> bytes) {
    tail_.insert(tail_.end(), bytes.begin(), bytes.end());
}

void CFormMessage::RemoveAll() {
    pairs_.clear();
    tail_.clear();
}

std::u16string CFormMessage::Format() const {
    std::u16string text;
    for (const auto& [key, value] : pairs_) {
        text += u'&';
        text += encode(key);
        text += u'=';
        text += encode(value);
    }
    return text;
}

std::string CFormMessage::FormatAnsi() const {
    return platform::toAnsi(Format());
}

void CFormMessage::Parse(std::string_view ansiText) {
    pairs_.clear();
    while (!ansiText.empty()) {
        size_t amp = ansiText.find('&');
        std::string_view piece = ansiText.substr(0, amp);
        ansiText = amp == std::string_view::npos ? std::string_view() : ansiText.substr(amp + 1);
        size_t equals = piece.find('=');
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = piece.substr(equals + 1);
            piece = piece.substr(0, equals);
        }
        // Empty pieces and empty keys cannot be stored and are passed over.
        SetValue(decode(piece), decode(value), true);
    }
}

} // namespace tavik::app
