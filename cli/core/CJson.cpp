#include "cli/core/CJson.h"

#include <cstdio>

namespace tavik::cli {

std::string CJson::quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

CJson& CJson::raw(std::string_view name, const std::string& value) {
    if (m_text.size() > 1) {
        m_text += ',';
    }
    m_text += quote(name) + ":" + value;
    return *this;
}

CJson& CJson::field(std::string_view name, std::string_view text) {
    return raw(name, quote(text));
}

CJson& CJson::field(std::string_view name, int64_t number) {
    return raw(name, std::to_string(number));
}

CJson& CJson::field(std::string_view name, uint64_t number) {
    return raw(name, std::to_string(number));
}

} // namespace tavik::cli
