// The three drive-mapping exports.
#include "sdk/core/ExportCall.h"
#include "sdk/drive/CDriveMapper.h"
#include "sdk/include/TavikDrive.h"

using tavik::Result;
using tavik::drive::CDriveMapper;

extern "C" {

TAVIK_API DWORD tavik_CreateDrive(void* /*reserved*/, LPCWSTR codeSource, LPCWSTR userName,
                                  WCHAR driveLetter, LPCWSTR serverAddress) {
    return tavik::exportCall<uint32_t>(CDriveMapper::kErrorInvalidParameter, [&] {
        return CDriveMapper::createDrive(codeSource, userName, driveLetter, serverAddress);
    });
}

TAVIK_API DWORD tavik_CloseDrive(WCHAR driveLetter) {
    return tavik::exportCall<uint32_t>(CDriveMapper::kErrorInvalidParameter,
                                       [&] { return CDriveMapper::closeDrive(driveLetter); });
}

TAVIK_API int tavik_IsValidCreateDrive(WCHAR /*driveLetter*/) {
    return tavik::exportCall<int>(0, [] { return Result<int>::ok(0); });
}

} // extern "C"
