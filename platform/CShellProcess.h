// Starting host programs with posix_spawn for the shell-execute and network-drive stand-ins.
// Two ways: run() waits for the program (bounded) and gives its exit status and output;
// startDetached() leaves it running on its own and never waits for it. Thread-safe.
#pragma once

#include <string>
#include <vector>

namespace tavik::platform {

class CShellProcess {
public:
    // The full path of a program: a name with '/' is taken as it is (when executable); other
    // names are searched in PATH. Empty when there is no such executable file.
    static std::string findProgram(const std::string& name);

    struct Outcome {
        bool started = false;  // false: the program could not be started
        bool timedOut = false; // killed after the time limit
        int exitStatus = -1;   // the exit status when it ended by itself, else -1
        std::string output;    // what it wrote to stdout and stderr (at most 64 KiB kept)
    };
    // Runs program (a full path) with args (argv[1..]), writes input to its standard input and
    // closes it, collects its output and waits at most timeoutMs; past that the program is
    // killed. settings ("NAME=value") replace or add to the environment it inherits.
    static Outcome run(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input, int timeoutMs,
                       const std::vector<std::string>& settings = {});

    // Starts program (a full path) with args in folder (empty: the current one), its standard
    // streams on /dev/null, as a process of its own that nobody waits for. Returns 0, or the
    // errno of the failure to start it.
    static int startDetached(const std::string& program, const std::vector<std::string>& args,
                             const std::string& folder);
};

} // namespace tavik::platform
