// Patterns in the last component of a remote path ("logs/*.log"), matched on the client against
// one listing of the folder before it. A path without a pattern is passed through untouched.
#pragma once

#include "cli/commands/CDiskSession.h"
#include "cli/core/CListing.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tavik::cli {

class CRemoteGlob {
public:
    struct Expansion {
        std::vector<RemoteEntry> matches; // in the server's order, by name within a folder
        std::string error; // the line to print when the folder cannot be listed or nothing matched
    };

    // The entries a typed path with a pattern names; callers check CGlob::isPattern first.
    // command heads the error line.
    static Expansion expand(const CDiskSession& session, const std::string& typed,
                            const std::string& command);
    // Every typed path of `typed` from index 0 to `count` - 1 with a pattern is replaced by what
    // it matches (paths from the disk's root); nullopt after printing the error of one that
    // matched nothing or could not be listed.
    static std::optional<std::vector<std::string>> expandAll(const CDiskSession& session,
                                                             const std::vector<std::string>& typed,
                                                             size_t count, std::ostream& err,
                                                             const std::string& command);
};

} // namespace tavik::cli
