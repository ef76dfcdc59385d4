// Where a frame of each service protocol ends, judged from its length fields alone, so that a
// connection can refuse a hostile length before buffering anything it announces.
//
//   message: magic 01 31 30 F2, (total - 8), header length H, header, body length B, body
//            (big-endian); total = H + B + 16, at most maxBytes.
//   form:    total T, text length N (little-endian), text, tail; N + 8 <= T <= maxBytes.
//
// Pure functions over the bytes received so far.
#pragma once

#include "server/CServiceConnection.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavik::server {

class CFrameProbes {
public:
    static FrameProbe message(std::span<const uint8_t> received, size_t maxBytes);
    static FrameProbe form(std::span<const uint8_t> received, size_t maxBytes);
};

} // namespace tavik::server
