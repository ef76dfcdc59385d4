// The exit statuses of tavik.
#pragma once

namespace tavik::cli {

struct CExitCode {
    static constexpr int kOk = 0;
    static constexpr int kFailed = 1;      // the library or the server reported an error
    static constexpr int kUsage = 2;       // the command line was wrong
    static constexpr int kCancelled = 130; // Ctrl-C, as a shell reports a SIGINT
};

} // namespace tavik::cli
