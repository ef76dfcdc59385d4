#include "cli/commands/CAnsiPath.h"

#include "cli/core/CUtf8.h"

#include "platform/AnsiCodePage.h"

namespace tavik::cli {

std::optional<std::string> CAnsiPath::fromUtf8(const std::string& path) {
    const std::u16string wide = CUtf8::toUtf16(path);
    std::string ansi = platform::toAnsi(wide);
    if (platform::fromAnsi(ansi) != wide) {
        return std::nullopt;
    }
    return ansi;
}

} // namespace tavik::cli
