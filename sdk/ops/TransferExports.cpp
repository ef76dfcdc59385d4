// The bulk transfer exports.
#include "sdk/core/ExportCall.h"
#include "sdk/include/TavikTransfer.h"
#include "sdk/ops/CRecursiveTransfer.h"
#include "sdk/ops/CServerCopy.h"
#include "sdk/ops/CTransfer.h"

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
