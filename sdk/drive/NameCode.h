// The name code: a short code of at most 8 characters made from two texts, used as the share
// password of a mapped drive. It depends only on the first 8 characters of each text, and has
// as many characters as the second text, up to 8. Pure and thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace tavik::drive {

// The 62 characters a code is made of (letters and digits, in our own order).
inline constexpr std::string_view kNameCodeTable =
    "m3QwG7lN2BHMdWAnIhr4UvOTVaSjpZkFXD8RPC0EegYtsKbcx15qJLfuyi6o9z";

// The code of a and b: empty when b is empty.
std::u16string nameCode(std::u16string_view a, std::u16string_view b);

} // namespace tavik::drive
