// The library's optional configuration file, "tavik2.ini", beside the program that loaded the
// library. Its bytes are text in the system ANSI code page. Each line holds a key token and a
// value token; a token is a run of characters up to the next separator, and separators are any
// run of spaces, '=' and tabs. There are no sections, comments or quoting: a value ends at its
// first separator, and a line whose first token is not a wanted key is never matched. When a key
// appears on several lines the first one counts. Lines end at LF, CR LF or a lone CR.
//
// Nothing here fails loudly: a missing or unreadable file simply has no keys. Thread-safe (no
// shared state).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavik {

class CConfigFile {
public:
    static constexpr const char* kFileName = "tavik2.ini";

    // The configuration file beside an executable: the path cut at its last '/' (dropped; a path
    // without one is kept whole), then "/tavik2.ini".
    static std::string PathBeside(std::string_view executablePath);
    // The same for the running program (/proc/self/exe); empty when that cannot be read.
    static std::string PathBesideExecutable();

    // A few lines of settings; anything larger (a device, a wrong file) is not read at all, so
    // that loading the library never stalls on it.
    static constexpr size_t kMaxFileBytes = 64 * 1024;

    // Reads the whole file and converts it from the ANSI code page. False, with no text, when
    // it cannot be opened or read completely, or is larger than kMaxFileBytes.
    bool Load(const char* path);
    // Text already in hand (UTF-16), as Load would have produced it.
    void SetText(std::u16string text) { text_ = std::move(text); }

    // The value token of the first line whose key token equals key exactly (case-sensitive): the
    // empty string when the line holds nothing after the key, nullopt when no line matches.
    std::optional<std::u16string> Find(std::u16string_view key) const;

private:
    std::u16string text_;
};

// Looks key up in the file at path. True when found: the value, truncated to capacity - 1
// characters, is written to buffer and terminated. False (buffer untouched) when the key or the
// file is missing, or when buffer is null or capacity below 1.
bool ReadConfigText(const char16_t* key, char16_t* buffer, int capacity, const char* path);
// True when found: *value is the decimal integer the value starts with (see ParseDecimal).
bool ReadConfigInt(const char16_t* key, int32_t* value, const char* path);
// Leading white space, an optional sign and the leading digits; 0 when there are no digits. A
// number beyond the 32-bit range gives the nearest end of the range.
int32_t ParseDecimal(std::u16string_view text);

} // namespace tavik
