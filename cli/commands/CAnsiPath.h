// The transfer records carry their paths in the system ANSI code page. A name the code page
// cannot write would travel with '?' in it and name another file, so such a path is refused
// before anything is sent.
#pragma once

#include <optional>
#include <string>

namespace tavik::cli {

class CAnsiPath {
public:
    // The ANSI form of a UTF-8 path, or nullopt when some character has none.
    static std::optional<std::string> fromUtf8(const std::string& path);
};

} // namespace tavik::cli
