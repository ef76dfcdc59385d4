// The namespace operations on one disk ("createdir", "createfile", "deletefile", "renamefile",
// "movefile", "copyfile") on paths already confined by CPathResolver. Each returns 0 or the
// protocol error: 23005 when the target exists, 23006 when the source or the parent folder is
// missing, 23008 when a folder was needed, 23003 for a non-empty folder deleted without force,
// 23007 when a copy would not fit, 23009 for the disk's root folder itself (it can be neither
// deleted, renamed nor moved) and 23001 for any other failure of the file system.
#pragma once

#include "server/CPathResolver.h"
#include "server/CServerConfig.h"
#include "server/Outcome.h"

#include <cstdint>
#include <string>

namespace tavik::server {

class CFileOperations {
public:
    // The name "createdir" with "basepath" tries first; then "새 폴더 (1)", "새 폴더 (2)", ...
    static constexpr const char* kNewFolderName = "새 폴더";

    explicit CFileOperations(const DiskConfig& disk) : disk_(disk) {}

    int32_t makeFolder(const ResolvedPath& path) const;
    // Creates a new folder in base under the first free name; returns that name (UTF-8).
    Outcome<std::string> makeNewFolder(const ResolvedPath& base) const;
    int32_t createFile(const ResolvedPath& path) const;
    int32_t remove(const ResolvedPath& path, bool force) const;
    int32_t rename(const ResolvedPath& from, const ResolvedPath& to) const;
    int32_t move(const ResolvedPath& source, const ResolvedPath& folder) const;
    int32_t copy(const ResolvedPath& source, const ResolvedPath& folder) const;

    static int32_t errorFromErrno(int err);

private:
    // The entry named like source inside folder, after checking both.
    Outcome<std::filesystem::path> targetIn(const ResolvedPath& source,
                                            const ResolvedPath& folder) const;
    const DiskConfig& disk_;
};

} // namespace tavik::server
