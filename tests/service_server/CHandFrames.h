// Frames of both service protocols written byte by byte, and replies read back the same way,
// without the codecs: the servers share the codecs with the client, so a codec bug would pass a
// round trip through both unseen. Only the stream scrambler primitive is shared.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tavik::test {

using Bytes = std::vector<uint8_t>;
using TextPairs = std::map<std::string, std::string>;

class CHandFrames {
public:
    // Big-endian and little-endian 32-bit fields.
    static void be32(Bytes& out, uint32_t value);
    static void le32(Bytes& out, uint32_t value);

    // A service message frame: magic, total - 8, header length, header text, body length, body.
    static Bytes message(const std::string& header, const Bytes& body);
    static Bytes message(const std::string& header, const std::string& body);
    // The frame body of a typed body with the scramble flag 0: flag byte, then the string entries
    // (type 4, value with its NUL) in the order given (callers pass them sorted by key).
    static Bytes clearTypedBody(const std::vector<std::pair<std::string, std::string>>& strings);

    // A disk-information request frame: total, text length (little-endian), the text scrambled.
    static Bytes form(const std::string& text);
    // The text of a disk-information frame (unscrambled), or "" when the bytes are not one.
    static std::string formText(const Bytes& frame);

    // Splits "k=v&k=v" at "&" and the first "=", undoing "+" and "%XX".
    static TextPairs pairs(const std::string& text, bool skipEmpty = true);
    // Header and body texts of a message frame with a text body; false when malformed.
    static bool messageTexts(const Bytes& frame, std::string& header, std::string& body);
};

} // namespace tavik::test
