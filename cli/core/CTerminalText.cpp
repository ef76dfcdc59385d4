#include "cli/core/CTerminalText.h"

namespace tavik::cli {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendHex(std::string& out, unsigned char byte) {
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

// The UTF-8 form of U+0080 to U+009F is 0xC2 followed by 0x80 to 0x9F.
bool isC1(std::string_view text, size_t at) {
    return static_cast<unsigned char>(text[at]) == 0xC2 && at + 1 < text.size() &&
           static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

} // namespace

std::string CTerminalText::escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            appendHex(out, byte);
        } else if (isC1(text, at)) {
            out += "\\u00";
            appendHex(out, static_cast<unsigned char>(text[++at]));
        } else {
            out += text[at];
        }
    }
    return out;
}

} // namespace tavik::cli
