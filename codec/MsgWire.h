// Wire constants of the service message protocol (frames, text maps, typed bodies) that are ours
// to choose, plus the frame magic the protocol fixes. The reference service includes this header
// too: changing a scrambler constant breaks every peer built with the old values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavik::app::msgwire {

// Every frame opens with these four bytes.
inline constexpr std::array<uint8_t, 4> kFrameMagic = {0x01, 0x31, 0x30, 0xF2};
// Magic, total length minus 8, header length, body length.
inline constexpr size_t kFrameFixedBytes = 16;
// The format allows 32-bit lengths; a peer announcing more than this is treated as broken, so that
// a single length field cannot make us allocate gigabytes.
inline constexpr size_t kMaxFrameBytes = 1048576;

// Typed-body scramble, 8-bit units, signed feedback: S starts at kScrambleStart and after each
// byte S = (S + c') * M + A with c' the scrambled byte as a signed 8-bit value; only the low 16
// bits of S matter. Stored passwords use the same three values with 16-bit units, unsigned
// feedback and the whole 32-bit state, so every bit of the multiplier counts there.
inline constexpr uint16_t kScrambleStart = 0x7E15;
inline constexpr uint32_t kScrambleMultiplier = 0x2B6F1A35;
inline constexpr uint16_t kScrambleIncrement = 0x2F61;

// The header pair that names the body's encoding, and its two values.
inline constexpr char16_t kBodyTypeKey[] = u"bodytype";
inline constexpr char16_t kBodyTypeText[] = u"0";
inline constexpr char16_t kBodyTypeTyped[] = u"1";
// A remembered body type longer than this is not a body type (it was kept in a 32-byte field).
inline constexpr size_t kMaxBodyTypeLength = 31;

} // namespace tavik::app::msgwire
