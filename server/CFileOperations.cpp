#include "server/CFileOperations.h"

#include "server/CDiskSpace.h"

#include "sdk/include/TavikErrors.h"

#include <array>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavik::server {

namespace {

constexpr int kMaxNewFolderTries = 10000;
constexpr size_t kCopyBuffer = 256 * 1024;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// A folder's entries, read from a descriptor of it. The descriptor is duplicated: closedir()
// closes the one it reads from.
std::vector<std::string> namesIn(int folderFd) {
    std::vector<std::string> names;
    const int own = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DirHandle dir(own < 0 ? nullptr : ::fdopendir(own));
    if (!dir) {
        if (own >= 0) {
            ::close(own);
        }
        return names;
    }
    while (const dirent* found = ::readdir(dir.get())) {
        const std::string_view name = found->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    return names;
}

// Opens a folder below dirFd by its own name, never through a link.
CFileDescriptor openFolderAt(int dirFd, const char* name) {
    return CFileDescriptor(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// rename that never replaces an existing target.
int renameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: check, then rename.
    struct stat info {};
    if (::fstatat(toDir, to, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

// Removes everything inside the open folder, never following a link; 0 or an errno.
int removeContents(int folderFd, int depth) {
    if (depth > CFileOperations::kMaxDepth) {
        return ELOOP;
    }
    for (const std::string& name : namesIn(folderFd)) {
        struct stat info {};
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // gone meanwhile
        }
        if (S_ISDIR(info.st_mode)) {
            const CFileDescriptor inner = openFolderAt(folderFd, name.c_str());
            if (!inner.valid()) {
                return errno;
            }
            if (const int err = removeContents(inner.get(), depth + 1); err != 0) {
                return err;
            }
        }
        if (::unlinkat(folderFd, name.c_str(), S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0) != 0 &&
            errno != ENOENT) {
            return errno;
        }
    }
    return 0;
}

// Copies the bytes of one open file into another, keeping holes as holes: a sparse file costs
// its copy what it costs the original. 0 or an errno.
int copyBytes(int in, int out, off_t size) {
    std::vector<char> buffer(kCopyBuffer);
    off_t position = 0;
    while (position < size) {
        off_t data = ::lseek(in, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break; // only a hole is left
            }
            data = position; // no hole support: copy everything
        }
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || hole > size) {
            hole = size;
        }
        for (position = data; position < hole;) {
            const size_t want = static_cast<size_t>(std::min<off_t>(hole - position, kCopyBuffer));
            const ssize_t n = ::pread(in, buffer.data(), want, position);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return n < 0 ? errno : 0; // shrunk meanwhile: the copy ends where it ends
            }
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::pwrite(out, buffer.data() + done, static_cast<size_t>(n - done),
                                           position + done);
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    return w < 0 ? errno : ENOSPC;
                }
                done += w;
            }
            position += n;
        }
    }
    return ::ftruncate(out, size) == 0 ? 0 : errno;
}

int copyEntry(int fromDir, const char* from, int toDir, const char* to, int depth);

int copyFolder(int fromDir, const char* from, int toDir, const char* to, mode_t mode, int depth) {
    if (depth > CFileOperations::kMaxDepth) {
        return ELOOP;
    }
    const CFileDescriptor source = openFolderAt(fromDir, from);
    if (!source.valid()) {
        return errno;
    }
    if (::mkdirat(toDir, to, mode & 07777) != 0) {
        return errno;
    }
    const CFileDescriptor target = openFolderAt(toDir, to);
    if (!target.valid()) {
        return errno;
    }
    for (const std::string& name : namesIn(source.get())) {
        if (const int err =
                copyEntry(source.get(), name.c_str(), target.get(), name.c_str(), depth + 1);
            err != 0) {
            return err;
        }
    }
    return 0;
}

// Copies one entry: folders with everything in them, links as links, regular files with their
// holes. Other kinds (pipes, sockets, devices) are left out.
int copyEntry(int fromDir, const char* from, int toDir, const char* to, int depth) {
    struct stat info {};
    if (::fstatat(fromDir, from, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (S_ISDIR(info.st_mode)) {
        return copyFolder(fromDir, from, toDir, to, info.st_mode, depth);
    }
    if (S_ISLNK(info.st_mode)) {
        std::array<char, PATH_MAX> target{};
        const ssize_t n = ::readlinkat(fromDir, from, target.data(), target.size() - 1);
        if (n < 0) {
            return errno;
        }
        return ::symlinkat(target.data(), toDir, to) == 0 ? 0 : errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return 0;
    }
    const CFileDescriptor in(
        ::openat(fromDir, from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid()) {
        return errno;
    }
    const CFileDescriptor out(
        ::openat(toDir, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
    if (!out.valid()) {
        return errno;
    }
    struct stat opened {};
    if (::fstat(in.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return EINVAL;
    }
    return copyBytes(in.get(), out.get(), opened.st_size);
}

// True when folderFd is the folder identified by ancestor or lies below it (up to the root).
bool isSameOrBelow(int folderFd, const struct stat& ancestor, const struct stat& root) {
    CFileDescriptor current(::openat(folderFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int depth = 0; current.valid() && depth <= CFileOperations::kMaxDepth; ++depth) {
        struct stat info {};
        if (::fstat(current.get(), &info) != 0) {
            return false;
        }
        if (info.st_dev == ancestor.st_dev && info.st_ino == ancestor.st_ino) {
            return true;
        }
        if (info.st_dev == root.st_dev && info.st_ino == root.st_ino) {
            return false;
        }
        current.reset(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return false;
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
    case EXDEV:
    case ELOOP:
        return TAVIK_ERR_PERMISSION;
    default:
        return TAVIK_ERR_REMOTE_FILE;
    }
}

uint64_t CFileOperations::apparentBytes(int dirFd, const char* name, int depth) {
    struct stat info {};
    if (depth > kMaxDepth || ::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return 0;
    }
    if (S_ISREG(info.st_mode)) {
        return static_cast<uint64_t>(info.st_size);
    }
    if (!S_ISDIR(info.st_mode)) {
        return 0;
    }
    const CFileDescriptor folder = openFolderAt(dirFd, name);
    uint64_t bytes = 0;
    for (const std::string& inner :
         folder.valid() ? namesIn(folder.get()) : std::vector<std::string>()) {
        bytes += apparentBytes(folder.get(), inner.c_str(), depth + 1);
    }
    return bytes;
}

Outcome<CFileOperations::Entry> CFileOperations::entryOf(const ResolvedPath& path) const {
    using Result = Outcome<Entry>;
    Entry entry;
    entry.parent = resolver_.openParent(path);
    if (!entry.parent.valid()) {
        return Result::fail(errorFromErrno(errno));
    }
    const std::string name(path.name());
    if (::fstatat(entry.parent.get(), name.c_str(), &entry.info, AT_SYMLINK_NOFOLLOW) != 0) {
        return Result::fail(errorFromErrno(errno));
    }
    return Result::ok(std::move(entry));
}

int32_t CFileOperations::makeFolder(const ResolvedPath& path) const {
    if (path.isRoot) {
        return TAVIK_ERR_EXISTS;
    }
    const CFileDescriptor parent = resolver_.openParent(path);
    if (!parent.valid()) {
        return errorFromErrno(errno);
    }
    const std::string name(path.name());
    return ::mkdirat(parent.get(), name.c_str(), 0755) == 0 ? 0 : errorFromErrno(errno);
}

Outcome<std::string> CFileOperations::makeNewFolder(const ResolvedPath& base) const {
    using Result = Outcome<std::string>;
    const CFileDescriptor folder = resolver_.open(base, O_PATH | O_DIRECTORY);
    if (!folder.valid()) {
        return Result::fail(errno == ENOTDIR ? TAVIK_ERR_NOT_DIRECTORY : errorFromErrno(errno));
    }
    for (int attempt = 0; attempt < kMaxNewFolderTries; ++attempt) {
        std::string name = kNewFolderName;
        if (attempt > 0) {
            name += " (" + std::to_string(attempt) + ")";
        }
        // mkdir itself decides which name is free, so two sessions never get the same one.
        if (::mkdirat(folder.get(), name.c_str(), 0755) == 0) {
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
    // O_EXCL: an existing name, a link included, is never opened.
    const CFileDescriptor file = resolver_.open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    return file.valid() ? 0 : errorFromErrno(errno);
}

int32_t CFileOperations::remove(const ResolvedPath& path, bool force) const {
    if (path.isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    auto entry = entryOf(path);
    if (!entry) {
        return entry.error();
    }
    const int parent = entry.value().parent.get();
    const std::string name(path.name());
    if (!S_ISDIR(entry.value().info.st_mode)) {
        // A link is removed itself, never what it points to.
        return ::unlinkat(parent, name.c_str(), 0) == 0 ? 0 : errorFromErrno(errno);
    }
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0) {
        return 0;
    }
    if ((errno != ENOTEMPTY && errno != EEXIST) || !force) {
        return errorFromErrno(errno == EEXIST ? ENOTEMPTY : errno);
    }
    const CFileDescriptor folder = openFolderAt(parent, name.c_str());
    if (!folder.valid()) {
        return errorFromErrno(errno);
    }
    if (const int err = removeContents(folder.get(), 0); err != 0) {
        return errorFromErrno(err);
    }
    return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errorFromErrno(errno);
}

int32_t CFileOperations::rename(const ResolvedPath& from, const ResolvedPath& to) const {
    return commit(from, to, false);
}

int32_t CFileOperations::commit(const ResolvedPath& from, const ResolvedPath& to,
                                bool replace) const {
    if (from.isRoot || to.isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    auto source = entryOf(from);
    if (!source) {
        return source.error();
    }
    const CFileDescriptor target = resolver_.openParent(to);
    if (!target.valid()) {
        return errorFromErrno(errno);
    }
    const std::string fromName(from.name());
    const std::string toName(to.name());
    if (!replace) {
        return errorFromErrno(renameNoReplace(source.value().parent.get(), fromName.c_str(),
                                              target.get(), toName.c_str()));
    }
    struct stat there {};
    if (::fstatat(target.get(), toName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(there.st_mode)) {
        return TAVIK_ERR_EXISTS;
    }
    if (::renameat(source.value().parent.get(), fromName.c_str(), target.get(), toName.c_str()) !=
        0) {
        return errorFromErrno(errno);
    }
    return 0;
}

Outcome<CFileDescriptor> CFileOperations::targetFolder(const ResolvedPath& source,
                                                       const ResolvedPath& folder) const {
    using Result = Outcome<CFileDescriptor>;
    CFileDescriptor target = resolver_.open(folder, O_PATH | O_DIRECTORY);
    if (!target.valid()) {
        return Result::fail(errorFromErrno(errno));
    }
    const std::string name(source.name());
    struct stat info {};
    if (::fstatat(target.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return Result::fail(TAVIK_ERR_EXISTS);
    }
    return Result::ok(std::move(target));
}

int32_t CFileOperations::move(const ResolvedPath& source, const ResolvedPath& folder) const {
    if (source.isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    auto entry = entryOf(source);
    if (!entry) {
        return entry.error();
    }
    auto target = targetFolder(source, folder);
    if (!target) {
        return target.error();
    }
    const std::string name(source.name());
    return errorFromErrno(renameNoReplace(entry.value().parent.get(), name.c_str(),
                                          target.value().get(), name.c_str()));
}

int32_t CFileOperations::copy(const ResolvedPath& source, const ResolvedPath& folder) const {
    if (source.isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    auto entry = entryOf(source);
    if (!entry) {
        return entry.error();
    }
    auto target = targetFolder(source, folder);
    if (!target) {
        return target.error();
    }
    const int parent = entry.value().parent.get();
    const std::string name(source.name());
    if (S_ISDIR(entry.value().info.st_mode)) {
        // A folder copied into itself would copy its own copy without end.
        struct stat root {};
        const CFileDescriptor rootFd = resolver_.open(".", O_PATH | O_DIRECTORY);
        if (!rootFd.valid() || ::fstat(rootFd.get(), &root) != 0 ||
            isSameOrBelow(target.value().get(), entry.value().info, root)) {
            return TAVIK_ERR_REMOTE_FILE;
        }
    }
    // Apparent sizes count (holes are kept, but the copy's owner may fill them), reserved
    // against the disk's space so that no other write takes the same bytes meanwhile.
    CSpaceLedger::CReservation reservation;
    const auto free = [this] {
        const auto bytes = CDiskSpace(disk_).freeBytes();
        return bytes ? bytes.value() : UINT64_MAX;
    };
    if (!disk_.ledger->reserve(apparentBytes(parent, name.c_str()), free, reservation)) {
        return TAVIK_ERR_DISK_FULL;
    }
    return errorFromErrno(copyEntry(parent, name.c_str(), target.value().get(), name.c_str(), 0));
}

} // namespace tavik::server
