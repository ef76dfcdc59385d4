// Namespace operations: folders and files created, deleted, renamed, moved and copied on the
// server without moving file data through the client.
#include "sdk/core/ExportCall.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikFiles.h"
#include "sdk/ops/CRequest.h"
#include "sdk/ops/FileReplies.h"

namespace tavik {

namespace {

// The operations whose reply carries nothing but its error.
Result<Done> runSimple(CRequest& request, TAVIK_SESSION session) {
    CPacket reply(kScrambledRequest);
    return request.run(session, reply);
}

Result<Done> makeFolder(LPCWSTR fullPath, TAVIK_SESSION session) {
    CRequest request("createdir");
    request.addText("fullpath", fullPath);
    return runSimple(request, session);
}

Result<Done> makeFolder2(LPCWSTR basePath, LPWSTR name, int32_t capacity, TAVIK_SESSION session) {
    CRequest request("createdir");
    request.addText("basepath", basePath);
    if (capacity < 0 || (name == nullptr && capacity > 0)) {
        request.refuse(wrongParameter());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (!run) {
        return run;
    }
    Result<Done> copied = newFolderNameFromReply(reply, basePath, name, capacity);
    if (!copied) {
        return Result<Done>::fail(failureAfterReply(*run.report(), *copied.report()));
    }
    return run;
}

Result<Done> createFile(LPCWSTR fullPath, TAVIK_SESSION session) {
    CRequest request("createfile");
    request.addText("fullpath", fullPath);
    return runSimple(request, session);
}

Result<Done> deleteFile(LPCWSTR path, int32_t force, TAVIK_SESSION session) {
    CRequest request("deletefile");
    request.addText("path", path);
    // Without the flag the item is left out entirely: the server reads its presence.
    if (force != 0) {
        request.packet().SetString("opt", "force");
    }
    return runSimple(request, session);
}

Result<Done> renameFile(LPCWSTR oldPath, LPCWSTR newPath, TAVIK_SESSION session) {
    CRequest request("renamefile");
    request.addText("oldpath", oldPath);
    request.addText("newpath", newPath);
    return runSimple(request, session);
}

// Move and copy name the destination folder, not a new file name.
Result<Done> moveFile(LPCWSTR sourcePath, LPCWSTR folderPath, TAVIK_SESSION session) {
    CRequest request("movefile");
    request.addText("srcpath", sourcePath);
    request.addText("dirpath", folderPath);
    return runSimple(request, session);
}

Result<Done> copyFile(LPCWSTR sourcePath, LPCWSTR folderPath, TAVIK_SESSION session) {
    CRequest request("copyfile");
    request.addText("srcpath", sourcePath);
    request.addText("dirpath", folderPath);
    return runSimple(request, session);
}

} // namespace

} // namespace tavik

using namespace tavik;

extern "C" {

TAVIK_API BOOL tavik_MakeFolder(LPCWSTR fullpath, TAVIK_SESSION session) {
    return exportCallBool([&] { return makeFolder(fullpath, session); });
}

TAVIK_API BOOL tavik_MakeFolder2(LPCWSTR basepath, LPWSTR name, int capacity,
                                 TAVIK_SESSION session) {
    return exportCallBool([&] { return makeFolder2(basepath, name, capacity, session); });
}

TAVIK_API BOOL tavik_CreateFile(LPCWSTR fullpath, TAVIK_SESSION session) {
    return exportCallBool([&] { return createFile(fullpath, session); });
}

TAVIK_API BOOL tavik_DeleteFile(LPCWSTR path, int force, TAVIK_SESSION session) {
    return exportCallBool([&] { return deleteFile(path, force, session); });
}

TAVIK_API BOOL tavik_RenameFile(LPCWSTR oldpath, LPCWSTR newpath, TAVIK_SESSION session) {
    return exportCallBool([&] { return renameFile(oldpath, newpath, session); });
}

TAVIK_API BOOL tavik_MoveFile(LPCWSTR srcpath, LPCWSTR dirpath, TAVIK_SESSION session) {
    return exportCallBool([&] { return moveFile(srcpath, dirpath, session); });
}

TAVIK_API BOOL tavik_CopyFile(LPCWSTR srcpath, LPCWSTR dirpath, TAVIK_SESSION session) {
    return exportCallBool([&] { return copyFile(srcpath, dirpath, session); });
}

} // extern "C"
