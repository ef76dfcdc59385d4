#include "sdk/ops/CRecursiveTransfer.h"

#include "platform/AnsiCodePage.h"
#include "platform/CFindFile.h"
#include "platform/LocalFileSystem.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikFiles.h"
#include "sdk/include/TavikLargeFiles.h"
#include "sdk/ops/CommandExchange.h"
#include "sdk/ops/TransferNotice.h"

#include <cstring>
#include <memory>

namespace tavik {

namespace {

// "getfileinfo" asking for files and folders with path, size and type.
constexpr int kEntryInfo = TAVIK_INFO_FILES | TAVIK_INFO_FOLDERS | TAVIK_INFO_PATH |
                           TAVIK_INFO_SIZE | TAVIK_INFO_TYPE | TAVIK_INFO_DATE;

struct ListCloser {
    void operator()(TAVIK_FILEINFO_LIST* list) const { tavik_CloseFileInfo(list); }
};
using ListHandle = std::unique_ptr<TAVIK_FILEINFO_LIST, ListCloser>;

bool isSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

bool endsWithSeparator(std::u16string_view path) {
    return !path.empty() && isSeparator(path.back());
}

bool textFits(const char* text) {
    return text != nullptr && std::strlen(text) <= kMaxAnsiArgument;
}

bool hasDotDotComponent(std::u16string_view rest) {
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && !isSeparator(rest[end])) {
            ++end;
        }
        if (rest.substr(start, end - start) == u"..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

DWORD clampSize(uint64_t size) {
    // 0xFFFFFFFF means "no destination" to a confirm callback.
    return size >= TAVIK_NO_DESTINATION ? TAVIK_NO_DESTINATION - 1 : static_cast<DWORD>(size);
}

} // namespace

CRecursiveTransfer::CRecursiveTransfer(TAVIK_SESSION session, TAVIK_TRANSFER_EX* transfer,
                                       int* cancel)
    : session_(session), transfer_(transfer), cancel_(cancel) {}

std::optional<std::u16string> CRecursiveTransfer::childDestination(std::u16string_view srcPath,
                                                                   std::u16string_view dstPath,
                                                                   std::u16string_view entryPath) {
    if (entryPath.size() <= srcPath.size() || entryPath.substr(0, srcPath.size()) != srcPath) {
        return std::nullopt;
    }
    std::u16string_view rest = entryPath.substr(srcPath.size());
    // "/disk/ab" is not inside "/disk/a".
    if (!endsWithSeparator(srcPath) && !isSeparator(rest.front())) {
        return std::nullopt;
    }
    if (hasDotDotComponent(rest)) {
        return std::nullopt;
    }
    std::u16string destination(dstPath);
    if (!isSeparator(rest.front()) && !endsWithSeparator(destination)) {
        destination += u'\\'; // a source given with its trailing '/' must not glue the names
    }
    destination += rest;
    for (char16_t& c : destination) {
        if (c == u'/') {
            c = u'\\';
        }
    }
    return destination;
}

Result<Done> CRecursiveTransfer::checkArguments() const {
    if (session_ == nullptr) {
        return Result<Done>::fail(
            ErrorReport::withText(TAVIK_ERR_INVALID_HANDLE, u"invalid session handle"));
    }
    if (transfer_ == nullptr) {
        // As for the single-file transfers: a missing record names no text, the previous stays.
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_WRONG_PARAMETER));
    }
    if (!textFits(transfer_->pszSrcPath) || !textFits(transfer_->pszDstPath)) {
        return Result<Done>::fail(wrongParameter());
    }
    return Result<Done>::ok(Done{});
}

bool CRecursiveTransfer::prepareFile(TAVIK_TRANSFER& file, const std::u16string& src,
                                     DWORD sourceSize, const std::u16string& dst,
                                     DWORD destinationSize) const {
    file = TAVIK_TRANSFER{};
    file.pszSrcPath = transfer_->pszSrcPath;
    file.pszDstPath = transfer_->pszDstPath;
    file.dwStartPos = 0;
    file.dwEndPos = sourceSize;
    file.bTrunc = 1;
    file.hNotifyWnd = transfer_->hNotifyWnd;
    file.uNotifyMsg = transfer_->uNotifyMsg;
    file.pfnProgress = transfer_->pfnProgress;
    if (transfer_->pfnConfirm == nullptr) {
        return true;
    }
    int answer = transfer_->pfnConfirm(src.c_str(), sourceSize, dst.c_str(), destinationSize,
                                       transfer_->dwConfirmUser);
    if (answer == TAVIK_CONFIRM_OVERWRITE) {
        return true;
    }
    if (answer == TAVIK_CONFIRM_RESUME) {
        file.bTrunc = 0;
        file.dwStartPos = destinationSize == TAVIK_NO_DESTINATION ? 0 : destinationSize;
        return true;
    }
    return false;
}

void CRecursiveTransfer::recurse(const std::u16string& childSrc, const std::u16string& childDst,
                                 bool download) {
    // The child's own export refuses paths that no longer fit the conversion buffers (24001).
    std::string src = platform::toAnsi(childSrc);
    std::string dst = platform::toAnsi(childDst);
    TAVIK_TRANSFER_EX child = *transfer_;
    child.pszSrcPath = src.c_str();
    child.pszDstPath = dst.c_str();
    if (download) {
        tavik_DownloadEx(session_, &child, cancel_);
    } else {
        tavik_UploadEx(session_, &child, cancel_);
    }
}

Result<Done> CRecursiveTransfer::Download() {
    Result<Done> checked = checkArguments();
    if (!checked) {
        return checked;
    }
    std::u16string src = platform::fromAnsi(transfer_->pszSrcPath);
    std::u16string dst = platform::fromAnsi(transfer_->pszDstPath);
    int count = 0;
    ListHandle self(tavik_OpenFileInfo(src.c_str(), kEntryInfo, 0, &count, session_));
    if (!self) {
        return Result<Done>::fail(std::nullopt); // the listing's error stays
    }
    if (count != 1) {
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_NOT_EXIST));
    }
    const TAVIK_FILEINFO* entry = tavik_ReadFileInfo(self.get(), 0);
    if (entry == nullptr) { // a count without its entry
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_NOT_EXIST));
    }
    if (entry->dwType == TAVIK_TYPE_FOLDER) {
        return downloadFolder(src, dst);
    }
    // A server that agreed on 64-bit sizes says when a file is too large for 32-bit positions.
    if (tavik_GetFileInfoSize64(self.get(), 0) > static_cast<int64_t>(0xFFFFFFFFu)) {
        return Result<Done>::fail(wrongParameter());
    }
    return downloadFile(src, dst, entry->dwSize);
}

Result<Done> CRecursiveTransfer::downloadFolder(const std::u16string& src,
                                                const std::u16string& dst) {
    platform::createFolder(dst); // an existing folder is fine; a real failure shows per file
    int count = 0;
    ListHandle children(tavik_OpenFileInfo(src.c_str(), kEntryInfo, 1, &count, session_));
    for (int i = 0; children && i < count; ++i) {
        if (cancelRequested(cancel_)) {
            break;
        }
        const TAVIK_FILEINFO* entry = tavik_ReadFileInfo(children.get(), i);
        if (entry == nullptr || entry->pszName == nullptr || entry->pszName == src) {
            continue; // the folder lists itself among its children
        }
        std::optional<std::u16string> childDst = childDestination(src, dst, entry->pszName);
        if (!childDst) {
            continue;
        }
        recurse(entry->pszName, *childDst, true);
    }
    return Result<Done>::ok(Done{});
}

Result<Done> CRecursiveTransfer::downloadFile(const std::u16string& src, const std::u16string& dst,
                                              DWORD sourceSize) {
    platform::LocalFileInfo local;
    DWORD destinationSize = platform::getFileInfo(dst, local) == platform::kErrorSuccess
                                ? clampSize(local.size)
                                : TAVIK_NO_DESTINATION;
    TAVIK_TRANSFER file;
    if (!prepareFile(file, src, sourceSize, dst, destinationSize)) {
        return Result<Done>::ok(Done{});
    }
    return tavik_Download(session_, &file, cancel_) ? Result<Done>::ok(Done{})
                                                    : Result<Done>::fail(std::nullopt);
}

Result<Done> CRecursiveTransfer::Upload() {
    Result<Done> checked = checkArguments();
    if (!checked) {
        return checked;
    }
    std::u16string src = platform::fromAnsi(transfer_->pszSrcPath);
    std::u16string dst = platform::fromAnsi(transfer_->pszDstPath);
    platform::LocalFileInfo local;
    if (platform::getFileInfo(src, local) != platform::kErrorSuccess) {
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_NOT_EXIST));
    }
    if (local.isFolder) {
        return uploadFolder(src, dst);
    }
    return uploadFile(src, dst, local.size);
}

Result<Done> CRecursiveTransfer::uploadFolder(const std::u16string& src,
                                              const std::u16string& dst) {
    tavik_MakeFolder(dst.c_str(), session_); // it may exist already
    std::u16string pattern = src;
    if (!endsWithSeparator(pattern)) {
        pattern += u'\\';
    }
    pattern += u'*';
    platform::CFindFile find;
    if (!find.First(pattern)) {
        return Result<Done>::ok(Done{}); // nothing to enumerate
    }
    do {
        if (cancelRequested(cancel_)) {
            return Result<Done>::ok(Done{});
        }
        const std::u16string& name = find.entry().name;
        if (name == u"." || name == u"..") {
            continue;
        }
        std::u16string childSrc = src;
        if (!endsWithSeparator(childSrc)) {
            childSrc += u'\\';
        }
        std::u16string childDst = dst;
        if (!endsWithSeparator(childDst)) {
            childDst += u'/';
        }
        recurse(childSrc + name, childDst + name, false);
    } while (find.Next());
    if (find.error() != platform::kErrorNoMoreFiles) {
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_LOCAL_FILE));
    }
    return Result<Done>::ok(Done{});
}

Result<Done> CRecursiveTransfer::uploadFile(const std::u16string& src, const std::u16string& dst,
                                            uint64_t sourceSize) {
    if (sourceSize > 0xFFFFFFFFu) {
        return Result<Done>::fail(wrongParameter()); // positions on the wire are 32-bit
    }
    int remoteSize = tavik_GetFileSize(dst.c_str(), session_);
    DWORD destinationSize = static_cast<DWORD>(remoteSize); // -1 reads as "no destination"
    TAVIK_TRANSFER file;
    if (!prepareFile(file, src, static_cast<DWORD>(sourceSize), dst, destinationSize)) {
        return Result<Done>::ok(Done{});
    }
    return tavik_Upload(session_, &file, cancel_) ? Result<Done>::ok(Done{})
                                                  : Result<Done>::fail(std::nullopt);
}

} // namespace tavik
