#include "cli/commands/CRemoteGlob.h"

#include "cli/core/CGlob.h"
#include "cli/core/CRemotePath.h"

#include <algorithm>
#include <ostream>

namespace tavik::cli {

CRemoteGlob::Expansion CRemoteGlob::expand(const CDiskSession& session, const std::string& typed,
                                           const std::string& command) {
    Expansion out;
    const std::string full = session.resolve(typed);
    const std::string folder = CRemotePath::parent(full);
    const std::string pattern = CRemotePath::baseName(full);
    const auto entries = session.list(folder);
    if (!entries) {
        out.error = CDiskSession::failure(command + ": remote folder " + session.shown(folder));
        return out;
    }
    for (const RemoteEntry& entry : *entries) {
        if (CRemotePath::same(CRemotePath::parent(entry.path), folder) &&
            CGlob::matches(pattern, CRemotePath::baseName(entry.path))) {
            out.matches.push_back(entry);
        }
    }
    std::sort(out.matches.begin(), out.matches.end(),
              [](const RemoteEntry& a, const RemoteEntry& b) { return a.path < b.path; });
    if (out.matches.empty()) {
        out.error = "tavik: " + command + ": no remote path matches " + session.shown(full);
    }
    return out;
}

std::optional<std::vector<std::string>>
CRemoteGlob::expandAll(const CDiskSession& session, const std::vector<std::string>& typed,
                       size_t count, std::ostream& err, const std::string& command) {
    std::vector<std::string> out;
    for (size_t i = 0; i < typed.size(); ++i) {
        if (i >= count || !CGlob::isPattern(CRemotePath::baseName("/" + typed[i]))) {
            out.push_back(typed[i]);
            continue;
        }
        const Expansion expansion = expand(session, typed[i], command);
        if (!expansion.error.empty()) {
            err << expansion.error << '\n';
            return std::nullopt;
        }
        for (const RemoteEntry& entry : expansion.matches) {
            out.push_back(session.shown(entry.path));
        }
    }
    return out;
}

} // namespace tavik::cli
