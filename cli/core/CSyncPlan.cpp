#include "cli/core/CSyncPlan.h"

#include "cli/core/CGlob.h"

#include <algorithm>

namespace tavik::cli {

namespace {

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool ownTemporary(const std::string& name) {
    return !name.empty() && name.front() == '.' &&
           (endsWith(name, ".tavik-part") || endsWith(name, ".tavik-old"));
}

std::string lastName(const std::string& relative) {
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

// Whether one path (not its parents) passes the filters.
bool passes(const std::string& relative, const std::vector<SyncFilter>& filters) {
    if (ownTemporary(lastName(relative))) {
        return false;
    }
    for (const SyncFilter& filter : filters) {
        const bool wholePath = filter.pattern.find('/') != std::string::npos;
        if (CGlob::matches(filter.pattern, wholePath ? relative : lastName(relative))) {
            return filter.include;
        }
    }
    return true;
}

size_t depth(const std::string& relative) {
    return static_cast<size_t>(std::count(relative.begin(), relative.end(), '/'));
}

} // namespace

bool CSyncPlan::included(const std::string& relative, const std::vector<SyncFilter>& filters) {
    // Every folder on the way must pass too: an excluded folder takes its contents with it.
    for (size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1)) {
        if (!passes(relative.substr(0, slash), filters)) {
            return false;
        }
    }
    return passes(relative, filters);
}

SyncPlan CSyncPlan::make(const SyncTree& source, const SyncTree& destination,
                         const std::vector<SyncFilter>& filters, bool checksum, bool remove) {
    SyncPlan plan;
    for (const auto& [path, entry] : source) { // a map: parents come before their contents
        if (!included(path, filters)) {
            continue;
        }
        const auto there = destination.find(path);
        if (entry.folder) {
            // A file where the folder belongs is left alone: the folder's files then fail,
            // each named, when they are copied.
            if (there == destination.end()) {
                plan.makeFolders.push_back(path);
            }
            continue;
        }
        if (there == destination.end() || there->second.folder) {
            plan.copy.push_back(path);
        } else if (there->second.size != entry.size || there->second.minute != entry.minute) {
            plan.copy.push_back(path);
        } else if (checksum) {
            plan.compareBytes.push_back(path);
        } else {
            ++plan.unchanged;
        }
    }
    if (remove) {
        for (const auto& [path, entry] : destination) {
            if (!included(path, filters) || source.count(path) > 0) {
                continue;
            }
            // Inside a folder that goes anyway: nothing more to do.
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos && destination.count(path.substr(0, slash)) > 0 &&
                source.count(path.substr(0, slash)) == 0 &&
                included(path.substr(0, slash), filters)) {
                continue;
            }
            plan.remove.push_back(path);
        }
        std::stable_sort(
            plan.remove.begin(), plan.remove.end(),
            [](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
    }
    return plan;
}

} // namespace tavik::cli
