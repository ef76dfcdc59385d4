#include "cli/core/CGlob.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace tavik::cli {

namespace {

// One UTF-8 code point from the front of text (a stray byte counts as one); removes it.
char32_t takeCodePoint(std::string_view& text) {
    const auto lead = static_cast<unsigned char>(text.front());
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 4;
    if (lead >= 0x80 && (lead >> 6) == 0x2) {
        length = 1;
    }
    length = std::min(length, text.size());
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        point = (point << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    text.remove_prefix(length);
    return point;
}

// A "[...]" set at the front of pattern: whether c is in it, and the pattern after it; nullopt
// when the set is never closed (the "[" is then an ordinary character).
std::optional<bool> matchSet(std::string_view& pattern, char32_t c) {
    std::string_view rest = pattern.substr(1);
    bool negate = false;
    if (!rest.empty() && (rest.front() == '!' || rest.front() == '^')) {
        negate = true;
        rest.remove_prefix(1);
    }
    bool found = false;
    bool first = true;
    while (!rest.empty() && (first || rest.front() != ']')) {
        first = false;
        const char32_t low = takeCodePoint(rest);
        char32_t high = low;
        if (rest.size() >= 2 && rest.front() == '-' && rest[1] != ']') {
            rest.remove_prefix(1);
            high = takeCodePoint(rest);
        }
        found = found || (low <= c && c <= high);
    }
    if (rest.empty()) {
        return std::nullopt;
    }
    pattern = rest.substr(1);
    return found != negate;
}

bool matchFrom(std::string_view pattern, std::string_view name) {
    while (!pattern.empty()) {
        if (pattern.front() == '*') {
            pattern.remove_prefix(1);
            // Each split of the rest of the name, shortest first.
            for (std::string_view tail = name;; takeCodePoint(tail)) {
                if (matchFrom(pattern, tail)) {
                    return true;
                }
                if (tail.empty()) {
                    return false;
                }
            }
        }
        if (name.empty()) {
            return false;
        }
        const char32_t c = takeCodePoint(name);
        if (pattern.front() == '?') {
            pattern.remove_prefix(1);
            continue;
        }
        if (pattern.front() == '[') {
            std::string_view after = pattern;
            if (const auto in = matchSet(after, c)) {
                if (!*in) {
                    return false;
                }
                pattern = after;
                continue;
            }
        }
        if (pattern.front() == '\\' && pattern.size() > 1) {
            pattern.remove_prefix(1);
        }
        if (takeCodePoint(pattern) != c) {
            return false;
        }
    }
    return name.empty();
}

} // namespace

bool CGlob::isPattern(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            ++i; // the next character is literal
        } else if (c == '*' || c == '?') {
            return true;
        } else if (c == '[' && text.find(']', i + 2) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool CGlob::matches(std::string_view pattern, std::string_view name) {
    return matchFrom(pattern, name);
}

} // namespace tavik::cli
