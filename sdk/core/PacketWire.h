// Wire constants of the remote-disk packet that the protocol leaves to us. They are shared with
// the reference server (server/ includes this header): changing any of them breaks every peer
// built with the old values.
#pragma once

#include <cstdint>

namespace tavik::wire {

// The two ASCII letters that open every packet header.
inline constexpr uint8_t kMagic0 = 'T';
inline constexpr uint8_t kMagic1 = 'K';
inline constexpr uint16_t kVersion = 1;

inline constexpr int kHeaderSize = 16;
inline constexpr int32_t kMaxBodyLength = 1048576;
inline constexpr int32_t kMaxValueLength = 1048576;

// Header flag bits.
inline constexpr uint32_t kFlagText = 0x1;
inline constexpr uint32_t kFlagCrypt = 0x2;
inline constexpr uint32_t kFlagReserved = 0x4;

// Body scramble: S starts at kScrambleStart; after each byte S = (S + c') * M + A with c' the
// scrambled byte as a signed 8-bit value. Only the low 16 bits of S matter.
inline constexpr uint16_t kScrambleStart = 0x5A3C;
inline constexpr uint32_t kScrambleMultiplier = 0x0000C6EF;
inline constexpr uint16_t kScrambleIncrement = 0x3A29;

} // namespace tavik::wire
