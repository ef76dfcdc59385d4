#include "platform/LocalFileSystem.h"

#include "platform/Utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace tavik::platform {

namespace {

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// The device path's components after dropping empty and "." ones and resolving "..", which
// stops at the root.
std::vector<std::u16string> normalisedComponents(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t end = i;
        while (end < path.size() && !isSeparator(path[end])) {
            ++end;
        }
        std::u16string_view part = path.substr(i, end - i);
        if (part == u"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != u".") {
            parts.emplace_back(part);
        }
        i = end + 1;
    }
    return parts;
}

std::string parentOf(const std::string& host) {
    size_t slash = host.find_last_of('/');
    if (slash == std::string::npos || slash == 0) {
        return "/";
    }
    return host.substr(0, slash);
}

bool isFolderAt(const std::string& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t lastError(const std::string& host) {
    return fileErrorFromErrno(errno, host);
}

} // namespace

std::string deviceRoot() {
    const char* env = std::getenv("TAVIK_DEVICE_ROOT");
    std::string root = env != nullptr ? env : "";
    while (!root.empty() && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

std::string hostPath(std::u16string_view devicePath) {
    std::string out = deviceRoot();
    for (const std::u16string& part : normalisedComponents(devicePath)) {
        out.push_back('/');
        out += utf8FromUtf16(part);
    }
    return out.empty() ? "/" : out;
}

uint32_t fileErrorFromErrno(int err, const std::string& host) {
    switch (err) {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return isFolderAt(parentOf(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
        return kErrorAccessDenied;
    case EEXIST:
        return kErrorAlreadyExists;
    case ENOTEMPTY:
        return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
        return kErrorDiskFull;
    case EBADF:
        return kErrorInvalidHandle;
    case ENAMETOOLONG:
        return kErrorFilenameTooLong;
    default:
        return kErrorGeneric;
    }
}

uint32_t getFileInfo(std::u16string_view devicePath, LocalFileInfo& info) {
    std::string host = hostPath(devicePath);
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) {
        return lastError(host);
    }
    info.isFolder = S_ISDIR(st.st_mode);
    info.size = info.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
    info.lastWriteTime = st.st_mtim.tv_sec;
    info.isTemporary = false;
    if (info.isFolder && host != "/") {
        struct stat parent {};
        info.isTemporary =
            ::stat(parentOf(host).c_str(), &parent) == 0 && parent.st_dev != st.st_dev;
    }
    return kErrorSuccess;
}

uint32_t createFolder(std::u16string_view devicePath) {
    std::string host = hostPath(devicePath);
    if (::mkdir(host.c_str(), 0777) != 0) {
        return lastError(host);
    }
    return kErrorSuccess;
}

uint32_t removeFolder(std::u16string_view devicePath) {
    std::string host = hostPath(devicePath);
    if (host == deviceRoot() || host == "/") {
        return kErrorAccessDenied;
    }
    if (::rmdir(host.c_str()) != 0) {
        return errno == EEXIST ? kErrorDirNotEmpty : lastError(host);
    }
    return kErrorSuccess;
}

uint32_t deleteFile(std::u16string_view devicePath) {
    std::string host = hostPath(devicePath);
    if (isFolderAt(host)) {
        return kErrorAccessDenied;
    }
    if (::unlink(host.c_str()) != 0) {
        return lastError(host);
    }
    return kErrorSuccess;
}

uint32_t moveFile(std::u16string_view fromPath, std::u16string_view toPath) {
    std::string from = hostPath(fromPath);
    std::string to = hostPath(toPath);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        return lastError(from);
    }
    // rename() would replace an existing file; the handheld refuses instead. RENAME_NOREPLACE
    // makes the check and the move one step.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        return lastError(to);
    }
    return kErrorSuccess;
}

uint32_t replaceFile(std::u16string_view fromPath, std::u16string_view toPath) {
    std::string from = hostPath(fromPath);
    std::string to = hostPath(toPath);
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return kErrorAccessDenied;
        }
        // The new file keeps the old one's permissions, as writing into it would have.
        if (S_ISREG(st.st_mode)) {
            ::chmod(from.c_str(), st.st_mode & 07777);
        }
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return lastError(to);
    }
    return kErrorSuccess;
}

uint32_t getDiskFreeSpace(std::u16string_view devicePath, uint64_t& freeBytes,
                          uint64_t& totalBytes) {
    std::string host = hostPath(devicePath);
    struct statvfs vfs {};
    if (::statvfs(host.c_str(), &vfs) != 0) {
        return lastError(host);
    }
    freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return kErrorSuccess;
}

} // namespace tavik::platform
