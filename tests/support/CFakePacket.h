// A test's own view of one remote-disk packet: the items in the order they were given or
// received, the header flags, and the exact bytes it travelled as. It encodes and decodes the
// wire format by itself, independently of the library's CPacket, so that tests compare the
// library against a second reading of the format rather than against itself.
//
//   CFakePacket p(2, {{"_cmd", "setuser"}, {"timeout", 60000}, FakeItem::data("d", {1, 2})});
//   std::vector<uint8_t> bytes = p.encode();          // header + (scrambled) body
//   auto back = CFakePacket::decode(bytes, &why);     // nullopt and a reason when malformed
//   back->str("_cmd"), back->integer("timeout"), back->bytes("d")
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavik::test {

// One named value. A text value carries its terminating NUL, an integer is 4 bytes
// little-endian, data is given as is.
struct FakeItem {
    std::string name;
    std::vector<uint8_t> value;

    FakeItem(std::string name, int32_t number);
    FakeItem(std::string name, const char* text);
    FakeItem(std::string name, const std::string& text);
    static FakeItem data(std::string name, std::vector<uint8_t> bytes);

private:
    FakeItem() = default;
};

class CFakePacket {
public:
    CFakePacket() = default;
    CFakePacket(uint32_t flags, std::vector<FakeItem> items);

    // Header flags: bit 0 text body, bit 1 scrambled body, bit 2 reserved.
    uint32_t flags = 2;
    std::vector<FakeItem> items;
    // For a decoded packet: the bytes it was decoded from (header and body, as on the wire).
    std::vector<uint8_t> raw;

    bool isText() const { return (flags & 1u) != 0; }
    bool isCrypt() const { return (flags & 2u) != 0; }

    // Header, then the body in the flags' encoding, scrambled when bit 1 is set. A name or
    // value holding '&' or '=' is escaped in the text form.
    std::vector<uint8_t> encode() const;
    // A 16-byte header with the right checksum; magic and version may be given wrong on purpose.
    static std::vector<uint8_t> header(uint32_t flags, int32_t bodyLength, uint8_t magic0 = 'T',
                                       uint8_t magic1 = 'K', uint16_t version = 1);
    // The header checksum field for bytes 0-11.
    static uint32_t checksum(const uint8_t* bytes);
    static void scramble(std::span<uint8_t> bytes);
    static void unscramble(std::span<uint8_t> bytes);
    // A whole packet (header and exactly the announced body). Nullopt, with *why set when why is
    // not null, for any header or body fault. A later item with a repeated name replaces the
    // earlier one, as a receiver does.
    static std::optional<CFakePacket> decode(std::span<const uint8_t> bytes,
                                             std::string* why = nullptr);

    bool has(const std::string& name) const;
    // The "_cmd" text, or empty.
    std::string cmd() const;
    // Only when the value is a text (its first NUL is its last byte).
    std::optional<std::string> str(const std::string& name) const;
    // Only when the value is exactly 4 bytes.
    std::optional<int32_t> integer(const std::string& name) const;
    std::optional<std::vector<uint8_t>> bytes(const std::string& name) const;
    // One line for logs: flags and name=value pairs (texts quoted, integers, data sizes).
    std::string describe() const;

private:
    const FakeItem* find(const std::string& name) const;
    std::vector<uint8_t> binaryBody() const;
    std::vector<uint8_t> textBody() const;
};

} // namespace tavik::test
