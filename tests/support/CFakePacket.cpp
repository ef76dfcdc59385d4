#include "tests/support/CFakePacket.h"

#include "sdk/core/PacketWire.h"

#include <cstdio>
#include <cstring>

namespace tavik::test {

namespace {

void putLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool isTextValue(const std::vector<uint8_t>& v) {
    const void* nul = std::memchr(v.data(), 0, v.size());
    return !v.empty() && nul == &v.back();
}

bool keptUnescaped(uint8_t c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
        return true;
    }
    return std::strchr("@./-?#\\:_", c) != nullptr && c != 0;
}

void appendEscaped(std::string& out, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (keptUnescaped(bytes[i])) {
            out.push_back(static_cast<char>(bytes[i]));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02x", bytes[i]);
            out += hex;
        }
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string unescape(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size() && hexDigit(in[i + 1]) >= 0 &&
            hexDigit(in[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(in[i + 1]) * 16 + hexDigit(in[i + 2])));
            i += 2;
        } else if (in[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(in[i]);
        }
    }
    return out;
}

void storeReplacing(std::vector<FakeItem>& items, FakeItem item) {
    for (FakeItem& existing : items) {
        if (existing.name == item.name) {
            existing = std::move(item);
            return;
        }
    }
    items.push_back(std::move(item));
}

bool fail(std::string* why, const char* reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return false;
}

bool decodeBinary(const uint8_t* body, size_t length, std::vector<FakeItem>& items,
                  std::string* why) {
    size_t at = 0;
    while (at < length) {
        if (length - at < 2) {
            return fail(why, "item name length cut off");
        }
        int16_t nameLength = static_cast<int16_t>(body[at] | (body[at + 1] << 8));
        at += 2;
        if (nameLength <= 0 || length - at < static_cast<size_t>(nameLength) + 4) {
            return fail(why, "bad item name length");
        }
        std::string name(reinterpret_cast<const char*>(body + at), nameLength);
        at += nameLength;
        int32_t valueLength = static_cast<int32_t>(le32(body + at));
        at += 4;
        if (valueLength <= 0 || valueLength > wire::kMaxValueLength ||
            length - at < static_cast<size_t>(valueLength)) {
            return fail(why, "bad item value length");
        }
        FakeItem item =
            FakeItem::data(name, std::vector<uint8_t>(body + at, body + at + valueLength));
        storeReplacing(items, std::move(item));
        at += valueLength;
    }
    return true;
}

bool decodeText(const uint8_t* body, size_t length, std::vector<FakeItem>& items,
                std::string* why) {
    if (length == 0 || body[length - 1] != 0) {
        return fail(why, "text body without final NUL");
    }
    std::string text(reinterpret_cast<const char*>(body), length - 1);
    size_t start = 0;
    for (size_t amp = text.find('&'); amp != std::string::npos; amp = text.find('&', start)) {
        std::string piece = text.substr(start, amp - start);
        size_t eq = piece.find('=');
        if (eq == std::string::npos) {
            return fail(why, "text piece without '='");
        }
        std::string value = unescape(piece.substr(eq + 1));
        storeReplacing(items, FakeItem(unescape(piece.substr(0, eq)), value));
        start = amp + 1;
    }
    return true;
}

} // namespace

FakeItem::FakeItem(std::string name, int32_t number) : name(std::move(name)) {
    putLe32(value, static_cast<uint32_t>(number));
}

FakeItem::FakeItem(std::string name, const char* text) : name(std::move(name)) {
    value.assign(text, text + std::strlen(text) + 1);
}

FakeItem::FakeItem(std::string name, const std::string& text) : name(std::move(name)) {
    value.assign(text.begin(), text.end());
    value.push_back(0);
}

FakeItem FakeItem::data(std::string name, std::vector<uint8_t> bytes) {
    FakeItem item;
    item.name = std::move(name);
    item.value = std::move(bytes);
    return item;
}

CFakePacket::CFakePacket(uint32_t flags, std::vector<FakeItem> items)
    : flags(flags), items(std::move(items)) {}

uint32_t CFakePacket::checksum(const uint8_t* bytes) {
    uint32_t sum = 0;
    for (int i = 0; i < 12; i += 2) {
        sum += static_cast<uint32_t>(bytes[i]) | (static_cast<uint32_t>(bytes[i + 1]) << 8);
    }
    uint32_t x = (sum & 0xFFFF) + (sum >> 16);
    x = x + (x >> 16);
    return ~x & 0xFFFF;
}

std::vector<uint8_t> CFakePacket::header(uint32_t flags, int32_t bodyLength, uint8_t magic0,
                                         uint8_t magic1, uint16_t version) {
    std::vector<uint8_t> out{magic0, magic1};
    putLe16(out, version);
    putLe32(out, flags);
    putLe32(out, static_cast<uint32_t>(bodyLength));
    putLe32(out, checksum(out.data()));
    return out;
}

void CFakePacket::scramble(std::span<uint8_t> bytes) {
    uint16_t state = wire::kScrambleStart;
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(b ^ (state >> 8));
        state = static_cast<uint16_t>((state + static_cast<int8_t>(b)) * wire::kScrambleMultiplier +
                                      wire::kScrambleIncrement);
    }
}

void CFakePacket::unscramble(std::span<uint8_t> bytes) {
    uint16_t state = wire::kScrambleStart;
    for (uint8_t& b : bytes) {
        uint8_t scrambled = b;
        b = static_cast<uint8_t>(b ^ (state >> 8));
        state = static_cast<uint16_t>((state + static_cast<int8_t>(scrambled)) *
                                          wire::kScrambleMultiplier +
                                      wire::kScrambleIncrement);
    }
}

std::vector<uint8_t> CFakePacket::binaryBody() const {
    std::vector<uint8_t> body;
    for (const FakeItem& item : items) {
        putLe16(body, static_cast<uint16_t>(item.name.size()));
        body.insert(body.end(), item.name.begin(), item.name.end());
        putLe32(body, static_cast<uint32_t>(item.value.size()));
        body.insert(body.end(), item.value.begin(), item.value.end());
    }
    return body;
}

std::vector<uint8_t> CFakePacket::textBody() const {
    std::string text;
    for (const FakeItem& item : items) {
        appendEscaped(text, reinterpret_cast<const uint8_t*>(item.name.data()), item.name.size());
        text.push_back('=');
        if (isTextValue(item.value)) {
            appendEscaped(text, item.value.data(), item.value.size() - 1);
        } else if (item.value.size() == 4) {
            text += std::to_string(static_cast<int32_t>(le32(item.value.data())));
        }
        text.push_back('&');
    }
    std::vector<uint8_t> body(text.begin(), text.end());
    body.push_back(0);
    return body;
}

std::vector<uint8_t> CFakePacket::encode() const {
    std::vector<uint8_t> body = isText() ? textBody() : binaryBody();
    if (isCrypt()) {
        scramble(body);
    }
    std::vector<uint8_t> out = header(flags & 7u, static_cast<int32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::optional<CFakePacket> CFakePacket::decode(std::span<const uint8_t> bytes, std::string* why) {
    if (bytes.size() < 16) {
        fail(why, "short header");
        return std::nullopt;
    }
    if (bytes[0] != wire::kMagic0 || bytes[1] != wire::kMagic1) {
        fail(why, "bad magic");
        return std::nullopt;
    }
    if ((bytes[2] | (bytes[3] << 8)) != wire::kVersion) {
        fail(why, "bad version");
        return std::nullopt;
    }
    int32_t length = static_cast<int32_t>(le32(&bytes[8]));
    if (length < 0 || length > wire::kMaxBodyLength) {
        fail(why, "bad body length");
        return std::nullopt;
    }
    if (le32(&bytes[12]) != checksum(bytes.data())) {
        fail(why, "bad header checksum");
        return std::nullopt;
    }
    if (bytes.size() != 16 + static_cast<size_t>(length)) {
        fail(why, "body size differs from the header's length");
        return std::nullopt;
    }
    CFakePacket packet;
    packet.flags = le32(&bytes[4]) & 7u;
    packet.raw.assign(bytes.begin(), bytes.end());
    std::vector<uint8_t> body(bytes.begin() + 16, bytes.end());
    if (packet.isCrypt()) {
        unscramble(body);
    }
    bool decoded = packet.isText() ? decodeText(body.data(), body.size(), packet.items, why)
                                   : decodeBinary(body.data(), body.size(), packet.items, why);
    if (length > 0 && !decoded) {
        return std::nullopt;
    }
    return packet;
}

const FakeItem* CFakePacket::find(const std::string& name) const {
    for (const FakeItem& item : items) {
        if (item.name == name) {
            return &item;
        }
    }
    return nullptr;
}

bool CFakePacket::has(const std::string& name) const {
    return find(name) != nullptr;
}

std::string CFakePacket::cmd() const {
    return str("_cmd").value_or("");
}

std::optional<std::string> CFakePacket::str(const std::string& name) const {
    const FakeItem* item = find(name);
    if (item == nullptr || !isTextValue(item->value)) {
        return std::nullopt;
    }
    return std::string(item->value.begin(), item->value.end() - 1);
}

std::optional<int32_t> CFakePacket::integer(const std::string& name) const {
    const FakeItem* item = find(name);
    if (item == nullptr || item->value.size() != 4) {
        return std::nullopt;
    }
    return static_cast<int32_t>(le32(item->value.data()));
}

std::optional<std::vector<uint8_t>> CFakePacket::bytes(const std::string& name) const {
    const FakeItem* item = find(name);
    if (item == nullptr) {
        return std::nullopt;
    }
    return item->value;
}

std::string CFakePacket::describe() const {
    std::string out = "flags=" + std::to_string(flags) + " {";
    for (size_t i = 0; i < items.size(); ++i) {
        const FakeItem& item = items[i];
        out += (i == 0 ? "" : ", ") + item.name + "=";
        if (isTextValue(item.value)) {
            out += "\"" + std::string(item.value.begin(), item.value.end() - 1) + "\"";
        } else if (item.value.size() == 4) {
            out += std::to_string(static_cast<int32_t>(le32(item.value.data())));
        } else {
            out += "<" + std::to_string(item.value.size()) + " bytes>";
        }
    }
    return out + "}";
}

} // namespace tavik::test
