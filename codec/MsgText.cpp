#include "codec/MsgText.h"

#include <limits>

namespace tavik::app {

namespace {

bool isTrailingSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool needsPercent(char16_t c) {
    return c == u'%' || c == u'&' || c == u'=' || c == u'|' || c == u'+' || c == u'\n';
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

} // namespace

std::u16string NormaliseMsgKey(std::u16string_view key) {
    size_t end = key.size();
    while (end > 0 && isTrailingSpace(key[end - 1])) {
        --end;
    }
    std::u16string normal(key.substr(0, end));
    for (char16_t& c : normal) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return normal;
}

std::u16string EscapeMsgText(std::u16string_view text) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string escaped;
    escaped.reserve(text.size());
    for (char16_t c : text) {
        if (needsPercent(c)) {
            escaped += u'%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0xF];
        } else if (c == u' ') {
            escaped += u'+';
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::u16string UnescapeMsgText(std::u16string_view text) {
    // Pluses go first, so "%2B" still yields a plus and never a space.
    std::u16string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'+') {
            plain += u' ';
            continue;
        }
        if (c == u'%' && i + 1 < text.size() && text[i + 1] == u'%') {
            plain += u'%';
            ++i;
            continue;
        }
        if (c == u'%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            plain += static_cast<char16_t>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
            continue;
        }
        plain += c;
    }
    return plain;
}

std::u16string MsgIntToText(int32_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

int32_t MsgTextToInt(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) {
            value = int64_t{std::numeric_limits<int32_t>::max()} + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

} // namespace tavik::app
