// Where a disk-information frame ends, judged from its length fields alone, so that a
// connection can refuse a hostile length before buffering anything it announces:
//
//   total T, text length N (both little-endian), text, tail; N + 8 <= T <= maxBytes.
//
// Pure functions over the bytes received so far.
#pragma once

#include "server/CServiceConnection.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavik::server {

class CFormFrameProbe {
public:
    static FrameProbe probe(std::span<const uint8_t> received, size_t maxBytes);
};

} // namespace tavik::server
