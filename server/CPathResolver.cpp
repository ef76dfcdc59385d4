#include "server/CPathResolver.h"

#include "sdk/include/TavikErrors.h"

#include <array>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace tavik::server {

namespace {

// As many link rewrites as the kernel follows links in one lookup.
constexpr int kMaxRewrites = 40;
constexpr uint64_t kBeneath = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;

int openat2Call(int dirFd, const char* path, uint64_t flags, mode_t mode, uint64_t resolve) {
    open_how how{};
    how.flags = flags;
    how.mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode : 0;
    how.resolve = resolve;
    long fd = -1;
    do {
        fd = ::syscall(SYS_openat2, dirFd, path, &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    return static_cast<int>(fd);
}

} // namespace

std::string_view ResolvedPath::name() const {
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string_view(relative)
                                      : std::string_view(relative).substr(slash + 1);
}

std::string_view ResolvedPath::parent() const {
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string_view(".")
                                      : std::string_view(relative).substr(0, slash);
}

CPathResolver::CPathResolver(std::filesystem::path root, std::string sessionPath)
    : root_(std::move(root)), sessionPath_(std::move(sessionPath)),
      rootFd_(::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

bool CPathResolver::kernelConfines() {
    const int fd = openat2Call(AT_FDCWD, ".", O_PATH | O_CLOEXEC, 0, RESOLVE_BENEATH);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno != ENOSYS && errno != EPERM;
}

Outcome<ResolvedPath> CPathResolver::resolve(std::string_view requestPath) const {
    using Result = Outcome<ResolvedPath>;
    if (requestPath.substr(0, sessionPath_.size()) != sessionPath_) {
        return Result::fail(TAVIK_ERR_PERMISSION);
    }
    std::string_view rest = requestPath.substr(sessionPath_.size());
    if (!rest.empty() && rest.front() != '/') {
        // "/disk2" does not lie inside "/disk".
        return Result::fail(TAVIK_ERR_PERMISSION);
    }
    ResolvedPath resolved;
    std::string relative;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return Result::fail(TAVIK_ERR_PERMISSION);
        }
        if (!relative.empty()) {
            relative.push_back('/');
        }
        relative.append(part);
    }
    if (!rootFd_.valid()) {
        return Result::fail(TAVIK_ERR_REMOTE_FILE);
    }
    resolved.isRoot = relative.empty();
    resolved.relative = resolved.isRoot ? "." : std::move(relative);
    // A first look, so that a path leading out is refused the same way for every command.
    // What the command then does goes through open…() again, as confined as this look.
    const CFileDescriptor entry = open(resolved.relative, O_PATH);
    if (entry.valid()) {
        resolved.examined = ::fstat(entry.get(), &resolved.info) == 0;
    } else if (errno == EXDEV || errno == ELOOP) {
        return Result::fail(TAVIK_ERR_PERMISSION);
    }
    return Result::ok(std::move(resolved));
}

int CPathResolver::openOnce(const std::string& relative, int flags, mode_t mode) const {
    return openat2Call(rootFd_.get(), relative.c_str(), static_cast<uint64_t>(flags | O_CLOEXEC),
                       mode, kBeneath);
}

CFileDescriptor CPathResolver::open(std::string_view relative, int flags, mode_t mode) const {
    std::string path(relative.empty() ? std::string_view(".") : relative);
    for (int rewrites = 0; rewrites <= kMaxRewrites; ++rewrites) {
        const int fd = openOnce(path, flags, mode);
        if (fd >= 0 || errno != EXDEV) {
            return CFileDescriptor(fd);
        }
        // The kernel refuses absolute links beneath a root even when they point back inside:
        // those are rewritten relative to the root and the lookup is made again.
        if (!rewriteFirstLink(path)) {
            errno = EXDEV;
            return CFileDescriptor();
        }
    }
    errno = ELOOP;
    return CFileDescriptor();
}

bool CPathResolver::rewriteFirstLink(std::string& relative) const {
    const std::string& rootText = root_.native();
    size_t end = 0;
    while (end != std::string::npos) {
        end = relative.find('/', end + 1);
        const std::string prefix = relative.substr(0, end);
        const CFileDescriptor step(openOnce(prefix, O_PATH | O_NOFOLLOW, 0));
        struct stat info {};
        if (!step.valid() || ::fstat(step.get(), &info) != 0) {
            return false; // the way out lies here (or the entry is gone): nothing to rewrite
        }
        if (!S_ISLNK(info.st_mode)) {
            continue;
        }
        std::array<char, PATH_MAX> buffer{};
        const ssize_t length = ::readlinkat(step.get(), "", buffer.data(), buffer.size());
        if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
            return false;
        }
        std::string target(buffer.data(), static_cast<size_t>(length));
        const std::string rest = end == std::string::npos ? "" : relative.substr(end);
        if (target.front() != '/') {
            // Relative links are spelt out too, so that an absolute link they lead to is
            // reached in turn; the kernel still resolves every "..", beneath the root.
            const size_t slash = prefix.rfind('/');
            relative =
                (slash == std::string::npos ? "" : prefix.substr(0, slash + 1)) + target + rest;
            return true;
        }
        if (target.compare(0, rootText.size(), rootText) != 0 ||
            (target.size() > rootText.size() && target[rootText.size()] != '/')) {
            return false; // an absolute link out of the root ("/srv/ab" is not in "/srv/a")
        }
        relative = target.substr(rootText.size()) + rest;
        relative.erase(0, relative.find_first_not_of('/'));
        if (relative.empty()) {
            relative = ".";
        }
        return true;
    }
    return false;
}

CFileDescriptor CPathResolver::openParent(const ResolvedPath& path) const {
    return open(path.parent(), O_PATH | O_DIRECTORY);
}

bool CPathResolver::staysInside(std::string_view relative, struct stat* info) const {
    const CFileDescriptor entry = open(relative, O_PATH);
    if (!entry.valid()) {
        return false;
    }
    struct stat own {};
    return ::fstat(entry.get(), info != nullptr ? info : &own) == 0;
}

} // namespace tavik::server
