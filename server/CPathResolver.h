// Confines request paths to one disk. A request path (UTF-8, "/" separators) must be the
// session path ("/" + disk id) or begin with it followed by "/"; the rest names an entry inside
// the disk's root folder. Refused with 23009 ("permission deny"): a path outside the session
// path, a ".." component, and any path whose existing part leads (through symbolic links)
// outside the root. "." and empty components are ignored. Immutable, so thread-safe.
#pragma once

#include "server/Outcome.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace tavik::server {

struct ResolvedPath {
    std::filesystem::path host; // root joined with the components; links are not resolved
    bool isRoot = false;        // the disk's root folder itself
    // What the confinement check learned of the entry itself: when it exists and is not a link,
    // its lstat, which is then also its stat. Saves a second look at the file system.
    bool examined = false;
    struct stat info {};
};

class CPathResolver {
public:
    // root must be canonical (as the configuration stores it).
    CPathResolver(std::filesystem::path root, std::string sessionPath);

    Outcome<ResolvedPath> resolve(std::string_view requestPath) const;
    // True when the path, with every existing link followed, stays inside the root.
    bool staysInside(const std::filesystem::path& host) const;

    const std::filesystem::path& root() const { return root_; }
    const std::string& sessionPath() const { return sessionPath_; }

private:
    // True when no component below the root is ".", ".." or an existing link. last receives the
    // entry's own lstat when it exists (and is then no link), with *lastFound set.
    bool linkFree(const std::filesystem::path& host, struct stat* last, bool* lastFound) const;
    bool followsInside(const std::filesystem::path& host) const;
    bool crossesDanglingLink(const std::filesystem::path& host) const;

    std::filesystem::path root_;
    std::string sessionPath_;
};

} // namespace tavik::server
