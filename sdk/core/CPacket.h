// One remote-disk packet: a flat set of named items (string, 4-byte integer or other bytes),
// its 16-byte header with checksum, the binary or text body encoding and the body scramble.
//
// Names are given as NUL-terminated ANSI text and kept as the ANSI bytes they go out as (exact,
// case-sensitive comparison). The item operations report nothing: a null name, null
// bytes or a zero length are ignored, and so are an empty name, a name longer than 510 ANSI bytes
// and a value longer than 1 MiB (none of them could be sent and parsed back). A packet is used by
// one thread at a time.
//
// Text encoding: name=value& per item and a final NUL; every byte outside 0-9 A-Z a-z
// @ . / - ? # \ : _ is written as %xx (lowercase hex). '&' and '=' are escaped too (%26, %3d):
// they delimit the pieces, so a name or value holding them would otherwise be cut apart. A decoded
// text name or value longer than 510 bytes, or a name holding a NUL, makes the body malformed
// (-7); a piece with an empty name is dropped. A binary item whose name or value runs past the end
// of the body, or whose name is longer than 510 bytes or holds a NUL, is malformed (-7) too.
#pragma once

#include "sdk/core/CItemTable.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavik {

class CPacket {
public:
    // Creation flags: bit 0 text encoding, bit 1 crypt, bit 2 reserved; other bits ignored.
    explicit CPacket(uint32_t flags = 0);
    virtual ~CPacket();
    CPacket(const CPacket&) = delete;
    CPacket& operator=(const CPacket&) = delete;

    void SetData(const char* name, const void* bytes, uint32_t length);
    // Stores the text with its NUL.
    void SetString(const char* name, const char* text);
    void SetInt(const char* name, int32_t value);
    bool Remove(const char* name);
    // The stored bytes, or an empty span when the item is missing.
    std::span<const uint8_t> Find(const char* name) const;
    // False only for a null buffer; copies min(*size, length) bytes and sets *size to the item's
    // length (0 when missing).
    bool GetData(const char* name, void* buffer, uint32_t* size) const;
    // True only when the item exists and is exactly 4 bytes.
    bool GetInt(const char* name, int32_t* value) const;
    // True only when the item is a string (its first NUL is its last byte); *text points into the
    // packet until that item changes.
    bool GetString(const char* name, const char** text) const;
    const char* GetString(const char* name, const char* defaultText) const;
    int32_t GetInt(const char* name, int32_t defaultValue) const;
    void Clear();
    // Room for that many more items and bytes of names and values, so that building a large
    // packet allocates once. Only a hint: more may still be added.
    void Reserve(int items, int bytes);
    int Count() const;
    // Exact size of the binary form: 16 + sum of (6 + ANSI name bytes + value length).
    int SizeBound() const;
    // Bytes written (16 + body length), or -1 (binary: buffer below SizeBound) or -2 (text:
    // buffer below 16 + text length). A body above 1 MiB, which no peer accepts, also gives the
    // encoding's code. Forces the version to 1; scrambles the body when the crypt flag is set.
    int Serialize(uint8_t* buffer, int bufferSize);
    // Bytes consumed, or -1 short header, -2 magic, -3 version, -4 body length, -5 checksum,
    // -6 short body, -7 malformed body (items decoded before the bad one are kept).
    int Parse(const uint8_t* buffer, int count);
    // The same, but a scrambled body is unscrambled where it lies in the caller's buffer instead
    // of in a copy; the buffer's body bytes are changed.
    int ParseInPlace(uint8_t* buffer, int count);
    // Diagnostic text, kept in the packet until the next call: a first line
    // "tavik packet_v1(binary, crypt) have 2 items", then "\r\nname=value" per item, where a
    // string shows its text, a 4-byte value its signed decimal and other data "<N bytes>".
    const char16_t* Describe();

    bool IsText() const { return text_; }
    bool IsCrypt() const { return crypt_; }
    bool IsReserved() const { return reserved_; }
    uint16_t Version() const { return version_; }

    // Checksum of the header's first 12 bytes, as stored in bytes 12-15.
    static uint32_t HeaderChecksum(const uint8_t* bytes, int count);
    // The body scramble, in place; the same stream serves both directions.
    static void Scramble(uint8_t* bytes, int count);
    static void Unscramble(uint8_t* bytes, int count);

private:
    using Item = CItemTable::Item;

    // The table key of an ANSI name: the name as it goes out on the wire. That is the name itself
    // when it is ASCII; otherwise it is built in storage, which the key then points into.
    static std::string_view keyOf(std::string_view ansiName, std::string& storage);
    bool findItem(const char* name, Item& item) const;
    // Stores a copy of the bytes under an ANSI name; false when the name is not one an item may
    // have (empty, longer than 510 bytes, or holding a NUL) or the length is out of range.
    bool storeItem(std::string_view ansiName, const uint8_t* bytes, size_t length);
    // An item's share of the binary body.
    static int64_t itemLength(std::string_view name, size_t valueLength);
    int64_t binaryBodyLength() const;
    int serializeBinary(uint8_t* body) const;
    std::string encodeText() const;
    bool decodeBinary(const uint8_t* body, int length);
    bool decodeText(const uint8_t* body, int length);

    bool text_ = false;
    bool reserved_ = false;
    bool crypt_ = false;
    uint16_t version_ = 1;
    CItemTable items_; // by the ANSI name exactly as written on the wire, in the order first set
    int64_t bodyLength_ = 0; // the binary body's length for the items above
    std::unique_ptr<std::u16string> description_;
};

} // namespace tavik
