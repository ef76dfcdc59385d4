// Runs one parsed command: opens the session, hands the command to its group, returns the exit
// status.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/core/CCommandLine.h"

namespace tavik::cli {

class CCommandRunner {
public:
    static int run(const Invocation& inv, CConsole& console);
};

} // namespace tavik::cli
