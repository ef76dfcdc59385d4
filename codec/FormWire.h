// Wire constants of the disk-information protocol (form-encoded messages in plain or binary
// frames) that are ours to choose. The reference disk-information server includes this header
// too: changing a scrambler constant breaks every peer built with the old values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavik::app::formwire {

// Form scramble, 8-bit units, signed feedback: S starts at kScrambleStart and after each byte
// S = (S + c') * M + A with c' the scrambled byte as a signed 8-bit value; only the low 16 bits of
// S matter. The values differ from the typed-body scrambler's on purpose.
inline constexpr uint16_t kScrambleStart = 0x4B2D;
inline constexpr uint32_t kScrambleMultiplier = 0x0000B3C5;
inline constexpr uint16_t kScrambleIncrement = 0x6A1F;

// Plain frames: text length (32-bit big-endian), text.
inline constexpr size_t kPlainPrefixBytes = 4;
// Binary frames: total length, text length (both 32-bit little-endian), text, tail.
inline constexpr size_t kBinaryPrefixBytes = 8;
// A receive buffer never holds more than this: a larger announced frame is a broken peer.
inline constexpr size_t kMaxBufferBytes = 65536;

} // namespace tavik::app::formwire
