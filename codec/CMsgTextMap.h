// A text map of the service message: key/value pairs of UTF-16 text, written as
// key=value pairs joined by "&" with keys and values escaped (MsgText.h). Keys are normalised
// (ASCII lower case, trailing white space removed) whenever they are stored or looked up, so
// "bodyType" and "bodytype" name one entry and keys always travel in lower case. Pair order
// carries no meaning; this map writes its pairs in ascending key order.
//
// A value type: copy it freely; one thread at a time per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tavik::app {

class CMsgTextTable;

class CMsgTextMap {
public:
    // False for a key that is empty after normalisation, and when the key exists and overwrite
    // is false (the old value stays); otherwise stores, replacing.
    bool SetValue(std::u16string_view key, std::u16string_view value, bool overwrite = true);
    // Stores the decimal text of the number.
    bool SetInt(std::u16string_view key, int32_t value, bool overwrite = true);
    // Stores the table's text form.
    bool SetTable(std::u16string_view key, const CMsgTextTable& table, bool overwrite = true);

    // False when the key is absent (value unchanged).
    bool GetValue(std::u16string_view key, std::u16string& value) const;
    // False when absent; a present value that is not a number reads as 0.
    bool GetInt(std::u16string_view key, int32_t& value) const;
    // False when absent or when the value is not a text table's text form.
    bool GetTable(std::u16string_view key, CMsgTextTable& table) const;
    bool Contains(std::u16string_view key) const;
    // Drops one pair; false when it was absent.
    bool Remove(std::u16string_view key);

    void RemoveAll();
    size_t Count() const { return pairs_.size(); }
    // Normalised key to value, in ascending key order.
    const std::map<std::u16string, std::u16string>& Pairs() const { return pairs_; }

    // The text form; empty for an empty map.
    std::u16string Format() const;
    // Replaces the contents with the pairs of the text. A pair is the text between two "&";
    // its key is what precedes its first "=" (the whole pair when there is none, giving an
    // empty value) and its value everything after that "=". Empty pairs and empty keys are
    // skipped; a later duplicate key replaces an earlier one. Any text parses.
    void Parse(std::u16string_view text);

    bool operator==(const CMsgTextMap&) const = default;

private:
    std::map<std::u16string, std::u16string> pairs_;
};

} // namespace tavik::app
