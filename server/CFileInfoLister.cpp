#include "server/CFileInfoLister.h"

#include "server/CFileOperations.h"
#include "server/CWireText.h"

#include "sdk/core/CPacket.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/core/PacketWire.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/ops/CFileInfoItemName.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace tavik::server {

namespace {

// Deep trees are counted to this depth only; it also stops loops through bind mounts.
constexpr int kMaxCountDepth = 64;

// The wire path of a folder's child, built in a buffer the caller reuses for every entry.
void joinWire(std::string& path, std::string_view base, const std::string& hostName) {
    path.assign(base);
    if (path.empty() || path.back() != '/') {
        path.push_back('/');
    }
    path.append(CWireText::toWire(hostName));
}

void putItem(CPacket& reply, char letter, int index, const std::string& text) {
    reply.SetString(CFileInfoItemName(letter, index).c_str(), text.c_str());
}

void putInt(CPacket& reply, char letter, int index, int32_t value) {
    reply.SetInt(CFileInfoItemName(letter, index).c_str(), value);
}

void putEntry(CPacket& reply, int index, int32_t infotype, const std::string& wirePath,
              const FileEntry& entry, bool largeFiles) {
    if (infotype & CFileInfoLister::kPath) {
        putItem(reply, 'p', index, wirePath);
    }
    if (infotype & CFileInfoLister::kSize) {
        const uint64_t size = entry.isDir ? 0 : entry.size;
        putInt(reply, 's', index, CFileInfoLister::sizeWord(size));
        // Only the sizes "s%d" cannot carry get the extra item, so a listing grows by nothing
        // for ordinary files.
        if (largeFiles && size >= largefile::kClamped32) {
            char name[24];
            largefile::entrySizeName(name, index);
            largefile::setU64(reply, name, size);
        }
    }
    if (infotype & CFileInfoLister::kType) {
        putInt(reply, 't', index, entry.isDir ? 1 : 0);
    }
    if (infotype & CFileInfoLister::kDate) {
        putItem(reply, 'd', index, CFileInfoLister::formatDate(entry.modified));
    }
}

// Room for the items of a listing, so that thousands of entries do not grow the packet step by
// step. Four items per entry: a date and four short names come to about 40 bytes beside the path.
// Nothing past the body limit could be sent, so no more is reserved.
void reserveFor(CPacket& reply, size_t entries, size_t pathBytes) {
    const size_t limit = wire::kMaxBodyLength;
    const size_t bytes = std::min(limit, entries * (pathBytes + 64));
    const size_t items = std::min(limit / 8, entries * 4);
    reply.Reserve(static_cast<int>(items), static_cast<int>(bytes));
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

FileEntry entryOf(std::string name, const struct stat& info) {
    FileEntry entry;
    entry.name = std::move(name);
    entry.isDir = S_ISDIR(info.st_mode);
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.modified = info.st_mtime;
    return entry;
}

bool wanted(const FileEntry& entry, int32_t infotype) {
    return entry.isDir ? (infotype & CFileInfoLister::kFolders) != 0
                       : (infotype & CFileInfoLister::kFiles) != 0;
}

// Whether the folder entry's own type already rules it out, so that it need not be examined: a
// listing of the folders of a folder of thousands of files then costs one stat per folder, not
// one per entry. Links and file systems that give no type are always examined.
bool ruledOutByType(unsigned char type, int32_t infotype) {
    if (type == DT_UNKNOWN || type == DT_LNK) {
        return false;
    }
    return type == DT_DIR ? (infotype & CFileInfoLister::kFolders) == 0
                          : (infotype & CFileInfoLister::kFiles) == 0;
}

} // namespace

bool CFileInfoLister::examine(const ResolvedPath& path, FileEntry& entry) {
    if (!path.examined) {
        return false;
    }
    entry = entryOf(std::move(entry.name), path.info);
    return true;
}

Outcome<std::vector<FileEntry>> CFileInfoLister::children(std::string_view folder,
                                                          int32_t infotype) const {
    using Result = Outcome<std::vector<FileEntry>>;
    CFileDescriptor opened = resolver_.open(folder, O_RDONLY | O_DIRECTORY);
    if (!opened.valid()) {
        return Result::fail(errno == ENOTDIR ? TAVIK_ERR_NOT_DIRECTORY
                                             : CFileOperations::errorFromErrno(errno));
    }
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(opened.get()));
    if (!dir) {
        return Result::fail(TAVIK_ERR_REMOTE_FILE);
    }
    opened.release(); // closedir() closes it now
    // Entries are examined relative to the open folder; a link is followed only through the
    // resolver, which keeps it inside the disk.
    const int fd = ::dirfd(dir.get());
    std::string linkPath;
    std::vector<FileEntry> entries;
    for (;;) {
        errno = 0; // readdir reports its failure only through errno
        const dirent* found = ::readdir(dir.get());
        if (found == nullptr) {
            if (errno != 0) {
                return Result::fail(TAVIK_ERR_REMOTE_FILE);
            }
            break;
        }
        const std::string_view name = found->d_name;
        if (name == "." || name == ".." || ruledOutByType(found->d_type, infotype)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            linkPath.assign(folder).append("/").append(name);
            if (!resolver_.staysInside(linkPath, &info)) {
                continue; // out of the disk, or dangling
            }
        }
        FileEntry entry = entryOf(std::string(name), info);
        if (wanted(entry, infotype)) {
            entries.push_back(std::move(entry));
        }
    }
    std::sort(entries.begin(), entries.end(), [](const FileEntry& a, const FileEntry& b) {
        if (a.isDir != b.isDir) {
            return a.isDir;
        }
        return a.name < b.name;
    });
    return Result::ok(std::move(entries));
}

int32_t CFileInfoLister::list(const ResolvedPath& target, std::string_view wirePath,
                              int32_t infotype, int32_t level, CPacket& reply) const {
    FileEntry self;
    if (!examine(target, self)) {
        return TAVIK_ERR_NOT_EXIST;
    }
    if (level == -1) {
        const CFileDescriptor folder =
            self.isDir ? resolver_.open(target, O_RDONLY | O_DIRECTORY) : CFileDescriptor();
        const uint64_t count =
            folder.valid() ? countBelow(folder.get(), target.relative, infotype, 0) : 0;
        reply.SetInt("num", static_cast<int32_t>(std::min<uint64_t>(count, INT32_MAX)));
        return 0;
    }
    if (level != 0 && level != 1) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    const std::string base(wirePath);
    int count = 0;
    auto entries = level == 1 && self.isDir ? children(target.relative, infotype)
                                            : Outcome<std::vector<FileEntry>>::ok({});
    if (!entries) {
        reply.Clear();
        return entries.error();
    }
    reserveFor(reply, entries.value().size() + 1, base.size());
    if (level == 0 || !self.isDir || (infotype & kFolders)) {
        // The entry itself: alone at level 0 (and for a file), first at level 1.
        putEntry(reply, ++count, infotype, base, self, largeFiles_);
    }
    if (level == 1 && self.isDir) {
        std::string path;
        for (const FileEntry& entry : entries.value()) {
            joinWire(path, base, entry.name);
            putEntry(reply, ++count, infotype, path, entry, largeFiles_);
        }
    }
    reply.SetInt("num", count);
    if (reply.SizeBound() > wire::kHeaderSize + wire::kMaxBodyLength - 64) {
        // Room is kept for "error" and "errstr"; a client could not receive more anyway.
        reply.Clear();
        return TAVIK_ERR_NOT_ENOUGH_BUFFER;
    }
    return 0;
}

uint64_t CFileInfoLister::countBelow(int folderFd, const std::string& relative, int32_t infotype,
                                     int depth) const {
    if (depth >= kMaxCountDepth) {
        return 0;
    }
    const int own = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::unique_ptr<DIR, DirCloser> dir(own < 0 ? nullptr : ::fdopendir(own));
    if (!dir) {
        if (own >= 0) {
            ::close(own);
        }
        return 0;
    }
    const int fd = ::dirfd(dir.get());
    uint64_t count = 0;
    while (const dirent* found = ::readdir(dir.get())) {
        const std::string_view name = found->d_name;
        struct stat info {};
        if (name == "." || name == ".." ||
            ::fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        const std::string path = relative + "/" + found->d_name;
        if (S_ISLNK(info.st_mode)) {
            // Counted as what it leads to, when that is inside the disk; never entered.
            if (resolver_.staysInside(path, &info)) {
                count += wanted(entryOf({}, info), infotype) ? 1 : 0;
            }
            continue;
        }
        const bool isDir = S_ISDIR(info.st_mode);
        count += wanted(entryOf({}, info), infotype) ? 1 : 0;
        if (isDir) {
            const CFileDescriptor inner(
                ::openat(fd, found->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            count += inner.valid() ? countBelow(inner.get(), path, infotype, depth + 1) : 0;
        }
    }
    return count;
}

const std::string& CFileInfoLister::formatDate(std::time_t when) {
    // The text names the minute only, and the files of one folder mostly share their minute:
    // the last one is kept per thread, saving a time-zone conversion for each entry.
    struct LastMinute {
        bool known = false;
        std::time_t minute = 0;
        std::string text;
    };
    thread_local LastMinute last;
    const std::time_t minute = when >= 0 ? when / 60 : (when - 59) / 60;
    if (last.known && minute == last.minute) {
        return last.text;
    }
    last.known = true;
    last.minute = minute;
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    last.text = text;
    return last.text;
}

int32_t CFileInfoLister::sizeWord(uint64_t size) {
    return static_cast<int32_t>(static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFFu)));
}

} // namespace tavik::server
