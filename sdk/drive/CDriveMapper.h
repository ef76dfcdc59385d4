// Mapping a remote disk as a network drive, and removing the mapping: the work behind the
// three drive exports (their contract is in TavikDrive.h). The mapper keeps nothing between
// calls; what lasts is the icon file, the hosts file, the registry and the platform's
// connection table. One call at a time.
#pragma once

#include "sdk/core/Result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::drive {

class CDriveMapper {
public:
    static constexpr std::u16string_view kIconDevicePath = u"\\Windows\\tavik_service.ico";
    static constexpr std::u16string_view kDriveIconsKey =
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\";
    static constexpr uint32_t kErrorInvalidParameter = 87;
    static constexpr uint32_t kErrorBadDevice = 1200;

    // The connection's result, with the last error the export leaves (code only).
    static Result<uint32_t> createDrive(const char16_t* codeSource, const char16_t* userName,
                                        char16_t driveLetter, const char16_t* serverAddress);
    // The disconnection's result; the last error is left alone.
    static Result<uint32_t> closeDrive(char16_t driveLetter);

    // "Z:" for 'Z'.
    static std::u16string driveName(char16_t driveLetter);
    // "\\host\user".
    static std::u16string sharePath(std::u16string_view host, std::u16string_view userName);
    // The DriveIcons key of a letter, below HKEY_LOCAL_MACHINE.
    static std::u16string driveIconKey(char16_t driveLetter);

private:
    static void writeIconFile();
    static void registerDriveIcon(char16_t driveLetter);
    static void startExplorer(std::u16string_view drive);
};

} // namespace tavik::drive
