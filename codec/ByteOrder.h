// Reading and writing fixed-width unsigned numbers in a byte buffer, in either byte order. The
// caller has checked that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik::app {

inline uint16_t ReadU16BigEndian(const uint8_t* at) {
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

inline uint32_t ReadU32BigEndian(const uint8_t* at) {
    return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

inline uint32_t ReadU32LittleEndian(const uint8_t* at) {
    return (uint32_t{at[3]} << 24) | (uint32_t{at[2]} << 16) | (uint32_t{at[1]} << 8) | at[0];
}

inline void AppendU16BigEndian(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline void AppendU32BigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

inline void AppendU32LittleEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift <= 24; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

inline void WriteU32BigEndian(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

} // namespace tavik::app
