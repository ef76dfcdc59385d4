// Runs one remote command's program under a keeper process of its own, so that every process
// the program starts ends with it, including those that leave its process group and session
// (setsid) or are orphaned on purpose: the keeper is a child subreaper, so every orphan of the
// program's tree becomes its child, and it kills them all when the program ends or when it is
// told to stop.
//
//   server ── keeper (subreaper) ── program (own process group) ── helpers ...
//
// The keeper reports the program's end over a pipe once nothing of the tree is left. It is made
// by fork() from the multithreaded server, so it only uses system calls and memory prepared
// before (no locks of the server's threads), and closes every descriptor it inherited except
// the ones it needs, so that it keeps no client connection open. It dies with the server
// (after ending the tree). Finding the orphans needs /proc/<pid>/task/<pid>/children; where the
// kernel lacks it, the program's process group is ended as before.
//
// One object per command, used by one thread; not copyable.
#pragma once

#include "server/CFileDescriptor.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavik::server {

class CCommandKeeper {
public:
    struct Report {
        bool started = false; // the program could be executed
        bool ended = false;   // it ended by itself (false: stopped at the deadline)
        int exitCode = -1;    // its exit status; -1 when it ended by a signal or was stopped
    };

    CCommandKeeper() = default;
    // Ends and reaps a keeper that is still running.
    ~CCommandKeeper();
    CCommandKeeper(const CCommandKeeper&) = delete;
    CCommandKeeper& operator=(const CCommandKeeper&) = delete;

    // Starts the keeper, which runs words (looked up in PATH) in the folder folderFd with stdin
    // from /dev/null and stdout and stderr to outputFd. False when no process could be made.
    bool start(const std::vector<std::string>& words, int folderFd, int outputFd);
    // Waits until deadline for the keeper's report; when the deadline passes first, tells it to
    // end the whole tree now and takes the report then. Reaps the keeper.
    Report finish(std::chrono::steady_clock::time_point deadline);

private:
    pid_t keeper_ = -1;
    CFileDescriptor report_;
};

} // namespace tavik::server
