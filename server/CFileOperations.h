// The namespace operations on one disk ("createdir", "createfile", "deletefile", "renamefile",
// "movefile", "copyfile") on paths resolved by CPathResolver. Every operation reaches its
// entries through descriptors the resolver opened beneath the root and acts with the *at()
// calls on an entry's own name, so a link swapped in meanwhile is never followed out of the
// disk. Each returns 0 or the protocol error: 23005 when the target exists, 23006 when the
// source or the parent folder is missing, 23008 when a folder was needed, 23003 for a non-empty
// folder deleted without force, 23007 when a copy would not fit, 23009 for the disk's root
// folder itself (it can be neither deleted, renamed nor moved) or a path that leads out of the
// disk, and 23001 for any other failure of the file system.
#pragma once

#include "server/CFileDescriptor.h"
#include "server/CPathResolver.h"
#include "server/CServerConfig.h"
#include "server/Outcome.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace tavik::server {

class CFileOperations {
public:
    // The name "createdir" with "basepath" tries first; then "새 폴더 (1)", "새 폴더 (2)", ...
    static constexpr const char* kNewFolderName = "새 폴더";
    // Folders nested deeper than this are neither copied nor removed recursively.
    static constexpr int kMaxDepth = 256;

    CFileOperations(const DiskConfig& disk, const CPathResolver& resolver)
        : disk_(disk), resolver_(resolver) {}

    int32_t makeFolder(const ResolvedPath& path) const;
    // Creates a new folder in base under the first free name; returns that name (UTF-8).
    Outcome<std::string> makeNewFolder(const ResolvedPath& base) const;
    int32_t createFile(const ResolvedPath& path) const;
    int32_t remove(const ResolvedPath& path, bool force) const;
    int32_t rename(const ResolvedPath& from, const ResolvedPath& to) const;
    // A finished upload takes its name: as rename, but with replace a file (never a folder)
    // already there is replaced in the same step, so the name never stands empty or short.
    int32_t commit(const ResolvedPath& from, const ResolvedPath& to, bool replace) const;
    int32_t move(const ResolvedPath& source, const ResolvedPath& folder) const;
    int32_t copy(const ResolvedPath& source, const ResolvedPath& folder) const;

    // errno to protocol error; EXDEV and ELOOP (a path leading out) are 23009.
    static int32_t errorFromErrno(int err);
    // The bytes a copy of the entry named name in dirFd would take: the apparent sizes of its
    // regular files (links not followed).
    static uint64_t apparentBytes(int dirFd, const char* name, int depth = 0);

private:
    // The entry's folder and the entry's own lstat there; fails with 23006 when it is missing.
    struct Entry {
        CFileDescriptor parent;
        struct stat info {};
    };
    Outcome<Entry> entryOf(const ResolvedPath& path) const;
    // The folder a move or copy goes into, open, and checked to hold no entry of the name.
    Outcome<CFileDescriptor> targetFolder(const ResolvedPath& source,
                                          const ResolvedPath& folder) const;

    const DiskConfig& disk_;
    const CPathResolver& resolver_;
};

} // namespace tavik::server
