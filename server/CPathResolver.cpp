#include "server/CPathResolver.h"

#include "sdk/include/TavikErrors.h"

#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace tavik::server {

CPathResolver::CPathResolver(std::filesystem::path root, std::string sessionPath)
    : root_(std::move(root)), sessionPath_(std::move(sessionPath)) {}

Outcome<ResolvedPath> CPathResolver::resolve(std::string_view requestPath) const {
    if (requestPath.substr(0, sessionPath_.size()) != sessionPath_) {
        return Outcome<ResolvedPath>::fail(TAVIK_ERR_PERMISSION);
    }
    std::string_view rest = requestPath.substr(sessionPath_.size());
    if (!rest.empty() && rest.front() != '/') {
        // "/disk2" does not lie inside "/disk".
        return Outcome<ResolvedPath>::fail(TAVIK_ERR_PERMISSION);
    }
    ResolvedPath resolved;
    // Built as text and made a path once: appending part by part would split the path into
    // its components again at every step, on every request.
    std::string host = root_.native();
    bool anyComponent = false;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return Outcome<ResolvedPath>::fail(TAVIK_ERR_PERMISSION);
        }
        if (host.back() != '/') {
            host.push_back('/');
        }
        host.append(part);
        anyComponent = true;
    }
    resolved.host = std::move(host);
    resolved.isRoot = !anyComponent;
    if (!linkFree(resolved.host, &resolved.info, &resolved.examined) &&
        !followsInside(resolved.host)) {
        return Outcome<ResolvedPath>::fail(TAVIK_ERR_PERMISSION);
    }
    return Outcome<ResolvedPath>::ok(std::move(resolved));
}

bool CPathResolver::crossesDanglingLink(const std::filesystem::path& host) const {
    // A dangling link reads as "not there" to weakly_canonical, yet creating a file through it
    // would create the link's target, wherever that is.
    std::filesystem::path prefix = root_;
    const std::filesystem::path relative = host.lexically_relative(root_);
    for (const std::filesystem::path& part : relative) {
        prefix /= part;
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(prefix, ec);
        if (ec || !std::filesystem::exists(status)) {
            return false;
        }
        if (std::filesystem::is_symlink(status) && !std::filesystem::exists(prefix, ec)) {
            return true;
        }
    }
    return false;
}

bool CPathResolver::linkFree(const std::filesystem::path& host, struct stat* last,
                             bool* lastFound) const {
    // The root is canonical: when no component below it is "." or ".." or an existing link,
    // the path is what it says. One lstat per component, where the full check costs a stat
    // and a readlink for every component from "/" on.
    std::string prefix = root_.native();
    const std::string& text = host.native();
    if (text.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    size_t pos = prefix.back() == '/' ? prefix.size() - 1 : prefix.size();
    if (pos < text.size() && text[pos] != '/') {
        return false; // "/srv/ab" is not inside "/srv/a"
    }
    while (pos < text.size()) {
        const size_t next = text.find('/', pos + 1);
        const std::string_view part = std::string_view(text).substr(
            pos + 1, next == std::string::npos ? next : next - pos - 1);
        if (part == ".." || part == ".") {
            return false; // only the full check knows where these lead
        }
        prefix.assign(text, 0, next);
        struct stat info {};
        if (::lstat(prefix.c_str(), &info) != 0) {
            return errno == ENOENT; // nothing below a missing entry can be a link
        }
        if (S_ISLNK(info.st_mode)) {
            return false;
        }
        if (next == std::string::npos && last != nullptr && lastFound != nullptr) {
            *last = info;
            *lastFound = true;
        }
        pos = next == std::string::npos ? text.size() : next;
    }
    return true;
}

bool CPathResolver::staysInside(const std::filesystem::path& host) const {
    return linkFree(host, nullptr, nullptr) || followsInside(host);
}

bool CPathResolver::followsInside(const std::filesystem::path& host) const {
    // weakly_canonical follows every link in the part that exists, so a link anywhere on the
    // way that points out of the root shows up here. A link created after this check is a race
    // the server accepts: only the disk's owner can create links inside the root.
    if (crossesDanglingLink(host)) {
        return false;
    }
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::weakly_canonical(host, ec);
    if (ec) {
        return false;
    }
    const std::string& rootText = root_.native();
    const std::string& realText = real.native();
    if (realText == rootText) {
        return true;
    }
    const std::string prefix = rootText.back() == '/' ? rootText : rootText + "/";
    return realText.compare(0, prefix.size(), prefix) == 0;
}

} // namespace tavik::server
