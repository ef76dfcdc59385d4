// Hand-made bytes of the two service protocols for the login tests, written here from the
// protocol's rules rather than with the program's codecs, so that a codec fault cannot hide in a
// round trip: service frames (big-endian lengths), typed-body entries, and disk-information
// frames (little-endian lengths, the form scrambler).
#pragma once

#include "codec/FormWire.h"
#include "codec/MsgWire.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::test {

using Bytes = std::vector<uint8_t>;

inline void putBigEndian(Bytes& out, uint64_t value, int width) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

inline void putLittleEndian(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

inline void putText(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// A service frame: magic, T - 8, H, header, B, body. The header text is given whole, bodytype
// pair included.
inline Bytes serviceFrame(std::string_view header, const Bytes& body = {}) {
    Bytes frame(app::msgwire::kFrameMagic.begin(), app::msgwire::kFrameMagic.end());
    putBigEndian(frame, header.size() + body.size() + 16 - 8, 4);
    putBigEndian(frame, header.size(), 4);
    putText(frame, header);
    putBigEndian(frame, body.size(), 4);
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

inline Bytes textBody(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// One typed-body entry: key length (16), key, NUL, type, value length (32), value.
inline void putEntry(Bytes& out, std::string_view key, uint8_t type, const Bytes& value) {
    putBigEndian(out, key.size(), 2);
    putText(out, key);
    out.push_back(0);
    out.push_back(type);
    putBigEndian(out, value.size(), 4);
    out.insert(out.end(), value.begin(), value.end());
}

inline Bytes stringValue(std::string_view text) {
    Bytes value(text.begin(), text.end());
    value.push_back(0);
    return value;
}

inline Bytes intValue(int32_t number) {
    Bytes value;
    putBigEndian(value, static_cast<uint32_t>(number), 4);
    return value;
}

// A typed body as a frame carries it: scramble flag 0, then the entries (already in key order).
inline Bytes clearTypedBody(const Bytes& entries) {
    Bytes body{0};
    body.insert(body.end(), entries.begin(), entries.end());
    return body;
}

// The form scrambler, one byte at a time: key = high byte of S, S = (S + c) * M + A over 16
// bits with c the scrambled byte as a signed number.
inline Bytes formScramble(std::string_view text, bool scrambling) {
    uint16_t state = app::formwire::kScrambleStart;
    Bytes out;
    for (char ch : text) {
        auto in = static_cast<uint8_t>(ch);
        auto result = static_cast<uint8_t>(in ^ (state >> 8));
        auto fed = static_cast<int8_t>(scrambling ? result : in);
        state = static_cast<uint16_t>((state + fed) * app::formwire::kScrambleMultiplier +
                                      app::formwire::kScrambleIncrement);
        out.push_back(result);
    }
    return out;
}

// A binary disk-information frame: T = N + 8 and N, little-endian, then the scrambled text.
inline Bytes diskInfoFrame(std::string_view text) {
    Bytes frame;
    putLittleEndian(frame, static_cast<uint32_t>(text.size() + 8));
    putLittleEndian(frame, static_cast<uint32_t>(text.size()));
    Bytes scrambled = formScramble(text, true);
    frame.insert(frame.end(), scrambled.begin(), scrambled.end());
    return frame;
}

} // namespace tavik::test
