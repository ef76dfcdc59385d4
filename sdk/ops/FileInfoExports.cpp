// File information and listing: the file-information list, the server-side directory cursor and
// the single-file queries.
#include "sdk/core/CSession.h"
#include "sdk/core/ExportCall.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikFiles.h"
#include "sdk/include/TavikLargeFiles.h"
#include "sdk/ops/CFileInfoList.h"
#include "sdk/ops/CHandleRegistry.h"
#include "sdk/ops/CRequest.h"
#include "sdk/ops/FileReplies.h"

namespace tavik {

namespace {

CHandleRegistry<CFileInfoList>& fileInfoLists() {
    static CHandleRegistry<CFileInfoList> registry;
    return registry;
}

CHandleRegistry<TAVIK_DIR>& directories() {
    static CHandleRegistry<TAVIK_DIR> registry;
    return registry;
}

Result<TAVIK_FILEINFO_LIST*> openFileInfo(LPCWSTR path, int32_t infotype, int32_t level, int* count,
                                          TAVIK_SESSION session) {
    CRequest request("getfileinfo");
    request.addText("path", path);
    request.addInt("infotype", infotype);
    request.addInt("recursivelevel", level);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (!run) {
        return Result<TAVIK_FILEINFO_LIST*>::failFrom(run);
    }
    std::unique_ptr<CFileInfoList> list = CFileInfoList::fromReply(reply, infotype);
    if (count != nullptr) {
        *count = list->count();
    }
    TAVIK_FILEINFO_LIST* handle = list->handle();
    fileInfoLists().add(handle, std::move(list));
    return Result<TAVIK_FILEINFO_LIST*>::ok(handle, run.report());
}

Result<TAVIK_FILEINFO*> readFileInfo(TAVIK_FILEINFO_LIST* handle, int32_t index) {
    CFileInfoList* list = fileInfoLists().find(handle);
    if (list == nullptr) {
        return Result<TAVIK_FILEINFO*>::fail(invalidHandle());
    }
    // An index out of range is no error: the last error stays as it was.
    TAVIK_FILEINFO* entry = list->entry(index);
    return entry != nullptr ? Result<TAVIK_FILEINFO*>::ok(entry)
                            : Result<TAVIK_FILEINFO*>::fail(std::nullopt);
}

Result<Done> closeFileInfo(TAVIK_FILEINFO_LIST* handle) {
    if (!fileInfoLists().take(handle)) {
        return Result<Done>::fail(invalidHandle());
    }
    return Result<Done>::ok(Done{});
}

Result<int> getFileSize(LPCWSTR path, TAVIK_SESSION session) {
    CRequest request("getlength");
    request.addText("filename", path);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (!run) {
        return Result<int>::failFrom(run);
    }
    return Result<int>::ok(reply.GetInt("size", 0), run.report());
}

Result<int64_t> getFileSize64(LPCWSTR path, TAVIK_SESSION session) {
    CRequest request("getlength");
    request.addText("filename", path);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (!run) {
        return Result<int64_t>::failFrom(run);
    }
    const bool agreed = static_cast<CSession*>(session)->largeFiles;
    const std::optional<uint64_t> wide =
        agreed ? largefile::getU64(reply, largefile::kSizeItem) : std::nullopt;
    const uint64_t size = wide ? *wide : static_cast<uint32_t>(reply.GetInt("size", 0));
    if (size > static_cast<uint64_t>(INT64_MAX)) {
        return Result<int64_t>::fail(wrongPacket());
    }
    return Result<int64_t>::ok(static_cast<int64_t>(size), run.report());
}

Result<int64_t> fileInfoSize64(TAVIK_FILEINFO_LIST* handle, int32_t index) {
    CFileInfoList* list = fileInfoLists().find(handle);
    if (list == nullptr) {
        return Result<int64_t>::fail(invalidHandle());
    }
    const std::optional<uint64_t> size = list->size64(index);
    if (!size || *size > static_cast<uint64_t>(INT64_MAX)) {
        return Result<int64_t>::fail(std::nullopt); // out of range: the last error stays
    }
    return Result<int64_t>::ok(static_cast<int64_t>(*size));
}

Result<Done> getFileTime(LPCWSTR path, DWORD* lastAccess, DWORD* lastWrite, TAVIK_SESSION session) {
    CRequest request("getfiletime");
    request.addText("path", path);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (run) {
        fileTimesFromReply(reply, lastAccess, lastWrite);
    }
    return run;
}

Result<Done> setFileTime(LPCWSTR path, DWORD lastAccess, DWORD lastWrite, TAVIK_SESSION session) {
    CRequest request("setfiletime");
    request.addText("path", path);
    request.addInt("lastaccesstime", static_cast<int32_t>(lastAccess));
    request.addInt("lastwritetime", static_cast<int32_t>(lastWrite));
    CPacket reply(kScrambledRequest);
    return request.run(session, reply);
}

Result<TAVIK_DIR*> openDir(LPCWSTR path, TAVIK_SESSION session) {
    CRequest request("opendir");
    request.addText("path", path);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (!run) {
        return Result<TAVIK_DIR*>::failFrom(run);
    }
    // The server's "no listing" is a zero number with error 0: null, and the last error 0.
    const int32_t number = reply.GetInt("hdir", 0);
    if (number == 0) {
        return Result<TAVIK_DIR*>::fail(run.report());
    }
    auto dir = std::make_unique<TAVIK_DIR>(TAVIK_DIR{number, session});
    TAVIK_DIR* handle = dir.get();
    directories().add(handle, std::move(dir));
    return Result<TAVIK_DIR*>::ok(handle, run.report());
}

Result<Done> readDir(TAVIK_DIR* handle, LPWSTR buffer, int32_t capacity) {
    TAVIK_DIR* dir = directories().find(handle);
    if (dir == nullptr) {
        return Result<Done>::fail(invalidHandle());
    }
    CRequest request("readdir");
    request.addInt("hdir", dir->nDir);
    if (capacity < 0 || (buffer == nullptr && capacity > 0)) {
        request.refuse(wrongParameter());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(dir->hSession, reply);
    if (!run) {
        return run;
    }
    Result<Done> name = entryNameFromReply(reply, buffer, capacity);
    if (!name) {
        return Result<Done>::fail(failureAfterReply(*run.report(), *name.report()));
    }
    return run;
}

Result<Done> closeDir(TAVIK_DIR* handle) {
    // The handle goes first: even when the server cannot be told, the caller's handle is done.
    std::unique_ptr<TAVIK_DIR> dir = directories().take(handle);
    if (!dir) {
        return Result<Done>::fail(invalidHandle());
    }
    CRequest request("closedir");
    request.addInt("hdir", dir->nDir);
    CPacket reply(kScrambledRequest);
    return request.run(dir->hSession, reply);
}

} // namespace

} // namespace tavik

using namespace tavik;

extern "C" {

TAVIK_API TAVIK_FILEINFO_LIST* tavik_OpenFileInfo(LPCWSTR path, int infotype, int recursivelevel,
                                                  int* count, TAVIK_SESSION session) {
    return exportCall<TAVIK_FILEINFO_LIST*>(
        nullptr, [&] { return openFileInfo(path, infotype, recursivelevel, count, session); });
}

TAVIK_API TAVIK_FILEINFO* tavik_ReadFileInfo(TAVIK_FILEINFO_LIST* list, int index) {
    return exportCall<TAVIK_FILEINFO*>(nullptr, [&] { return readFileInfo(list, index); });
}

TAVIK_API BOOL tavik_CloseFileInfo(TAVIK_FILEINFO_LIST* list) {
    return exportCallBool([&] { return closeFileInfo(list); });
}

TAVIK_API int tavik_GetFileSize(LPCWSTR path, TAVIK_SESSION session) {
    return exportCall<int>(-1, [&] { return getFileSize(path, session); });
}

TAVIK_API BOOL tavik_GetFileTime(LPCWSTR path, DWORD* lastaccess, DWORD* lastwrite,
                                 TAVIK_SESSION session) {
    return exportCallBool([&] { return getFileTime(path, lastaccess, lastwrite, session); });
}

TAVIK_API BOOL tavik_SetFileTime(LPCWSTR path, DWORD lastaccess, DWORD lastwrite,
                                 TAVIK_SESSION session) {
    return exportCallBool([&] { return setFileTime(path, lastaccess, lastwrite, session); });
}

TAVIK_API TAVIK_DIR* tavik_OpenDir(LPCWSTR path, TAVIK_SESSION session) {
    return exportCall<TAVIK_DIR*>(nullptr, [&] { return openDir(path, session); });
}

TAVIK_API BOOL tavik_ReadDir(TAVIK_DIR* dir, LPWSTR buffer, int capacity) {
    return exportCallBool([&] { return readDir(dir, buffer, capacity); });
}

TAVIK_API BOOL tavik_CloseDir(TAVIK_DIR* dir) {
    return exportCallBool([&] { return closeDir(dir); });
}

TAVIK_API int64_t tavik_GetFileSize64(LPCWSTR path, TAVIK_SESSION session) {
    return exportCall<int64_t>(-1, [&] { return getFileSize64(path, session); });
}

TAVIK_API int64_t tavik_GetFileInfoSize64(TAVIK_FILEINFO_LIST* list, int index) {
    return exportCall<int64_t>(-1, [&] { return fileInfoSize64(list, index); });
}

} // extern "C"
