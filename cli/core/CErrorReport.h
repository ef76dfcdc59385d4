// The text a failed command prints: what was being done, the library's text for the error code,
// and the server's own text when it adds something.
#pragma once

#include <string>
#include <string_view>

namespace tavik::cli {

class CErrorReport {
public:
    // "tavik: <context>: <library text> (<code>)[: <server text>]". A code without a library
    // text shows as "error <code>"; a server text equal to the library text is not repeated.
    static std::string compose(std::string_view context, int code, std::string_view libraryText,
                               std::string_view serverText);
};

} // namespace tavik::cli
