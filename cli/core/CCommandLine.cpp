#include "cli/core/CCommandLine.h"

#include "tls/Fingerprint.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tavik::cli {

namespace {

// The options every command can take, and where each command's own ones are stored.
struct Values {
    std::string server = CCommandLine::kDefaultServer;
    std::string disk;
    std::string password;
    std::string passwordFile;
    int timeoutMs = CCommandLineDefaults::kTimeoutMs;
    bool longForm = false;
    bool recursive = false;
    bool parents = false;
    bool json = false;
    bool quiet = false;
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

void addJsonFlag(CLI::App* cmd, Values& v) {
    cmd->add_flag("--json", v.json, "write the result as JSON");
}

const std::vector<std::string> kCommands = {"ls",    "stat", "df", "info", "get",    "put",
                                            "mkdir", "rm",   "mv", "cp",   "rename", "cat"};

// The global options that take a value in the next argument.
bool takesValue(const std::string& arg) {
    return arg == "-s" || arg == "--server" || arg == "-d" || arg == "--disk" || arg == "-p" ||
           arg == "--password" || arg == "--password-file" || arg == "-t" || arg == "--timeout" ||
           arg == "--fingerprint";
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
    ls->add_option("path", v.first, "remote folder or file (default: the session folder)");
    addJsonFlag(ls, v);

    auto* stat = app.add_subcommand("stat", "show one remote entry");
    stat->add_option("path", v.first, "remote path")->required();
    addJsonFlag(stat, v);
    addJsonFlag(app.add_subcommand("df", "show the disk quota"), v);
    addJsonFlag(app.add_subcommand("info", "show the server's status and the session"), v);

    auto* get = app.add_subcommand(
        "get", "download remote files or folders: REMOTE [LOCAL], or REMOTE... LOCAL_FOLDER");
    get->add_option("paths", v.args,
                    "remote sources, then the local destination (default: the current folder)")
        ->required();
    addTransferFlags(get, v);

    auto* put = app.add_subcommand(
        "put", "upload local files or folders: LOCAL [REMOTE], or LOCAL... REMOTE_FOLDER");
    put->add_option("paths", v.args,
                    "local sources, then the remote destination (default: the session folder)")
        ->required();
    addTransferFlags(put, v);

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
}

ParseOutcome usageError(std::string text) {
    ParseOutcome outcome;
    outcome.exitCode = CCommandLine::kUsageError;
    outcome.err = "tavik: " + std::move(text) + "\n";
    return outcome;
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
    app.add_option("-s,--server", v.server, "disk server HOST[:PORT] (port 9553 by default)")
        ->envname("TAVIK_SERVER")
        ->capture_default_str();
    app.add_option("-d,--disk", v.disk, "disk ID to log in with")->envname("TAVIK_DISK");
    auto* password = app.add_option("-p,--password", v.password,
                                    "password (visible to other users: prefer --password-file)")
                         ->envname("TAVIK_PASSWORD");
    auto* passwordFile = app.add_option("--password-file", v.passwordFile,
                                        "read the password from the first line of FILE");
    passwordFile->excludes(password);
    app.add_option("-t,--timeout", v.timeoutMs,
                   "ms to wait for an answer, or for a transfer to move; -1 for ever")
        ->capture_default_str();
    app.add_flag("-q,--quiet", v.quiet, "no progress bar, notes or summary; errors only");
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

    std::string why;
    const auto address = CServerAddress::parse(v.server, &why);
    if (!address) {
        return usageError(why);
    }
    if (v.disk.empty()) {
        return usageError("no disk ID: give --disk ID or set TAVIK_DISK");
    }
    if (!v.fingerprint.empty() && !tls::parseFingerprint(v.fingerprint)) {
        return usageError("--fingerprint takes the 32 bytes of a SHA-256 fingerprint in hex "
                          "(AB:CD:... or ABCD...)");
    }

    Invocation inv;
    inv.command = app.get_subcommands().front()->get_name();
    inv.host = address->host();
    inv.port = address->port();
    inv.disk = v.disk;
    std::string warning;
    if (password->count() > 0 || !v.password.empty()) {
        inv.password = v.password;
        if (passwordOnCommandLine(args)) {
            warning = "tavik: warning: a password on the command line is visible to other users "
                      "of this machine; use --password-file or TAVIK_PASSWORD\n";
        }
    }
    if (!v.passwordFile.empty()) {
        std::ifstream in(v.passwordFile);
        std::string line;
        if (!in || (!std::getline(in, line) && !in.eof())) {
            ParseOutcome outcome = usageError("cannot read the password file " + v.passwordFile +
                                              ": " + std::strerror(errno));
            outcome.exitCode = 1;
            return outcome;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        inv.password = line;
    }
    inv.timeoutMs = v.timeoutMs;
    if (v.tls || v.noTls) {
        inv.tls = v.tls;
    }
    inv.fingerprint = v.fingerprint;
    inv.acceptNew = v.acceptNew;
    inv.longForm = v.longForm;
    inv.recursive = v.recursive;
    inv.parents = v.parents;
    inv.json = v.json;
    inv.quiet = v.quiet;
    inv.existing = v.resume         ? ExistingPolicy::Resume
                   : v.overwrite    ? ExistingPolicy::Overwrite
                   : v.skipExisting ? ExistingPolicy::SkipExisting
                                    : ExistingPolicy::Ask;
    if (!v.first.empty()) {
        inv.args.push_back(v.first);
    }
    if (!v.second.empty()) {
        inv.args.push_back(v.second);
    }
    inv.args.insert(inv.args.end(), v.args.begin(), v.args.end());
    return ParseOutcome{std::move(inv), 0, {}, warning};
}

} // namespace tavik::cli
