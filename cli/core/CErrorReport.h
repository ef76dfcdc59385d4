// The text a failed command prints: what was being done and on which path, what went wrong in
// plain words, the error code, and the server's own text when it adds something.
#pragma once

#include <string>
#include <string_view>

namespace tavik::cli {

class CErrorReport {
public:
    // "tavik: <context>: <plain words> (<code>)[: <server text>]". A code without plain words
    // keeps the library's text; one without either shows as "error <code>". A server text that
    // repeats the library's text (or only pads it) is left out.
    static std::string compose(std::string_view context, int code, std::string_view libraryText,
                               std::string_view serverText);
    // The plain words for a library error code; empty for a code without them.
    static std::string_view plainWords(int code);
};

} // namespace tavik::cli
