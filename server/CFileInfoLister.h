// "getfileinfo": the entries at or under a path, as the items "num", "p%d", "s%d", "t%d" and
// "d%d" (numbered from 1). Folders come before files, each group in name order (byte order of
// the UTF-8 names). Symbolic links that lead out of the disk, and entries that cannot be
// examined (dangling links), are left out of every listing.
#pragma once

#include "server/CPathResolver.h"
#include "server/Outcome.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavik {
class CPacket;
}

namespace tavik::server {

struct FileEntry {
    std::string name; // UTF-8
    bool isDir = false;
    uint64_t size = 0;
    std::time_t modified = 0;
};

class CFileInfoLister {
public:
    // infotype bits
    static constexpr int32_t kFiles = 1;
    static constexpr int32_t kFolders = 2;
    static constexpr int32_t kPath = 4;
    static constexpr int32_t kSize = 8;
    static constexpr int32_t kType = 16;
    static constexpr int32_t kDate = 32;

    // largeFiles: the session agreed on 64-bit sizes; entries whose size does not fit "s%d"
    // then also carry "s64_%d".
    explicit CFileInfoLister(const CPathResolver& resolver, bool largeFiles = false)
        : resolver_(resolver), largeFiles_(largeFiles) {}

    // Fills the reply for a resolved path as the request named it (wirePath, ANSI). Levels:
    // 0 the entry itself (whatever bits 1 and 2 say); 1 the children, preceded by the folder
    // itself when folders are asked for; -1 only "num", the count of the entries of the asked
    // kinds anywhere below the path. Returns 0 or an error: 23006 missing, 24001 another level,
    // 24003 when the listing would not fit one packet (the reply is then left empty).
    int32_t list(const ResolvedPath& target, std::string_view wirePath, int32_t infotype,
                 int32_t level, CPacket& reply) const;

    // The children of a folder (relative to the root) in listing order, of the kinds infotype
    // asks for (bits kFiles and kFolders; both by default); 23006 / 23008 when it is missing or
    // a file, 23009 when it leads out of the disk.
    Outcome<std::vector<FileEntry>> children(std::string_view folder,
                                             int32_t infotype = kFiles | kFolders) const;
    // A resolved entry as the resolver saw it (links followed); false when it did not exist.
    static bool examine(const ResolvedPath& path, FileEntry& entry);

    // "YYYY-MM-DD HH:MM" in local time. The text is kept per thread and stays valid until the
    // thread's next call.
    static const std::string& formatDate(std::time_t when);
    // Sizes travel as 32-bit words: anything from 4 GiB up reads 0xFFFFFFFF.
    static int32_t sizeWord(uint64_t size);

private:
    // Counts below an open folder (at relative); links are counted as what they lead to when
    // that is inside the disk, and never entered.
    uint64_t countBelow(int folderFd, const std::string& relative, int32_t infotype,
                        int depth) const;

    const CPathResolver& resolver_;
    bool largeFiles_ = false;
};

} // namespace tavik::server
