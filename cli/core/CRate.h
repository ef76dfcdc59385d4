// --bwlimit RATE: bytes per second, written as a number with an optional K, M or G (KiB, MiB,
// GiB: 1024-based, as the progress bar counts), and an optional "B" or "/s" after it:
// "500K", "10M", "1.5M", "1048576".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavik::cli {

class CRate {
public:
    // nullopt for text that is not a rate, or a rate of 0.
    static std::optional<uint64_t> parse(std::string_view text);
};

} // namespace tavik::cli
