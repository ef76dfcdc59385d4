// A typed body of the service message: keys (normalised like text-map keys) with typed values.
// Image, all numbers big-endian:
//   L = number of bytes after this field (32 bits); scramble flag (8 bits, 0 = clear);
//   entries in ascending key order: key length K (16), K key bytes (ANSI), NUL, value type (8),
//   value length N (32), N value bytes.
// With a non-zero flag every byte after the flag is scrambled with the typed-body scrambler
// (MsgWire.h), restarted for each body; the first five bytes stay in clear.
// Value types: 1 integer (4 bytes, signed, big-endian), 3 record set (its image), 4 string (ANSI
// bytes and one NUL, counted in N). Other types arrive as raw bytes and read only as bytes.
//
// A value type; one thread at a time per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

class CMsgRecordSet;

class CMsgTypedBody {
public:
    enum ValueType : uint8_t {
        kValueInt = 1,
        kValueRecordSet = 3,
        kValueString = 4,
    };

    // False for a key empty after normalisation or longer than 65,535 ANSI bytes, and when the
    // key exists and overwrite is false; otherwise stores, replacing the old value. A new key goes
    // to the end of the key list; a replaced key keeps its place.
    bool SetString(std::u16string_view key, std::u16string_view value, bool overwrite = true);
    bool SetInt(std::u16string_view key, int32_t value, bool overwrite = true);
    // The set must be finished (CMsgRecordSet::Finish or Load); false otherwise.
    bool SetRecordSet(std::u16string_view key, const CMsgRecordSet& set, bool overwrite = true);
    // Any type code with raw bytes, for values of types this side does not know.
    bool SetBytes(std::u16string_view key, uint8_t type, std::span<const uint8_t> bytes,
                  bool overwrite = true);

    // Each false when the key is absent or holds another type (the output is then unchanged).
    // A string is read up to its first NUL; an integer must be exactly 4 bytes; a record set must
    // load (CMsgRecordSet::Load).
    bool GetString(std::u16string_view key, std::u16string& value) const;
    bool GetInt(std::u16string_view key, int32_t& value) const;
    bool GetRecordSet(std::u16string_view key, CMsgRecordSet& set) const;
    // Any type: the raw value bytes and, when asked, the type code.
    bool GetBytes(std::u16string_view key, std::vector<uint8_t>& bytes,
                  uint8_t* type = nullptr) const;
    bool Contains(std::u16string_view key) const;

    // Drops the value and its key; false when absent.
    bool Remove(std::u16string_view key);
    void RemoveAll();
    // Normalised keys in the order they were first set (or parsed).
    const std::vector<std::u16string>& Keys() const { return keys_; }
    size_t Count() const { return keys_.size(); }

    // The image, entries in ascending order of the normalised keys (code unit by code unit).
    std::vector<uint8_t> Serialize(bool scramble) const;
    // Replaces the contents with the image's entries. False, leaving the body empty, when the
    // image is shorter than 5 bytes, L + 4 differs from its length, or a key or value runs past
    // its end. Reading stops when fewer than 4 bytes are left (such a tail is ignored). An entry
    // whose key is empty is skipped; a repeated key replaces the earlier value.
    bool Parse(std::span<const uint8_t> image);

private:
    struct Value {
        uint8_t type;
        std::vector<uint8_t> data;
    };

    bool store(std::u16string_view key, Value value, bool overwrite);
    const Value* find(std::u16string_view key, int type) const;
    bool parseEntries(std::span<const uint8_t> entries);

    std::map<std::u16string, Value> values_;
    std::vector<std::u16string> keys_;
};

} // namespace tavik::app
