// -P N: the files a get or put collected (CTreeTransfer::Job) transferred by N worker processes,
// each with a session of its own. The library keeps one last error per process, so processes,
// not threads, keep every file's error its own.
//
// Workers take the next file from a counter in memory they share, so a slow or failing file
// never holds up the others. Each worker writes its error lines to standard error whole, one
// write per line, so lines of different workers never mix; its outcomes go back through a pipe
// to this process, which counts them and writes -v lines, --json objects and the summary in
// one place. Workers ask no questions: an existing destination without --overwrite, --resume or
// --skip-existing is a failure naming it. Ctrl-C reaches every worker; each stops its transfer.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CTreeTransfer.h"
#include "cli/core/CCommandLine.h"
#include "cli/core/CFileReport.h"

#include <vector>

namespace tavik::cli {

class CParallelTransfer {
public:
    // The default number of workers for a folder.
    static constexpr int kDefaultWorkers = 4;

    // Runs jobs with `workers` processes (fewer when there are fewer jobs; in this process when
    // one is enough). tree is the walker that collected them; report receives every outcome.
    static void run(const Invocation& inv, CTreeTransfer& tree,
                    const std::vector<CTreeTransfer::Job>& jobs, int workers, CConsole& console,
                    CFileReport& report);
};

} // namespace tavik::cli
