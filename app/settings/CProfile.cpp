#include "app/settings/CProfile.h"

#include "platform/CRegistry.h"

namespace tavik::app {

namespace {

using platform::CRegistry;
using platform::kRegSuccess;

std::u16string sectionPath(std::u16string_view section) {
    std::u16string path(CProfile::kRootKey);
    path += u'\\';
    path += section;
    return path;
}

bool openSection(CRegistry& key, std::u16string_view section) {
    return key.open(platform::HKEY_CURRENT_USER, sectionPath(section)) == kRegSuccess;
}

bool createSection(CRegistry& key, std::u16string_view section) {
    return key.create(platform::HKEY_CURRENT_USER, sectionPath(section)) == kRegSuccess;
}

} // namespace

std::u16string CProfile::GetString(std::u16string_view section, std::u16string_view entry,
                                   std::u16string_view defaultValue) const {
    CRegistry key;
    std::u16string text;
    if (!openSection(key, section) || key.queryString(entry, text) != kRegSuccess) {
        return std::u16string(defaultValue);
    }
    return text;
}

uint32_t CProfile::GetInt(std::u16string_view section, std::u16string_view entry,
                          uint32_t defaultValue) const {
    CRegistry key;
    uint32_t value = 0;
    if (!openSection(key, section) || key.queryDword(entry, value) != kRegSuccess) {
        return defaultValue;
    }
    return value;
}

std::optional<std::vector<uint8_t>> CProfile::GetBinary(std::u16string_view section,
                                                        std::u16string_view entry) const {
    CRegistry key;
    std::vector<uint8_t> bytes;
    if (!openSection(key, section) || key.queryBinary(entry, bytes) != kRegSuccess) {
        return std::nullopt;
    }
    return bytes;
}

bool CProfile::WriteString(std::u16string_view section, std::u16string_view entry,
                           std::u16string_view value) const {
    CRegistry key;
    return createSection(key, section) && key.setString(entry, value) == kRegSuccess;
}

bool CProfile::WriteInt(std::u16string_view section, std::u16string_view entry,
                        uint32_t value) const {
    CRegistry key;
    return createSection(key, section) && key.setDword(entry, value) == kRegSuccess;
}

bool CProfile::WriteBinary(std::u16string_view section, std::u16string_view entry,
                           const std::vector<uint8_t>& value) const {
    CRegistry key;
    return createSection(key, section) && key.setBinary(entry, value) == kRegSuccess;
}

bool CProfile::DeleteSection(std::u16string_view section) const {
    if (section.empty()) {
        return false;
    }
    int32_t result = CRegistry::deleteKey(platform::HKEY_CURRENT_USER, sectionPath(section));
    return result == kRegSuccess || result == platform::kRegFileNotFound;
}

} // namespace tavik::app
