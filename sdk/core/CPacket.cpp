#include "sdk/core/CPacket.h"

#include "platform/AnsiCodePage.h"
#include "platform/CStreamScrambler.h"
#include "sdk/core/PacketWire.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace tavik {

namespace {

using platform::fromAnsi;
using platform::isAscii;
using platform::toAnsi;

// Names, and decoded text names and values, went through a 512-byte work buffer that also took
// a terminator; 510 bytes is what fits.
constexpr size_t kMaxNameBytes = 510;
constexpr size_t kMaxTextPartBytes = 510;

const platform::CStreamScrambler& bodyScrambler() {
    static const platform::CStreamScrambler scrambler(
        wire::kScrambleStart, wire::kScrambleMultiplier, wire::kScrambleIncrement,
        platform::CStreamScrambler::UnitWidth::Bits8, platform::CStreamScrambler::Feedback::Signed);
    return scrambler;
}

void putU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint16_t getU16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t getU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

bool isString(std::span<const uint8_t> bytes) {
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    return nul == bytes.data() + bytes.size() - 1;
}

int32_t asInt(std::span<const uint8_t> bytes) {
    return static_cast<int32_t>(getU32(bytes.data()));
}

// The text form of a value: a string's text, a 4-byte value's decimal, nothing for other data.
std::string valueText(std::span<const uint8_t> bytes) {
    if (isString(bytes)) {
        return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 1);
    }
    if (bytes.size() == 4) {
        return std::to_string(asInt(bytes));
    }
    return {};
}

bool keptUnescaped(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
        return true;
    }
    // '&' and '=' are escaped as well: they delimit the pieces, so a name or value holding them
    // would otherwise be cut apart by the reader.
    return c != '\0' && std::strchr("@./-?#\\:_", c) != nullptr;
}

void appendEscaped(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (keptUnescaped(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
}

int hexValue(char c) {
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

// '%' with two hex digits of either case gives that byte, '+' a space, anything else itself.
// False when the result would pass the 510-byte limit.
bool unescapeInto(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            c = static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '+') {
            c = ' ';
        }
        if (out.size() == kMaxTextPartBytes) {
            return false;
        }
        out.push_back(c);
    }
    return true;
}

} // namespace

CPacket::CPacket(uint32_t flags)
    : text_((flags & wire::kFlagText) != 0), reserved_((flags & wire::kFlagReserved) != 0),
      crypt_((flags & wire::kFlagCrypt) != 0) {}

CPacket::~CPacket() = default;

std::string_view CPacket::keyOf(std::string_view ansiName, std::string& storage) {
    // Bytes the code page cannot read become U+FFFD and go out as '?'. Keying the item by what
    // goes out keeps two names that are sent alike from living side by side as two items.
    // ASCII names (nearly all of them) go out as they are, without the round trip.
    if (isAscii(ansiName)) {
        return ansiName;
    }
    storage = toAnsi(fromAnsi(ansiName));
    return storage;
}

bool CPacket::storeItem(std::string_view ansiName, const uint8_t* bytes, size_t length) {
    if (ansiName.empty() || ansiName.size() > kMaxNameBytes ||
        ansiName.find('\0') != std::string_view::npos) {
        return false;
    }
    if (length == 0 || length > static_cast<size_t>(wire::kMaxValueLength)) {
        return false;
    }
    std::string storage;
    const std::string_view key = keyOf(ansiName, storage);
    if (key.size() > kMaxNameBytes) {
        return false;
    }
    // A stored value is never empty, so a replaced length of 0 means a new item.
    const size_t replaced = items_.set(key, {bytes, length});
    if (replaced != 0) {
        bodyLength_ -= itemLength(key, replaced);
    }
    bodyLength_ += itemLength(key, length);
    return true;
}

void CPacket::SetData(const char* name, const void* bytes, uint32_t length) {
    if (name == nullptr || bytes == nullptr || length == 0) {
        return;
    }
    storeItem(name, static_cast<const uint8_t*>(bytes), length);
}

void CPacket::SetString(const char* name, const char* text) {
    if (name == nullptr || text == nullptr) {
        return;
    }
    SetData(name, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void CPacket::SetInt(const char* name, int32_t value) {
    if (name == nullptr) {
        return;
    }
    uint8_t bytes[4];
    putU32(bytes, static_cast<uint32_t>(value));
    SetData(name, bytes, 4);
}

bool CPacket::Remove(const char* name) {
    if (name == nullptr) {
        return false;
    }
    Item found;
    if (!findItem(name, found)) {
        return false;
    }
    bodyLength_ -= itemLength(found.name, found.bytes.size());
    // The name stays readable through the removal: an item's bytes live until the table clears.
    return items_.erase(found.name);
}

bool CPacket::findItem(const char* name, Item& item) const {
    if (name == nullptr) {
        return false;
    }
    std::string storage;
    return items_.find(keyOf(name, storage), item);
}

std::span<const uint8_t> CPacket::Find(const char* name) const {
    Item item;
    return findItem(name, item) ? item.bytes : std::span<const uint8_t>();
}

bool CPacket::GetData(const char* name, void* buffer, uint32_t* size) const {
    if (buffer == nullptr || size == nullptr) {
        return false;
    }
    Item item;
    if (!findItem(name, item)) {
        *size = 0;
        return true;
    }
    auto length = static_cast<uint32_t>(item.bytes.size());
    std::memcpy(buffer, item.bytes.data(), std::min(*size, length));
    *size = length;
    return true;
}

bool CPacket::GetInt(const char* name, int32_t* value) const {
    Item item;
    if (!findItem(name, item) || item.bytes.size() != 4 || value == nullptr) {
        return false;
    }
    *value = asInt(item.bytes);
    return true;
}

bool CPacket::GetString(const char* name, const char** text) const {
    Item item;
    if (!findItem(name, item) || !isString(item.bytes) || text == nullptr) {
        return false;
    }
    *text = reinterpret_cast<const char*>(item.bytes.data());
    return true;
}

const char* CPacket::GetString(const char* name, const char* defaultText) const {
    const char* text = nullptr;
    return GetString(name, &text) ? text : defaultText;
}

int32_t CPacket::GetInt(const char* name, int32_t defaultValue) const {
    int32_t value = 0;
    return GetInt(name, &value) ? value : defaultValue;
}

void CPacket::Clear() {
    items_.clear();
    bodyLength_ = 0;
}

void CPacket::Reserve(int items, int bytes) {
    if (items > 0 && bytes > 0) {
        items_.reserve(static_cast<size_t>(items), static_cast<size_t>(bytes));
    }
}

int CPacket::Count() const {
    return static_cast<int>(items_.size());
}

int64_t CPacket::itemLength(std::string_view name, size_t valueLength) {
    return 6 + static_cast<int64_t>(name.size() + valueLength);
}

int64_t CPacket::binaryBodyLength() const {
    // Kept up to date by every change: listings ask for it after thousands of items.
    return bodyLength_;
}

int CPacket::SizeBound() const {
    // The name counts in ANSI bytes, as written: a double-byte character takes two.
    int64_t size = wire::kHeaderSize + binaryBodyLength();
    return static_cast<int>(std::min<int64_t>(size, INT_MAX));
}

int CPacket::serializeBinary(uint8_t* body) const {
    uint8_t* at = body;
    for (size_t i = 0; i < items_.size(); ++i) {
        const Item item = items_.at(i);
        putU16(at, static_cast<uint16_t>(item.name.size()));
        at += 2;
        std::memcpy(at, item.name.data(), item.name.size());
        at += item.name.size();
        putU32(at, static_cast<uint32_t>(item.bytes.size()));
        at += 4;
        std::memcpy(at, item.bytes.data(), item.bytes.size());
        at += item.bytes.size();
    }
    return static_cast<int>(at - body);
}

std::string CPacket::encodeText() const {
    std::string text;
    for (size_t i = 0; i < items_.size(); ++i) {
        const Item item = items_.at(i);
        appendEscaped(text, item.name);
        text.push_back('=');
        appendEscaped(text, valueText(item.bytes));
        text.push_back('&');
        if (text.size() > static_cast<size_t>(wire::kMaxBodyLength)) {
            break; // already too long to send; the caller refuses it
        }
    }
    text.push_back('\0');
    return text;
}

int CPacket::Serialize(uint8_t* buffer, int bufferSize) {
    if (buffer == nullptr) {
        bufferSize = 0;
    }
    int bodyLength = 0;
    if (text_) {
        std::string text = encodeText();
        // A body above the limit would be refused by every receiver: no buffer is big enough.
        if (text.size() > static_cast<size_t>(wire::kMaxBodyLength) ||
            bufferSize < wire::kHeaderSize + static_cast<int>(text.size())) {
            return -2;
        }
        std::memcpy(buffer + wire::kHeaderSize, text.data(), text.size());
        bodyLength = static_cast<int>(text.size());
    } else {
        if (binaryBodyLength() > wire::kMaxBodyLength || bufferSize < SizeBound()) {
            return -1;
        }
        bodyLength = serializeBinary(buffer + wire::kHeaderSize);
    }
    version_ = wire::kVersion;
    uint32_t flags = (text_ ? wire::kFlagText : 0) | (crypt_ ? wire::kFlagCrypt : 0) |
                     (reserved_ ? wire::kFlagReserved : 0);
    buffer[0] = wire::kMagic0;
    buffer[1] = wire::kMagic1;
    putU16(buffer + 2, version_);
    putU32(buffer + 4, flags);
    putU32(buffer + 8, static_cast<uint32_t>(bodyLength));
    putU32(buffer + 12, HeaderChecksum(buffer, 12));
    if (crypt_) {
        Scramble(buffer + wire::kHeaderSize, bodyLength);
    }
    return wire::kHeaderSize + bodyLength;
}

int CPacket::Parse(const uint8_t* buffer, int count) {
    if (buffer == nullptr || count <= 0) {
        return ParseInPlace(nullptr, 0);
    }
    // A copy to unscramble in; nothing past the largest packet is ever read.
    std::vector<uint8_t> copy(buffer,
                              buffer + std::min(count, wire::kHeaderSize + wire::kMaxBodyLength));
    return ParseInPlace(copy.data(), static_cast<int>(copy.size()));
}

int CPacket::ParseInPlace(uint8_t* buffer, int count) {
    Clear();
    if (buffer == nullptr || count < wire::kHeaderSize) {
        return -1;
    }
    if (buffer[0] != wire::kMagic0 || buffer[1] != wire::kMagic1) {
        return -2;
    }
    if (getU16(buffer + 2) != wire::kVersion) {
        return -3;
    }
    version_ = wire::kVersion;
    uint32_t flags = getU32(buffer + 4);
    text_ = (flags & wire::kFlagText) != 0;
    crypt_ = (flags & wire::kFlagCrypt) != 0;
    reserved_ = (flags & wire::kFlagReserved) != 0;
    auto bodyLength = static_cast<int32_t>(getU32(buffer + 8));
    if (bodyLength < 0 || bodyLength > wire::kMaxBodyLength) {
        return -4;
    }
    if (getU32(buffer + 12) != HeaderChecksum(buffer, 12)) {
        return -5;
    }
    if (count - wire::kHeaderSize < bodyLength) {
        return -6;
    }
    if (bodyLength == 0) {
        return wire::kHeaderSize;
    }
    uint8_t* body = buffer + wire::kHeaderSize;
    if (crypt_) {
        Unscramble(body, bodyLength);
    }
    // Every name and value fits in the body's own length, in either encoding: one block holds
    // them all. An item takes at least 8 bytes in binary and about twice that in practice.
    items_.reserve(static_cast<size_t>(bodyLength) / 16 + 1, static_cast<size_t>(bodyLength));
    bool decoded = text_ ? decodeText(body, bodyLength) : decodeBinary(body, bodyLength);
    if (!decoded) {
        return -7;
    }
    return wire::kHeaderSize + bodyLength;
}

bool CPacket::decodeBinary(const uint8_t* body, int length) {
    int at = 0;
    while (at < length) {
        if (length - at < 2) {
            return false;
        }
        auto nameLength = static_cast<int16_t>(getU16(body + at));
        at += 2;
        if (nameLength <= 0 || nameLength > length - at) {
            return false;
        }
        std::string_view name(reinterpret_cast<const char*>(body + at),
                              static_cast<size_t>(nameLength));
        at += nameLength;
        if (length - at < 4) {
            return false;
        }
        auto valueLength = static_cast<int32_t>(getU32(body + at));
        at += 4;
        if (valueLength <= 0 || valueLength > wire::kMaxValueLength || valueLength > length - at) {
            return false;
        }
        if (!storeItem(name, body + at, static_cast<size_t>(valueLength))) {
            return false;
        }
        at += valueLength;
    }
    return true;
}

bool CPacket::decodeText(const uint8_t* body, int length) {
    if (body[length - 1] != '\0') {
        return false;
    }
    // The text is a C string: anything after an earlier NUL is not part of it.
    std::string_view text(reinterpret_cast<const char*>(body));
    std::string name;
    std::string value;
    size_t start = 0;
    for (size_t amp = text.find('&'); amp != std::string_view::npos;
         start = amp + 1, amp = text.find('&', start)) {
        std::string_view piece = text.substr(start, amp - start);
        size_t equals = piece.find('=');
        if (equals == std::string_view::npos) {
            return false;
        }
        if (!unescapeInto(piece.substr(0, equals), name) ||
            !unescapeInto(piece.substr(equals + 1), value)) {
            return false;
        }
        // The value is stored as a string: its bytes and a NUL. An empty name cannot be sent
        // back in the binary form, so such a piece is dropped like any ignored item.
        value.push_back('\0');
        if (!name.empty() &&
            !storeItem(name, reinterpret_cast<const uint8_t*>(value.data()), value.size())) {
            return false;
        }
    }
    return true;
}

const char16_t* CPacket::Describe() {
    std::string head = "tavik packet_v" + std::to_string(version_) + "(" +
                       (text_ ? "string" : "binary") + (crypt_ ? ", crypt)" : ")") + " have " +
                       std::to_string(items_.size()) + " items";
    std::u16string out = fromAnsi(head);
    for (size_t i = 0; i < items_.size(); ++i) {
        const Item item = items_.at(i);
        out += u"\r\n";
        out += fromAnsi(item.name);
        out += u'=';
        if (isString(item.bytes) || item.bytes.size() == 4) {
            out += fromAnsi(valueText(item.bytes));
        } else {
            out += fromAnsi("<" + std::to_string(item.bytes.size()) + " bytes>");
        }
    }
    if (!description_) {
        description_ = std::make_unique<std::u16string>();
    }
    *description_ = std::move(out);
    return description_->c_str();
}

uint32_t CPacket::HeaderChecksum(const uint8_t* bytes, int count) {
    uint32_t sum = 0;
    int i = 0;
    for (; i + 1 < count; i += 2) {
        sum += getU16(bytes + i);
    }
    if (i < count) {
        sum += bytes[i];
    }
    uint32_t folded = (sum & 0xFFFF) + (sum >> 16);
    folded += folded >> 16;
    return ~folded & 0xFFFF;
}

void CPacket::Scramble(uint8_t* bytes, int count) {
    if (bytes != nullptr && count > 0) {
        bodyScrambler().Scramble({bytes, static_cast<size_t>(count)});
    }
}

void CPacket::Unscramble(uint8_t* bytes, int count) {
    if (bytes != nullptr && count > 0) {
        bodyScrambler().Unscramble({bytes, static_cast<size_t>(count)});
    }
}

} // namespace tavik
