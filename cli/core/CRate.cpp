#include "cli/core/CRate.h"

#include <cctype>
#include <cmath>
#include <string>

namespace tavik::cli {

std::optional<uint64_t> CRate::parse(std::string_view text) {
    for (std::string_view tail : {"/s", "B", "b"}) {
        if (text.size() > tail.size() && text.substr(text.size() - tail.size()) == tail) {
            text.remove_suffix(tail.size());
        }
    }
    double unit = 1;
    if (!text.empty()) {
        switch (std::toupper(static_cast<unsigned char>(text.back()))) {
        case 'K':
            unit = 1024.0;
            break;
        case 'M':
            unit = 1024.0 * 1024;
            break;
        case 'G':
            unit = 1024.0 * 1024 * 1024;
            break;
        default:
            break;
        }
        if (unit > 1) {
            text.remove_suffix(1);
        }
    }
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) {
        return std::nullopt;
    }
    size_t used = 0;
    double number = 0;
    try {
        number = std::stod(std::string(text), &used);
    } catch (...) { // a lone "." and the like: not a number
        return std::nullopt;
    }
    const double rate = std::floor(number * unit);
    if (used != text.size() || !(rate >= 1) || rate > 1e15) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(rate);
}

} // namespace tavik::cli
