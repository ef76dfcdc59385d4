#include "server/CFileOperations.h"

#include "server/CDiskSpace.h"

#include "sdk/include/TavikErrors.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavik::server {

namespace {

constexpr int kMaxNewFolderTries = 10000;

bool existsNoFollow(const std::filesystem::path& host) {
    struct stat info {};
    return ::lstat(host.c_str(), &info) == 0;
}

bool isRealFolder(const std::filesystem::path& host) {
    struct stat info {};
    return ::lstat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// rename that never replaces an existing target.
int renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: check, then rename.
    if (existsNoFollow(to)) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// True when inner is outer or lies below it (both existing).
bool isSameOrBelow(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    std::error_code ec;
    const auto a = std::filesystem::canonical(inner, ec);
    const auto b = std::filesystem::canonical(outer, ec);
    if (ec) {
        return false;
    }
    const std::string& innerText = a.native();
    const std::string prefix = b.native() + "/";
    return innerText == b.native() || innerText.compare(0, prefix.size(), prefix) == 0;
}

uint64_t bytesToCopy(const std::filesystem::path& source) {
    if (isRealFolder(source)) {
        return CDiskSpace::usedBytes(source);
    }
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(source, ec);
    return ec ? 0 : size;
}

} // namespace

int32_t CFileOperations::errorFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case ENOENT:
        return TAVIK_ERR_NOT_EXIST;
    case EEXIST:
        return TAVIK_ERR_EXISTS;
    case ENOTEMPTY:
        return TAVIK_ERR_NOT_EMPTY_DIRECTORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return TAVIK_ERR_DISK_FULL;
    case ENOTDIR:
        return TAVIK_ERR_NOT_DIRECTORY;
    case EACCES:
    case EPERM:
    case EROFS:
        return TAVIK_ERR_PERMISSION;
    default:
        return TAVIK_ERR_REMOTE_FILE;
    }
}

int32_t CFileOperations::makeFolder(const ResolvedPath& path) const {
    if (path.isRoot) {
        return TAVIK_ERR_EXISTS;
    }
    return ::mkdir(path.host.c_str(), 0755) == 0 ? 0 : errorFromErrno(errno);
}

Outcome<std::string> CFileOperations::makeNewFolder(const ResolvedPath& base) const {
    using Result = Outcome<std::string>;
    if (!isRealFolder(base.host) && !std::filesystem::is_directory(base.host)) {
        return Result::fail(existsNoFollow(base.host) ? TAVIK_ERR_NOT_DIRECTORY
                                                      : TAVIK_ERR_NOT_EXIST);
    }
    for (int attempt = 0; attempt < kMaxNewFolderTries; ++attempt) {
        std::string name = kNewFolderName;
        if (attempt > 0) {
            name += " (" + std::to_string(attempt) + ")";
        }
        // mkdir itself decides which name is free, so two sessions never get the same one.
        if (::mkdir((base.host / name).c_str(), 0755) == 0) {
            return Result::ok(std::move(name));
        }
        if (errno != EEXIST) {
            return Result::fail(errorFromErrno(errno));
        }
    }
    return Result::fail(TAVIK_ERR_EXISTS);
}

int32_t CFileOperations::createFile(const ResolvedPath& path) const {
    if (path.isRoot) {
        return TAVIK_ERR_EXISTS;
    }
    const int fd = ::open(path.host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errorFromErrno(errno);
    }
    ::close(fd);
    return 0;
}

int32_t CFileOperations::remove(const ResolvedPath& path, bool force) const {
    if (path.isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    if (!existsNoFollow(path.host)) {
        return TAVIK_ERR_NOT_EXIST;
    }
    if (!isRealFolder(path.host)) {
        return ::unlink(path.host.c_str()) == 0 ? 0 : errorFromErrno(errno);
    }
    if (::rmdir(path.host.c_str()) == 0) {
        return 0;
    }
    if ((errno != ENOTEMPTY && errno != EEXIST) || !force) {
        return errorFromErrno(errno == EEXIST ? ENOTEMPTY : errno);
    }
    // remove_all does not follow links, so a link inside never takes anything outside with it.
    std::error_code ec;
    std::filesystem::remove_all(path.host, ec);
    return ec ? errorFromErrno(ec.value()) : 0;
}

int32_t CFileOperations::rename(const ResolvedPath& from, const ResolvedPath& to) const {
    if (from.isRoot || to.isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    if (!existsNoFollow(from.host)) {
        return TAVIK_ERR_NOT_EXIST;
    }
    return errorFromErrno(renameNoReplace(from.host, to.host));
}

Outcome<std::filesystem::path> CFileOperations::targetIn(const ResolvedPath& source,
                                                         const ResolvedPath& folder) const {
    using Result = Outcome<std::filesystem::path>;
    if (source.isRoot) {
        return Result::fail(TAVIK_ERR_PERMISSION);
    }
    if (!existsNoFollow(source.host)) {
        return Result::fail(TAVIK_ERR_NOT_EXIST);
    }
    std::error_code ec;
    if (!std::filesystem::exists(folder.host, ec)) {
        return Result::fail(TAVIK_ERR_NOT_EXIST);
    }
    if (!std::filesystem::is_directory(folder.host, ec)) {
        return Result::fail(TAVIK_ERR_NOT_DIRECTORY);
    }
    const std::filesystem::path target = folder.host / source.host.filename();
    if (existsNoFollow(target)) {
        return Result::fail(TAVIK_ERR_EXISTS);
    }
    return Result::ok(target);
}

int32_t CFileOperations::move(const ResolvedPath& source, const ResolvedPath& folder) const {
    auto target = targetIn(source, folder);
    if (!target) {
        return target.error();
    }
    return errorFromErrno(renameNoReplace(source.host, target.value()));
}

int32_t CFileOperations::copy(const ResolvedPath& source, const ResolvedPath& folder) const {
    auto target = targetIn(source, folder);
    if (!target) {
        return target.error();
    }
    if (isRealFolder(source.host) && isSameOrBelow(folder.host, source.host)) {
        // A folder copied into itself would copy its own copy without end.
        return TAVIK_ERR_REMOTE_FILE;
    }
    const auto free = CDiskSpace(disk_).freeBytes();
    if (free && bytesToCopy(source.host) > free.value()) {
        return TAVIK_ERR_DISK_FULL;
    }
    std::error_code ec;
    std::filesystem::copy(source.host, target.value(),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks,
                          ec);
    return ec ? errorFromErrno(ec.value()) : 0;
}

} // namespace tavik::server
