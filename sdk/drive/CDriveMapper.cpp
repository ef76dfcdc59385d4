#include "sdk/drive/CDriveMapper.h"

#include "platform/CLocalFile.h"
#include "platform/CNetworkDrive.h"
#include "platform/CRegistry.h"
#include "platform/CShellExecute.h"
#include "sdk/drive/CHostsFile.h"
#include "sdk/drive/DriveIconImage.h"
#include "sdk/drive/NameCode.h"

namespace tavik::drive {

using platform::CLocalFile;
using platform::CNetworkDrive;
using platform::CRegistry;
using platform::CShellExecute;

namespace {

bool isDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

std::u16string hostName(int number) {
    if (number <= 0) {
        return {};
    }
    std::string digits = std::to_string(number);
    return std::u16string(CHostsFile::kHostPrefix) + std::u16string(digits.begin(), digits.end());
}

} // namespace

std::u16string CDriveMapper::driveName(char16_t driveLetter) {
    return std::u16string(1, driveLetter) + u":";
}

std::u16string CDriveMapper::sharePath(std::u16string_view host, std::u16string_view userName) {
    return u"\\\\" + std::u16string(host) + u"\\" + std::u16string(userName);
}

std::u16string CDriveMapper::driveIconKey(char16_t driveLetter) {
    return std::u16string(kDriveIconsKey) + std::u16string(1, driveLetter) + u"\\DefaultIcon";
}

void CDriveMapper::writeIconFile() {
    CLocalFile file;
    if (file.Open(kIconDevicePath, CLocalFile::Access::Write,
                  CLocalFile::Disposition::CreateAlways)) {
        file.Write(kDriveIconImage.data(), kDriveIconImage.size());
    }
}

void CDriveMapper::registerDriveIcon(char16_t driveLetter) {
    CRegistry key;
    if (key.create(platform::HKEY_LOCAL_MACHINE, driveIconKey(driveLetter)) ==
        platform::kRegSuccess) {
        key.setString(u"", kIconDevicePath);
    }
}

void CDriveMapper::startExplorer(std::u16string_view drive) {
    CShellExecute::execute(u"open", u"explorer.exe", u"/n, /e, " + std::u16string(drive), u"",
                           CShellExecute::kShowNormal);
}

Result<uint32_t> CDriveMapper::createDrive(const char16_t* codeSource, const char16_t* userName,
                                           char16_t driveLetter, const char16_t* serverAddress) {
    // Refused before anything is written: a missing text cannot be coded or registered, and a
    // character that is not a letter would name another registry key and no drive.
    if (codeSource == nullptr || serverAddress == nullptr) {
        return Result<uint32_t>::ok(kErrorInvalidParameter,
                                    ErrorReport::codeOnly(kErrorInvalidParameter));
    }
    if (!isDriveLetter(driveLetter)) {
        return Result<uint32_t>::ok(kErrorBadDevice, ErrorReport::codeOnly(kErrorBadDevice));
    }
    std::u16string_view user = userName != nullptr ? userName : u"";
    std::u16string_view address = serverAddress;

    writeIconFile();
    registerDriveIcon(driveLetter);
    std::u16string host = hostName(CHostsFile::registerHost(address));
    std::u16string password = nameCode(codeSource, codeSource);
    std::u16string drive = driveName(driveLetter);

    uint32_t result = CNetworkDrive::addConnection(drive, sharePath(host, user), password, user);
    if (result == CNetworkDrive::kErrorNotSupported) {
        return Result<uint32_t>::ok(result, ErrorReport::codeOnly(0));
    }
    if (result != CNetworkDrive::kNoError) {
        // The host name may not resolve (no hosts entry, or a resolver that does not read the
        // device's hosts file): try the address itself.
        result = CNetworkDrive::addConnection(drive, sharePath(address, user), password, user);
        if (result != CNetworkDrive::kNoError) {
            return Result<uint32_t>::ok(result,
                                        ErrorReport::codeOnly(static_cast<int32_t>(result)));
        }
    }
    startExplorer(drive);
    return Result<uint32_t>::ok(CNetworkDrive::kNoError, ErrorReport::codeOnly(0));
}

Result<uint32_t> CDriveMapper::closeDrive(char16_t driveLetter) {
    return Result<uint32_t>::ok(CNetworkDrive::cancelConnection(driveName(driveLetter), true));
}

} // namespace tavik::drive
