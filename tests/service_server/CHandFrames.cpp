#include "tests/service_server/CHandFrames.h"

#include "codec/FormWire.h"
#include "platform/CStreamScrambler.h"

#include <span>

namespace tavik::test {

namespace {

const platform::CStreamScrambler& formScrambler() {
    static const platform::CStreamScrambler scrambler(
        app::formwire::kScrambleStart, app::formwire::kScrambleMultiplier,
        app::formwire::kScrambleIncrement, platform::CStreamScrambler::UnitWidth::Bits8,
        platform::CStreamScrambler::Feedback::Signed);
    return scrambler;
}

uint32_t readBe32(const Bytes& bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

uint32_t readLe32(const Bytes& bytes, size_t at) {
    return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
           (uint32_t{bytes[at + 3]} << 24);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

void CHandFrames::be32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void CHandFrames::le32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift <= 24; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

Bytes CHandFrames::message(const std::string& header, const Bytes& body) {
    Bytes frame = {0x01, 0x31, 0x30, 0xF2};
    be32(frame, static_cast<uint32_t>(header.size() + body.size() + 16 - 8));
    be32(frame, static_cast<uint32_t>(header.size()));
    frame.insert(frame.end(), header.begin(), header.end());
    be32(frame, static_cast<uint32_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

Bytes CHandFrames::message(const std::string& header, const std::string& body) {
    return message(header, Bytes(body.begin(), body.end()));
}

Bytes CHandFrames::clearTypedBody(const std::vector<std::pair<std::string, std::string>>& strings) {
    Bytes body = {0x00};
    for (const auto& [key, value] : strings) {
        body.push_back(static_cast<uint8_t>(key.size() >> 8));
        body.push_back(static_cast<uint8_t>(key.size()));
        body.insert(body.end(), key.begin(), key.end());
        body.push_back(0);
        body.push_back(4);
        be32(body, static_cast<uint32_t>(value.size() + 1));
        body.insert(body.end(), value.begin(), value.end());
        body.push_back(0);
    }
    return body;
}

Bytes CHandFrames::form(const std::string& text) {
    Bytes scrambled(text.begin(), text.end());
    formScrambler().Scramble(std::span<uint8_t>(scrambled));
    Bytes frame;
    le32(frame, static_cast<uint32_t>(text.size() + 8));
    le32(frame, static_cast<uint32_t>(text.size()));
    frame.insert(frame.end(), scrambled.begin(), scrambled.end());
    return frame;
}

std::string CHandFrames::formText(const Bytes& frame) {
    if (frame.size() < 8 || readLe32(frame, 0) != frame.size() ||
        readLe32(frame, 4) + 8 > frame.size()) {
        return "";
    }
    Bytes text(frame.begin() + 8, frame.begin() + 8 + readLe32(frame, 4));
    formScrambler().Unscramble(std::span<uint8_t>(text));
    return std::string(text.begin(), text.end());
}

TextPairs CHandFrames::pairs(const std::string& text, bool skipEmpty) {
    TextPairs result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string piece = text.substr(start, end - start);
        if (!piece.empty() || !skipEmpty) {
            const size_t equals = piece.find('=');
            result[unescape(piece.substr(0, equals))] =
                equals == std::string::npos ? "" : unescape(piece.substr(equals + 1));
        }
        start = end + 1;
    }
    return result;
}

bool CHandFrames::messageTexts(const Bytes& frame, std::string& header, std::string& body) {
    if (frame.size() < 16 || frame[0] != 0x01 || frame[1] != 0x31 || frame[2] != 0x30 ||
        frame[3] != 0xF2) {
        return false;
    }
    const uint32_t headerLength = readBe32(frame, 8);
    if (readBe32(frame, 4) != frame.size() - 8 || headerLength + 16 > frame.size()) {
        return false;
    }
    const uint32_t bodyLength = readBe32(frame, 12 + headerLength);
    if (headerLength + bodyLength + 16 != frame.size()) {
        return false;
    }
    header.assign(frame.begin() + 12, frame.begin() + 12 + headerLength);
    body.assign(frame.begin() + 16 + headerLength, frame.end());
    return true;
}

} // namespace tavik::test
