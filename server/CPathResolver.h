// Confines request paths to one disk. A request path (UTF-8, "/" separators) must be the
// session path ("/" + disk id) or begin with it followed by "/"; the rest names an entry below
// the disk's root folder. "." and empty components are ignored; ".." is refused.
//
// The check is not made on path text. The resolver holds a descriptor of the root, and every
// entry is reached from it with openat2() and RESOLVE_BENEATH: the kernel follows links only
// while each step stays below the root, so a link swapped in between a check and the use can
// never lead out. Callers act on what open…() returns, with the *at() calls; they never use a
// host path of an entry. Absolute links that point back inside the root (which the kernel
// refuses beneath a root) are followed by rewriting them relative to the root, each rewritten
// path again opened beneath it.
//
// Refused with 23009 ("permission deny"): a path outside the session path, a ".." component,
// and any path whose existing part leads (through links) out of the root. Immutable after
// construction, so thread-safe; owns the root's descriptor.
#pragma once

#include "server/CFileDescriptor.h"
#include "server/Outcome.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace tavik::server {

struct ResolvedPath {
    // Below the root, components joined by "/"; "." for the root itself.
    std::string relative = ".";
    bool isRoot = true;
    // The entry existed when it was resolved: info is its stat, links followed.
    bool examined = false;
    struct stat info {};

    // The last component ("." for the root) and the folder that holds it ("." for the top).
    std::string_view name() const;
    std::string_view parent() const;
};

class CPathResolver {
public:
    // Opens the root folder (canonical, as the configuration stores it).
    CPathResolver(std::filesystem::path root, std::string sessionPath);

    // False when the root could not be opened; every resolve() then fails with 23001.
    bool valid() const { return rootFd_.valid(); }
    // True when the kernel offers openat2() with RESOLVE_BENEATH (Linux 5.6 on).
    static bool kernelConfines();

    Outcome<ResolvedPath> resolve(std::string_view requestPath) const;

    // Opens an entry below the root, links followed while they stay inside; open(2) flags
    // (O_CLOEXEC is added). Returns the descriptor, or an invalid one with errno set: EXDEV
    // when the path leads out of the root, ELOOP for too many links, otherwise as open(2).
    CFileDescriptor open(std::string_view relative, int flags, mode_t mode = 0) const;
    CFileDescriptor open(const ResolvedPath& path, int flags, mode_t mode = 0) const {
        return open(path.relative, flags, mode);
    }
    // The folder holding the entry (O_PATH), for acting on the entry's own name with *at().
    CFileDescriptor openParent(const ResolvedPath& path) const;
    // The listing's question: with every link followed, does the entry stay inside (and
    // exist)? info receives its stat when it does.
    bool staysInside(std::string_view relative, struct stat* info = nullptr) const;

    const std::filesystem::path& root() const { return root_; }
    const std::string& sessionPath() const { return sessionPath_; }

private:
    // One openat2() beneath the root; -1 with errno on failure.
    int openOnce(const std::string& relative, int flags, mode_t mode) const;
    // After EXDEV: finds the first link on the way and replaces it by its target, made relative
    // to the root. False when that link leads out (or none was found).
    bool rewriteFirstLink(std::string& relative) const;

    std::filesystem::path root_;
    std::string sessionPath_;
    CFileDescriptor rootFd_;
};

} // namespace tavik::server
