#include "cli/core/CRemotePath.h"

#include <vector>

namespace tavik::cli {

std::string CRemotePath::normalize(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        const std::string_view part = path.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = slash + 1;
    }
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? std::string("/") : out;
}

std::string CRemotePath::resolve(std::string_view sessionPath, std::string_view typed) {
    // Normalised on its own first, so that ".." stops at the disk's root.
    const std::string onDisk = normalize(typed);
    const std::string root = normalize(sessionPath);
    return onDisk == "/" ? root : normalize(root + onDisk);
}

std::string CRemotePath::onDisk(std::string_view sessionPath, std::string_view fullPath) {
    const std::string root = normalize(sessionPath);
    const std::string full = normalize(fullPath);
    if (root == "/") {
        return full;
    }
    if (full == root) {
        return "/";
    }
    if (full.size() > root.size() && full.compare(0, root.size(), root) == 0 &&
        full[root.size()] == '/') {
        return full.substr(root.size());
    }
    return full;
}

std::string CRemotePath::join(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') {
        out += '/';
    }
    while (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    out += name;
    return out;
}

std::string CRemotePath::baseName(std::string_view path) {
    const std::string normal = normalize(path);
    return normal.substr(normal.rfind('/') + 1);
}

std::string CRemotePath::parent(std::string_view path) {
    const std::string normal = normalize(path);
    const size_t slash = normal.rfind('/');
    return slash == 0 ? std::string("/") : normal.substr(0, slash);
}

bool CRemotePath::same(std::string_view a, std::string_view b) {
    return normalize(a) == normalize(b);
}

} // namespace tavik::cli
