#include "cli/core/CCommandLine.h"

#include "cli/core/CPasswordSource.h"
#include "cli/core/CProfileFile.h"
#include "cli/core/CRate.h"
#include "tls/Fingerprint.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace tavik::cli {

namespace {

// The options every command can take, and where each command's own ones are stored.
struct Values {
    std::string profile;
    std::string server;
    std::string disk;
    std::string password;
    std::string passwordFile;
    int timeoutMs = CCommandLineDefaults::kTimeoutMs;
    bool longForm = false;
    bool recursive = false;
    bool parents = false;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    int parallel = 0;
    bool resume = false;
    bool overwrite = false;
    bool skipExisting = false;
    bool tls = false;
    bool noTls = false;
    std::string fingerprint;
    bool acceptNew = false;
    std::vector<std::string> args;
    std::string first; // commands with named positionals keep them here
    std::string second;
    std::vector<std::string> configArgs;
    std::string bwlimit;
    bool dryRun = false;
    bool deleteExtra = false;
    bool checksum = false;
    std::vector<std::string> includes; // the order between the two comes from the arguments
    std::vector<std::string> excludes;
};

void addTransferFlags(CLI::App* cmd, Values& v) {
    auto* resume =
        cmd->add_flag("--resume", v.resume, "continue existing destination files where they end");
    auto* overwrite =
        cmd->add_flag("--overwrite", v.overwrite, "transfer existing destination files anew");
    auto* skip = cmd->add_flag("--skip-existing", v.skipExisting,
                               "leave existing destination files as they are");
    resume->excludes(overwrite)->excludes(skip);
    overwrite->excludes(skip);
}

void addParallelOption(CLI::App* cmd, Values& v) {
    cmd->add_option("-P,--parallel", v.parallel,
                    "files transferred at once, each over a session of its own (default 4)")
        ->check(CLI::Range(1, 64));
}

void addJsonFlag(CLI::App* cmd, Values& v) {
    cmd->add_flag("--json", v.json, "write the result as JSON");
}

const std::vector<std::string> kCommands = {"ls", "stat", "df", "info",   "get", "put",    "mkdir",
                                            "rm", "mv",   "cp", "rename", "cat", "config", "sync"};

// The global options that take a value in the next argument ("-r" after "rm" is its own flag).
bool takesValue(const std::string& arg, const std::string& command = {}) {
    return arg == "-s" || arg == "--server" || arg == "-d" || arg == "--disk" ||
           (arg == "-p" && command != "mkdir") || arg == "--password" || arg == "--password-file" ||
           arg == "-t" || arg == "--timeout" || (arg == "-r" && command != "rm") ||
           arg == "--profile" || arg == "-P" || arg == "--parallel" || arg == "--include" ||
           arg == "--exclude" || arg == "--bwlimit" || arg == "--fingerprint";
}

// The first argument that stands where the command should, when it names no command.
std::optional<std::string> unknownCommand(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (takesValue(arg)) {
            ++i;
            continue;
        }
        if (arg.empty() || arg[0] == '-') {
            continue;
        }
        if (std::find(kCommands.begin(), kCommands.end(), arg) == kCommands.end()) {
            return arg;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// The command's own arguments before a "--": only these may be expanded as patterns.
size_t argumentsBeforeDashes(const std::vector<std::string>& args) {
    std::string command;
    size_t count = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (takesValue(arg, command)) {
            ++i;
        } else if (command.empty()) {
            if (std::find(kCommands.begin(), kCommands.end(), arg) != kCommands.end()) {
                command = arg;
            }
        } else if (arg == "--") {
            return count;
        } else if (arg == "-" || arg.empty() || arg[0] != '-') {
            ++count;
        }
    }
    return static_cast<size_t>(-1);
}

bool passwordOnCommandLine(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (std::find(kCommands.begin(), kCommands.end(), arg) != kCommands.end()) {
            break;
        }
        if (arg == "-p" || arg == "--password" || arg.rfind("--password=", 0) == 0 ||
            (arg.rfind("-p", 0) == 0 && arg.size() > 2)) {
            return true;
        }
    }
    return false;
}

void defineCommands(CLI::App& app, Values& v) {
    auto* ls = app.add_subcommand("ls", "list a remote folder (folders first, then files)");
    ls->add_flag("-l,--long", v.longForm, "show type, size and date");
    ls->add_option("path", v.first, "remote folder or file (default: the disk's root, \"/\")");
    addJsonFlag(ls, v);

    auto* stat = app.add_subcommand("stat", "show one remote entry");
    stat->add_option("path", v.first, "remote path")->required();
    addJsonFlag(stat, v);
    addJsonFlag(app.add_subcommand("df", "show the disk quota"), v);
    addJsonFlag(app.add_subcommand("info", "show the server's status and the session"), v);

    auto* get = app.add_subcommand(
        "get", "download remote files or folders: REMOTE [LOCAL], or REMOTE... LOCAL_FOLDER");
    get->add_option("paths", v.args,
                    "remote sources, then the local destination (default: the current folder; "
                    "\"-\": standard output)")
        ->required();
    addTransferFlags(get, v);
    addJsonFlag(get, v);
    addParallelOption(get, v);

    auto* put = app.add_subcommand(
        "put", "upload local files or folders: LOCAL [REMOTE], or LOCAL... REMOTE_FOLDER");
    put->add_option("paths", v.args,
                    "local sources (\"-\": standard input), then the remote destination (default: "
                    "\"/\")")
        ->required();
    addTransferFlags(put, v);
    addJsonFlag(put, v);
    addParallelOption(put, v);

    auto* mkdir = app.add_subcommand("mkdir", "create remote folders");
    mkdir->add_flag("-p,--parents", v.parents,
                    "create missing parents; an existing folder is fine");
    mkdir->add_option("paths", v.args, "remote folders to create")->required();
    auto* rm = app.add_subcommand("rm", "delete remote files and folders");
    rm->add_flag("-r,--recursive", v.recursive, "delete folders with everything in them");
    rm->add_option("paths", v.args, "remote paths to delete")->required();
    app.add_subcommand("mv", "move remote entries into a remote folder")
        ->add_option("paths", v.args, "SOURCE... FOLDER")
        ->required()
        ->expected(2, -1);
    app.add_subcommand("cp", "copy remote entries into a remote folder (on the server)")
        ->add_option("paths", v.args, "SOURCE... FOLDER")
        ->required()
        ->expected(2, -1);
    auto* rename = app.add_subcommand("rename", "rename a remote entry");
    rename->add_option("old", v.first, "remote path")->required();
    rename->add_option("new", v.second, "new name, or a new full path")->required();
    app.add_subcommand("cat", "write remote files to standard output")
        ->add_option("paths", v.args, "remote files")
        ->required();
    auto* sync = app.add_subcommand(
        "sync", "make DST hold what SRC holds; the remote side is :path or PROFILE:path");
    sync->add_option("paths", v.args, "SRC DST")->required()->expected(2);
    sync->add_flag("--dry-run", v.dryRun, "print what would be done; change nothing");
    sync->add_flag("--delete", v.deleteExtra, "remove what the source lacks");
    sync->add_flag("--checksum", v.checksum,
                   "compare the bytes of files whose size and time agree");
    sync->add_option("--include", v.includes, "a pattern to take part (the first match wins)");
    sync->add_option("--exclude", v.excludes, "a pattern to leave out (the first match wins)");
    addJsonFlag(sync, v);
    addParallelOption(sync, v);

    app.add_subcommand("config", "the profiles of the configuration file: list, or show NAME")
        ->add_option("what", v.configArgs, "list | show NAME")
        ->required()
        ->expected(1, 2);
}

// --include and --exclude in the order they were given ("--include P" or "--include=P").
std::vector<SyncFilter> filtersInOrder(const std::vector<std::string>& args) {
    std::vector<SyncFilter> filters;
    for (size_t i = 0; i < args.size(); ++i) {
        for (const auto& [flag, include] : {std::pair<std::string, bool>{"--include", true},
                                            std::pair<std::string, bool>{"--exclude", false}}) {
            if (args[i] == flag && i + 1 < args.size()) {
                filters.push_back({include, args[++i]});
            } else if (args[i].rfind(flag + "=", 0) == 0) {
                filters.push_back({include, args[i].substr(flag.size() + 1)});
            }
        }
    }
    return filters;
}

ParseOutcome usageError(std::string text) {
    ParseOutcome outcome;
    outcome.exitCode = CCommandLine::kUsageError;
    outcome.err = "tavik: " + std::move(text) + "\n";
    return outcome;
}

ParseOutcome failure(std::string text) {
    ParseOutcome outcome;
    outcome.exitCode = 1;
    outcome.err = "tavik: " + std::move(text) + "\n";
    return outcome;
}

const char* envOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

// "NAME:path" with NAME one of the profiles: the profile's name, and the path after the colon.
std::optional<std::pair<std::string, std::string>>
profilePrefix(const std::string& arg, const std::map<std::string, CProfile>& profiles) {
    const size_t colon = arg.find(':');
    if (colon == std::string::npos || colon == 0 || arg.find('/') < colon) {
        return std::nullopt;
    }
    const std::string name = arg.substr(0, colon);
    if (profiles.count(name) == 0) {
        return std::nullopt;
    }
    return std::make_pair(name, arg.substr(colon + 1));
}

// tavik config list | show NAME: answered from the file alone.
ParseOutcome configCommand(const std::vector<std::string>& what) {
    const auto path = CProfileFile::defaultPath();
    const CProfileFile::Loaded loaded = CProfileFile::load(path);
    if (!loaded.error.empty()) {
        return failure(loaded.error);
    }
    ParseOutcome outcome;
    if (what.size() == 1 && what[0] == "list") {
        for (const auto& [name, profile] : loaded.profiles) {
            outcome.out += name + "\n";
        }
        return outcome;
    }
    if (what.size() == 2 && what[0] == "show") {
        const auto found = loaded.profiles.find(what[1]);
        if (found == loaded.profiles.end()) {
            return failure("no profile \"" + what[1] + "\" in " + path.string());
        }
        outcome.out = CProfileFile::describe(found->second);
        return outcome;
    }
    return usageError("config takes \"list\" or \"show NAME\"");
}

} // namespace

ParseOutcome CCommandLine::parse(const std::vector<std::string>& args) {
    if (const auto unknown = unknownCommand(args)) {
        std::string list;
        for (const std::string& c : kCommands) {
            list += (list.empty() ? "" : ", ") + c;
        }
        return usageError("unknown command \"" + *unknown + "\" (commands: " + list + ")");
    }
    CLI::App app("Works with a remote disk through TavikSDK.", "tavik");
    app.set_version_flag("--version", std::string("tavik ") + TAVIK_VERSION);
    app.require_subcommand(1);
    app.fallthrough(); // global options may also follow the command
    Values v;
    app.add_option("-r,--profile", v.profile,
                   "a profile of ~/.config/tavik/config.toml (or NAME:path in a path)");
    app.add_option("-s,--server", v.server,
                   "disk server HOST[:PORT] (port 9553 by default; also TAVIK_SERVER)");
    app.add_option("-d,--disk", v.disk, "disk ID to log in with (also TAVIK_DISK)");
    auto* password = app.add_option("-p,--password", v.password,
                                    "password (visible to other users: prefer --password-file; "
                                    "also TAVIK_PASSWORD)");
    auto* passwordFile = app.add_option("--password-file", v.passwordFile,
                                        "read the password from the first line of FILE");
    passwordFile->excludes(password);
    auto* timeout =
        app.add_option("-t,--timeout", v.timeoutMs,
                       "ms to wait for an answer, or for a transfer to move; -1 for ever")
            ->capture_default_str();
    app.add_flag("-q,--quiet", v.quiet, "no progress bar, notes or summary; errors only");
    app.add_flag("-v,--verbose", v.verbose, "name every file as it is transferred");
    app.add_option("--bwlimit", v.bwlimit,
                   "bytes per second for the whole run, all transfers together (500K, 10M)");
    auto* tlsOn = app.add_flag("--tls", v.tls, "TLS with the server (the default beyond loopback)");
    auto* tlsOff = app.add_flag("--no-tls", v.noTls, "plain TCP, as a server without TLS needs");
    tlsOn->excludes(tlsOff);
    auto* fingerprint = app.add_option("--fingerprint", v.fingerprint,
                                       "trust only the server certificate of this SHA-256 "
                                       "fingerprint (implies --tls)");
    fingerprint->excludes(tlsOff);
    app.add_flag("--accept-new", v.acceptNew,
                 "trust a server seen for the first time and keep its fingerprint");
    defineCommands(app, v);

    // CLI11 reads arguments from the back of the vector.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        ParseOutcome outcome;
        outcome.exitCode = app.exit(e, out, err) == 0 ? 0 : kUsageError;
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }
    const std::string command = app.get_subcommands().front()->get_name();
    if (command == "config") {
        return configCommand(v.configArgs);
    }
    if (!v.fingerprint.empty() && !tls::parseFingerprint(v.fingerprint)) {
        return usageError("--fingerprint takes the 32 bytes of a SHA-256 fingerprint in hex "
                          "(AB:CD:... or ABCD...)");
    }

    Invocation inv;
    inv.command = command;
    if (!v.first.empty()) {
        inv.args.push_back(v.first);
    }
    if (!v.second.empty()) {
        inv.args.push_back(v.second);
    }
    inv.args.insert(inv.args.end(), v.args.begin(), v.args.end());
    inv.expandable = argumentsBeforeDashes(args);

    // The profile: -r NAME, or NAME: before a path (which then loses the prefix).
    const bool profileAsked = !v.profile.empty();
    const bool anyColon = std::any_of(inv.args.begin(), inv.args.end(), [](const std::string& a) {
        return a.find(':') != std::string::npos;
    });
    std::optional<CProfile> profile;
    if (profileAsked || anyColon) {
        const auto path = CProfileFile::defaultPath();
        const CProfileFile::Loaded loaded = CProfileFile::load(path);
        if (!loaded.error.empty()) {
            return failure(loaded.error);
        }
        std::string chosen = v.profile;
        for (std::string& arg : inv.args) {
            const auto prefix = profilePrefix(arg, loaded.profiles);
            if (!prefix) {
                continue;
            }
            if (!chosen.empty() && chosen != prefix->first) {
                return usageError("one command uses one profile: \"" + chosen + "\" and \"" +
                                  prefix->first + "\" both given");
            }
            chosen = prefix->first;
            arg = prefix->second;
            inv.remoteMarked.push_back(static_cast<size_t>(&arg - inv.args.data()));
        }
        if (command == "sync") {
            // ":path" marks the remote side without a profile.
            for (size_t i = 0; i < inv.args.size(); ++i) {
                if (!inv.args[i].empty() && inv.args[i][0] == ':') {
                    inv.args[i].erase(0, 1);
                    inv.remoteMarked.push_back(i);
                }
            }
        }
        if (!chosen.empty()) {
            const auto found = loaded.profiles.find(chosen);
            if (found == loaded.profiles.end()) {
                return failure("no profile \"" + chosen + "\" in " + path.string());
            }
            profile = found->second;
            inv.profile = chosen;
        }
    }

    // Each setting: the command line, then the profile, then the environment, then the default.
    std::string server = v.server;
    if (server.empty()) {
        server = profile && profile->server ? *profile->server
                                            : envOr("TAVIK_SERVER", CCommandLine::kDefaultServer);
    }
    std::string why;
    const auto address = CServerAddress::parse(server, &why);
    if (!address) {
        return usageError(why);
    }
    inv.host = address->host();
    inv.port = address->port();
    inv.disk = !v.disk.empty()            ? v.disk
               : profile && profile->disk ? *profile->disk
                                          : envOr("TAVIK_DISK", "");
    if (inv.disk.empty()) {
        return usageError("no disk ID: give --disk ID, set TAVIK_DISK, or use a profile");
    }
    if (profile) {
        inv.user = profile->user.value_or("");
        inv.tls = profile->tls;
        inv.fingerprint = profile->tlsFingerprint.value_or("");
    }
    // The command line's security over the profile's.
    if (v.tls || v.noTls) {
        inv.tls = v.tls;
    }
    if (!v.fingerprint.empty()) {
        inv.fingerprint = v.fingerprint;
    }
    if (!inv.fingerprint.empty() && !tls::parseFingerprint(inv.fingerprint)) {
        return usageError("a fingerprint is the 32 bytes of a SHA-256 fingerprint in hex "
                          "(AB:CD:... or ABCD...): " +
                          inv.fingerprint);
    }
    inv.acceptNew = v.acceptNew;
    inv.timeoutMs = timeout->count() > 0            ? v.timeoutMs
                    : profile && profile->timeoutMs ? *profile->timeoutMs
                                                    : v.timeoutMs;

    std::string warning;
    if (password->count() > 0) {
        inv.password = v.password;
        if (passwordOnCommandLine(args)) {
            warning = "tavik: warning: a password on the command line is visible to other users "
                      "of this machine; use --password-file or TAVIK_PASSWORD\n";
        }
    } else if (!v.passwordFile.empty()) {
        inv.password = CPasswordSource::fromFile(v.passwordFile, &why);
    } else if (profile && profile->passwordFile) {
        inv.password = CPasswordSource::fromFile(*profile->passwordFile, &why);
    } else if (profile && profile->passwordCommand) {
        inv.password = CPasswordSource::fromCommand(*profile->passwordCommand, &why);
    } else if (const char* env = std::getenv("TAVIK_PASSWORD")) {
        inv.password = std::string(env);
    }
    if (!why.empty()) {
        return failure(why);
    }
    inv.longForm = v.longForm;
    inv.recursive = v.recursive;
    inv.parents = v.parents;
    inv.json = v.json;
    inv.quiet = v.quiet;
    inv.verbose = v.verbose;
    inv.parallel = v.parallel;
    inv.dryRun = v.dryRun;
    inv.deleteExtra = v.deleteExtra;
    inv.checksum = v.checksum;
    inv.filters = filtersInOrder(args);
    if (!v.bwlimit.empty()) {
        const auto rate = CRate::parse(v.bwlimit);
        if (!rate) {
            return usageError("--bwlimit " + v.bwlimit +
                              ": not a rate (bytes per second, as 500K, 10M or 1G)");
        }
        inv.bwlimit = *rate;
    }
    inv.existing = v.resume         ? ExistingPolicy::Resume
                   : v.overwrite    ? ExistingPolicy::Overwrite
                   : v.skipExisting ? ExistingPolicy::SkipExisting
                                    : ExistingPolicy::Ask;
    return ParseOutcome{std::move(inv), 0, {}, warning};
}

} // namespace tavik::cli
