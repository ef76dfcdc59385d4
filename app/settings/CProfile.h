// The program's profile: sections and values under HKEY_CURRENT_USER\Software\tavik\tavik in
// the registry emulation, read and written the way the application framework's profile calls do.
//
// Reads never fail: a missing store, section or value, or a value of another type, gives the
// caller's default. Writes create the section as needed and return false when the registry
// refused them (the store cannot be opened, disk full, a name longer than 255 characters).
// Threads: one profile object per thread (each opens its own registry keys per call).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

class CProfile {
public:
    // The profile key of the program: "Software\tavik\tavik".
    static constexpr std::u16string_view kRootKey = u"Software\\tavik\\tavik";

    std::u16string GetString(std::u16string_view section, std::u16string_view entry,
                             std::u16string_view defaultValue) const;
    uint32_t GetInt(std::u16string_view section, std::u16string_view entry,
                    uint32_t defaultValue) const;
    // nullopt when the value is missing or not binary.
    std::optional<std::vector<uint8_t>> GetBinary(std::u16string_view section,
                                                  std::u16string_view entry) const;

    bool WriteString(std::u16string_view section, std::u16string_view entry,
                     std::u16string_view value) const;
    bool WriteInt(std::u16string_view section, std::u16string_view entry, uint32_t value) const;
    bool WriteBinary(std::u16string_view section, std::u16string_view entry,
                     const std::vector<uint8_t>& value) const;

    // Deletes the section with all its values; true when it is gone (also when it never
    // existed). An empty section name is refused: it would name the whole profile.
    bool DeleteSection(std::u16string_view section) const;
};

} // namespace tavik::app
