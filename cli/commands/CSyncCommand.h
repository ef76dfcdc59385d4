// sync SRC DST: makes DST hold what SRC holds (see CSyncPlan for what counts as a difference),
// in either direction; the remote side is written ":path" or "PROFILE:path". The two trees are
// read first (the remote one with one listing per folder), then folders are made, files copied
// (-P workers, as for get and put; a file a cut run left half-copied is continued) and, with
// --delete, what the source lacks is removed last. Nothing is deleted when either tree could not
// be read whole. --dry-run prints the plan on standard output and changes nothing.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"
#include "cli/core/CSyncPlan.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavik::cli {

class CFileReport;

class CSyncCommand {
public:
    CSyncCommand(CDiskSession& session, CConsole& console)
        : m_session(session), m_console(console) {}

    int run(const Invocation& inv);

private:
    // The trees; false when a part could not be read (each failure printed).
    bool readLocal(const std::filesystem::path& root, SyncTree& tree);
    bool readRemote(const std::string& root, SyncTree& tree);
    // Whether a remote file and a local one hold the same bytes; nullopt when one cannot be read.
    std::optional<bool> sameBytes(const std::string& remote, const std::filesystem::path& local);
    void printPlan(const SyncPlan& plan, const Invocation& inv);
    void removeExtra(const SyncPlan& plan, bool upload, const std::filesystem::path& localRoot,
                     const std::string& remoteRoot, CFileReport& report);

    CDiskSession& m_session;
    CConsole& m_console;
    std::vector<std::pair<std::string, std::vector<RemoteEntry>>> m_listings; // remote folders read
};

} // namespace tavik::cli
