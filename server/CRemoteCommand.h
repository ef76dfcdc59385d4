// "remotecmd": runs a program from the configuration's allow-list, never through a shell. The
// command line is split into words at blanks (double quotes group words); the first word must
// equal an allowed program name exactly. The program runs in the session's current folder with
// stdin from /dev/null, under a keeper process (CCommandKeeper); stdout and stderr are collected
// together up to a size cap. One deadline covers the output and the program's end: when it
// passes, the program and every process it started are killed, also those that left its process
// group or session; whatever it left running is killed when it ends. Output cut at the cap ends
// with kCutMarker, output of a killed program with kTimeoutMarker.
#pragma once

#include "server/Outcome.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::server {

class CRemoteCommand {
public:
    struct Output {
        std::string text;  // as the program wrote it (UTF-8 expected)
        int exitCode = -1; // -1 when killed or ended by a signal
        bool truncated = false;
        bool timedOut = false;
    };
    static constexpr const char* kCutMarker = "\n[output cut]\n";
    static constexpr const char* kTimeoutMarker = "\n[stopped: time limit]\n";

    static std::vector<std::string> splitWords(std::string_view line);
    static bool allowed(const std::vector<std::string>& words,
                        const std::vector<std::string>& allowList);
    // 23001 when the program cannot be started; a killed program returns what it wrote.
    // folderFd: the folder to run in, as a descriptor (so that no name is looked up again).
    static Outcome<Output> run(const std::vector<std::string>& words, int folderFd, int timeoutMs,
                               size_t maxOutput);
};

} // namespace tavik::server
