// A form-encoded message of the disk-information protocol: key/value pairs of UTF-16 text (keys
// case-sensitive, stored unchanged) and an optional binary tail that travels after the text in
// binary frames (CFormFramer).
//
// Text form: "&" key "=" value for each pair, so a non-empty text begins with "&"; pairs in
// ascending key order here, though readers must not depend on any order. Keys and values are
// form-encoded: letters and digits (Unicode classification, Hangul syllables count as letters)
// pass unchanged, a space becomes "+", every other character becomes "%XX" (upper-case hex) for
// each byte of its ANSI form, which for ASCII is its code; a character the code page cannot hold
// becomes "?" and so "%3F".
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

class CFormMessage {
public:
    // False for an empty key, and when the key exists and overwrite is false (the old value
    // stays); otherwise stores, replacing.
    bool SetValue(std::u16string_view key, std::u16string_view value, bool overwrite = true);
    // The same with trailing space, tab, CR and LF removed from the value.
    bool SetValueTrimmed(std::u16string_view key, std::u16string_view value, bool overwrite = true);
    // False when absent (value unchanged).
    bool GetValue(std::u16string_view key, std::u16string& value) const;
    bool Contains(std::u16string_view key) const;
    size_t Count() const { return pairs_.size(); }
    const std::map<std::u16string, std::u16string>& Pairs() const { return pairs_; }

    // Appends to the binary tail.
    void AppendTail(std::span<const uint8_t> bytes);
    const std::vector<uint8_t>& Tail() const { return tail_; }
    // Drops pairs and tail.
    void RemoveAll();

    // The text form, and the same in the ANSI code page as it goes on the wire.
    std::u16string Format() const;
    std::string FormatAnsi() const;
    // Replaces the pairs (not the tail) with those of ANSI wire text: pieces between "&", empty
    // ones skipped; the key is the decoded text before a piece's first "=", the value the decoded
    // text after it (empty without "="). Decoding: "+" is a space, "%" and two hex digits (either
    // case) the byte of that value, any other "%" itself; the bytes are then read in the ANSI code
    // page. Empty keys are skipped; a later duplicate key replaces an earlier one. Any text parses.
    void Parse(std::string_view ansiText);

    bool operator==(const CFormMessage&) const = default;

private:
    std::map<std::u16string, std::u16string> pairs_;
    std::vector<uint8_t> tail_;
};

} // namespace tavik::app
