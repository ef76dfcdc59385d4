// The command line of tavik:
//   tavik [-r PROFILE] [--server HOST[:PORT]] [--disk ID] [--password P | --password-file FILE]
//         [--timeout MS] [-q] [--tls | --no-tls] [--fingerprint SHA256] [--accept-new]
//         COMMAND ARGS...
// Each setting comes from the command line, else the profile (-r NAME, or "NAME:path" in a path
// argument; see CProfileFile), else TAVIK_SERVER, TAVIK_DISK and TAVIK_PASSWORD, else the
// default. "config list|show NAME" is answered from the profiles file without a server.
// Every command has --help. Parsing never exits the process: it returns what to print and the
// exit status, so that main decides and the tests can look.
#pragma once

#include "cli/core/CConfirmPrompt.h"
#include "cli/core/CServerAddress.h"
#include "cli/core/CSyncPlan.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavik::cli {

struct CCommandLineDefaults {
    // A silent server must not hold a command for ever.
    static constexpr int kTimeoutMs = 30000;
};

// One command to run, with everything it needs.
struct Invocation {
    std::string command; // "ls", "get", ...
    std::string host;
    int port = CServerAddress::kDefaultPort;
    std::string disk;
    std::optional<std::string> password;
    int timeoutMs = CCommandLineDefaults::kTimeoutMs; // per packet, and per stall of a transfer
    bool longForm = false;                            // ls -l
    bool recursive = false;                           // rm -r
    bool parents = false;                             // mkdir -p
    bool json = false;                                // ls, stat, df, info --json
    bool quiet = false;                               // -q: no progress, notes or summary
    bool verbose = false;                             // -v: a line for every file
    int parallel = 0; // get, put -P N: transfers at once (0: the default)
    ExistingPolicy existing = ExistingPolicy::Ask; // get, put
    std::vector<std::string> args;                 // the command's paths, in order
    // How many of args (from the front) may hold remote patterns: those before a "--".
    size_t expandable = static_cast<size_t>(-1);
    // The profile in use ("" for none), and the indexes of args that carried its "NAME:" prefix
    // (the prefix is removed): these are remote paths whatever the command.
    std::string profile;
    std::vector<size_t> remoteMarked;
    // From the profile: the user name.
    std::string user;
    // Transport security: --tls / --no-tls, else the profile's "tls"; none chooses by host (TLS
    // beyond loopback).
    std::optional<bool> tls;
    // --fingerprint, else the profile's "tls_fingerprint": the certificate the server must show.
    std::string fingerprint;
    bool acceptNew = false; // --accept-new: trust and keep a server seen the first time
    // sync: --dry-run, --delete, --checksum, and --include / --exclude in the order given.
    bool dryRun = false;
    bool deleteExtra = false;
    bool checksum = false;
    std::vector<SyncFilter> filters;
    uint64_t bwlimit = 0; // --bwlimit in bytes per second; 0 for none
};

// Parsing stops the program (help, or a usage error) or yields an invocation.
struct ParseOutcome {
    std::optional<Invocation> invocation; // set when the command is to run
    int exitCode = 0;                     // otherwise: 0 after help, kUsageError after a mistake
    std::string out;                      // text for standard output (help)
    std::string err;                      // text for standard error (a mistake, or a warning)
};

class CCommandLine {
public:
    static constexpr int kUsageError = 2;
    static constexpr const char* kDefaultServer = "127.0.0.1";

    // args excludes the program name. The environment is read for the variables above.
    static ParseOutcome parse(const std::vector<std::string>& args);
};

} // namespace tavik::cli
