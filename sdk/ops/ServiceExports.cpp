// The server service exports and the command-result registry.
#include "sdk/core/ExportCall.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikTransfer.h"
#include "sdk/ops/CCommandResultRegistry.h"
#include "sdk/ops/ServerServices.h"

using tavik::CCommandResultRegistry;
using tavik::Done;
using tavik::ErrorReport;
using tavik::exportCall;
using tavik::exportCallBool;
using tavik::Result;

extern "C" {

TAVIK_API BOOL tavik_GetServerInfo(TAVIK_SERVERINFO* info, TAVIK_SESSION session) {
    return exportCallBool([&] { return tavik::getServerInfo(info, session); });
}

TAVIK_API BOOL tavik_GetDiskSpace(TAVIK_DISKSPACE* diskspace, TAVIK_SESSION session) {
    return exportCallBool([&] { return tavik::getDiskSpace(diskspace, session); });
}

TAVIK_API BOOL tavik_GetDiskSpace64(TAVIK_DISKSPACE64* space, TAVIK_SESSION session) {
    return exportCallBool([&] { return tavik::getDiskSpace64(space, session); });
}

TAVIK_API int tavik_CheckVirus(LPCWSTR path, TAVIK_SESSION session) {
    return exportCall(-1, [&] { return tavik::checkVirus(path, session); });
}

TAVIK_API const char* tavik_OpenCmd(LPCWSTR command, TAVIK_SESSION session) {
    return exportCall<const char*>(nullptr, [&] { return tavik::openCommand(command, session); });
}

TAVIK_API const char* tavik_GetCmd(const char* result) {
    return exportCall<const char*>(nullptr, [&] {
        const char* found = CCommandResultRegistry::instance().find(result);
        if (found == nullptr) {
            return Result<const char*>::fail(ErrorReport::codeOnly(TAVIK_ERR_INVALID_HANDLE));
        }
        return Result<const char*>::ok(found);
    });
}

TAVIK_API BOOL tavik_CloseCmd(const char* result) {
    return exportCallBool([&] {
        if (!CCommandResultRegistry::instance().close(result)) {
            return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_INVALID_HANDLE));
        }
        return Result<Done>::ok(Done{});
    });
}

TAVIK_API BOOL tavik_ChangeDir(LPCWSTR name, TAVIK_SESSION session) {
    return exportCallBool([&] { return tavik::changeDir(name, session); });
}

} // extern "C"
