#include "cli/core/CErrorReport.h"

namespace tavik::cli {

std::string CErrorReport::compose(std::string_view context, int code, std::string_view libraryText,
                                  std::string_view serverText) {
    std::string out = "tavik: ";
    if (!context.empty()) {
        out += context;
        out += ": ";
    }
    if (libraryText.empty()) {
        out += "error " + std::to_string(code);
    } else {
        out += libraryText;
        out += " (" + std::to_string(code) + ")";
    }
    if (!serverText.empty() && serverText != libraryText) {
        out += ": ";
        out += serverText;
    }
    return out;
}

} // namespace tavik::cli
