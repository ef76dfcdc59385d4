// Shell-style patterns for one path component, matched on the client against a folder's
// listing: "*" any run of characters, "?" one character, "[abc]", "[a-z]", "[!a]" / "[^a]" one
// of (or none of) a set. Characters are UTF-8 code points, so "?" matches one Korean syllable.
// "\" takes the next character literally. A "[" without its "]" is an ordinary character.
#pragma once

#include <string_view>

namespace tavik::cli {

class CGlob {
public:
    // Whether text holds a pattern character, so that it needs a listing to mean anything.
    static bool isPattern(std::string_view text);
    // Whether the whole of name matches pattern.
    static bool matches(std::string_view pattern, std::string_view name);
};

} // namespace tavik::cli
