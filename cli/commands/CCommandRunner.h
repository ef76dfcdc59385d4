// Runs one parsed command: opens the session, hands the command to its group, returns the exit
// status.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/core/CCommandLine.h"

namespace tavik::cli {

class CCommandRunner {
public:
    static int run(const Invocation& inv, CConsole& console);
    // "tavik __complete WORD...": the completion candidates, one a line (see CCompletion); a
    // remote folder is listed through the profile's session. Quiet about every failure.
    static int complete(const std::vector<std::string>& words, CConsole& console);
};

} // namespace tavik::cli
