#include "server/CPathResolver.h"

#include "sdk/include/TavikErrors.h"

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
    resolved.host = root_;
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
        resolved.host /= std::string(part);
        anyComponent = true;
    }
    resolved.isRoot = !anyComponent;
    if (!staysInside(resolved.host)) {
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

bool CPathResolver::staysInside(const std::filesystem::path& host) const {
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
