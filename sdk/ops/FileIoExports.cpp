// Remote file I/O: a file opened on the server and read, written and positioned block by block.
#include "sdk/core/CSession.h"
#include "sdk/core/ExportCall.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikFiles.h"
#include "sdk/include/TavikLargeFiles.h"
#include "sdk/ops/CHandleRegistry.h"
#include "sdk/ops/CRequest.h"
#include "sdk/ops/FileReplies.h"

namespace tavik {

namespace {

CHandleRegistry<TAVIK_FILE>& openFiles() {
    static CHandleRegistry<TAVIK_FILE> registry;
    return registry;
}

// The count of a reply with error 0; a missing count fails with the reply's text replaced.
Result<int> countAfterReply(const Result<Done>& run, Result<int32_t> count) {
    if (!count) {
        return Result<int>::fail(failureAfterReply(*run.report(), *count.report()));
    }
    return Result<int>::ok(count.value(), run.report());
}

Result<TAVIK_FILE*> fileOpen(LPCWSTR filename, int32_t flags, TAVIK_SESSION session) {
    CRequest request("openfile");
    request.addText("filename", filename);
    request.addInt("flags", flags);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(session, reply);
    if (!run) {
        return Result<TAVIK_FILE*>::failFrom(run);
    }
    auto file = std::make_unique<TAVIK_FILE>(TAVIK_FILE{reply.GetInt("fd", -1), session});
    TAVIK_FILE* handle = file.get();
    openFiles().add(handle, std::move(file));
    return Result<TAVIK_FILE*>::ok(handle, run.report());
}

Result<int> fileWrite(TAVIK_FILE* handle, const void* data, int32_t size) {
    TAVIK_FILE* file = openFiles().find(handle);
    if (file == nullptr) {
        return Result<int>::fail(invalidHandle());
    }
    CRequest request("writefile", kPlainRequest);
    request.addInt("size", size);
    request.addInt("fd", file->nFd);
    if (size < 0 || (data == nullptr && size > 0)) {
        request.refuse(wrongParameter());
    } else {
        request.addData("data", data, static_cast<uint32_t>(size));
    }
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(file->hSession, reply);
    if (!run) {
        return Result<int>::failFrom(run);
    }
    return countAfterReply(run, countFromReply(reply));
}

Result<int> fileRead(TAVIK_FILE* handle, void* buffer, int32_t size) {
    TAVIK_FILE* file = openFiles().find(handle);
    if (file == nullptr) {
        return Result<int>::fail(invalidHandle());
    }
    CRequest request("readfile", kPlainRequest);
    request.addInt("size", size);
    request.addInt("fd", file->nFd);
    if (size < 0 || (buffer == nullptr && size > 0)) {
        request.refuse(wrongParameter());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(file->hSession, reply);
    if (!run) {
        return Result<int>::failFrom(run);
    }
    return countAfterReply(run, readDataFromReply(reply, buffer, size));
}

Result<int> fileSeek(TAVIK_FILE* handle, int32_t offset, int32_t whence) {
    TAVIK_FILE* file = openFiles().find(handle);
    if (file == nullptr) {
        return Result<int>::fail(invalidHandle());
    }
    CRequest request("seekfile");
    request.addInt("offset", offset);
    request.addInt("fd", file->nFd);
    request.addInt("whence", whence);
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(file->hSession, reply);
    if (!run) {
        return Result<int>::failFrom(run);
    }
    return countAfterReply(run, countFromReply(reply));
}

Result<int64_t> fileSeek64(TAVIK_FILE* handle, int64_t offset, int32_t whence) {
    TAVIK_FILE* file = openFiles().find(handle);
    if (file == nullptr) {
        return Result<int64_t>::fail(invalidHandle());
    }
    const bool agreed =
        file->hSession != nullptr && static_cast<CSession*>(file->hSession)->largeFiles;
    const bool fits = offset >= INT32_MIN && offset <= INT32_MAX;
    CRequest request("seekfile");
    request.addInt("offset", fits ? static_cast<int32_t>(offset) : 0);
    request.addInt("fd", file->nFd);
    request.addInt("whence", whence);
    if (agreed) {
        largefile::setU64(request.packet(), largefile::kOffsetItem, static_cast<uint64_t>(offset));
    } else if (!fits) {
        request.refuse(wrongParameter());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> run = request.run(file->hSession, reply);
    if (!run) {
        return Result<int64_t>::failFrom(run);
    }
    const std::optional<uint64_t> wide =
        agreed ? largefile::getU64(reply, largefile::kSizeItem) : std::nullopt;
    if (wide && *wide <= static_cast<uint64_t>(INT64_MAX)) {
        return Result<int64_t>::ok(static_cast<int64_t>(*wide), run.report());
    }
    Result<int> narrow = countAfterReply(run, countFromReply(reply));
    return narrow ? Result<int64_t>::ok(narrow.value(), narrow.report())
                  : Result<int64_t>::failFrom(narrow);
}

Result<Done> fileClose(TAVIK_FILE* handle) {
    // The handle goes first: the caller's handle is done even when the server cannot be told.
    std::unique_ptr<TAVIK_FILE> file = openFiles().take(handle);
    if (!file) {
        return Result<Done>::fail(invalidHandle());
    }
    CRequest request("closefile");
    request.addInt("fd", file->nFd);
    CPacket reply(kScrambledRequest);
    return request.run(file->hSession, reply);
}

} // namespace

} // namespace tavik

using namespace tavik;

extern "C" {

TAVIK_API TAVIK_FILE* tavik_FileOpen(LPCWSTR filename, int flags, TAVIK_SESSION session) {
    return exportCall<TAVIK_FILE*>(nullptr, [&] { return fileOpen(filename, flags, session); });
}

TAVIK_API int tavik_FileWrite(TAVIK_FILE* file, const void* data, int size) {
    return exportCall<int>(-1, [&] { return fileWrite(file, data, size); });
}

TAVIK_API int tavik_FileRead(TAVIK_FILE* file, void* buffer, int size) {
    return exportCall<int>(-1, [&] { return fileRead(file, buffer, size); });
}

TAVIK_API int tavik_FileSeek(TAVIK_FILE* file, int offset, int whence) {
    return exportCall<int>(-1, [&] { return fileSeek(file, offset, whence); });
}

TAVIK_API BOOL tavik_FileClose(TAVIK_FILE* file) {
    return exportCallBool([&] { return fileClose(file); });
}

TAVIK_API int64_t tavik_FileSeek64(TAVIK_FILE* file, int64_t offset, int whence) {
    return exportCall<int64_t>(-1, [&] { return fileSeek64(file, offset, whence); });
}

} // extern "C"
