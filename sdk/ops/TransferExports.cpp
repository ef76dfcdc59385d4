// The bulk transfer exports.
#include "sdk/core/ExportCall.h"
#include "sdk/include/TavikTransfer.h"
#include "sdk/ops/CRecursiveTransfer.h"
#include "sdk/ops/CServerCopy.h"
#include "sdk/ops/CTransfer.h"
#include "sdk/ops/CommandExchange.h"

using tavik::exportCallBool;

extern "C" {

TAVIK_API BOOL tavik_Download(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel) {
    return exportCallBool([&] { return tavik::CTransfer(session, transfer, cancel).Download(); });
}

TAVIK_API BOOL tavik_Upload(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel) {
    return exportCallBool([&] { return tavik::CTransfer(session, transfer, cancel).Upload(); });
}

TAVIK_API BOOL tavik_Download64(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer, int* cancel) {
    return exportCallBool([&] { return tavik::CTransfer(session, transfer, cancel).Download(); });
}

TAVIK_API BOOL tavik_Upload64(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer, int* cancel) {
    return exportCallBool([&] { return tavik::CTransfer(session, transfer, cancel).Upload(); });
}

TAVIK_API BOOL tavik_UploadCommit64(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer,
                                    const char* finalPath, DWORD modifiedTime, BOOL replace,
                                    BOOL* committed, int* cancel) {
    if (committed != nullptr) {
        *committed = 0;
    }
    if (finalPath == nullptr) {
        return exportCallBool(
            [] { return tavik::Result<tavik::Done>::fail(tavik::wrongParameter()); });
    }
    tavik::CTransfer upload(session, transfer, cancel);
    upload.commitAs(finalPath, modifiedTime, replace != 0);
    const BOOL ok = exportCallBool([&] { return upload.Upload(); });
    if (committed != nullptr) {
        *committed = upload.committed() ? 1 : 0;
    }
    return ok;
}

TAVIK_API BOOL tavik_CopyEx64(TAVIK_SESSION session, const TAVIK_COPYHOST* host,
                              TAVIK_TRANSFER64* transfer, int* cancel) {
    return exportCallBool(
        [&] { return tavik::CServerCopy(session, host, transfer, cancel).Run(); });
}

TAVIK_API BOOL tavik_DownloadEx(TAVIK_SESSION session, TAVIK_TRANSFER_EX* transfer, int* cancel) {
    return exportCallBool(
        [&] { return tavik::CRecursiveTransfer(session, transfer, cancel).Download(); });
}

TAVIK_API BOOL tavik_UploadEx(TAVIK_SESSION session, TAVIK_TRANSFER_EX* transfer, int* cancel) {
    return exportCallBool(
        [&] { return tavik::CRecursiveTransfer(session, transfer, cancel).Upload(); });
}

TAVIK_API BOOL tavik_CopyEx(TAVIK_SESSION session, const TAVIK_COPYHOST* host,
                            TAVIK_TRANSFER* transfer, int* cancel) {
    return exportCallBool(
        [&] { return tavik::CServerCopy(session, host, transfer, cancel).Run(); });
}

} // extern "C"
