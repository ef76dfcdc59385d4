#include "cli/core/CCommandLine.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace tavik::cli {

namespace {

// The options every command can take, and where each command's own ones are stored.
struct Values {
    std::string server = CCommandLine::kDefaultServer;
    std::string disk;
    std::string password;
    int timeoutMs = -1;
    bool longForm = false;
    bool recursive = false;
    bool resume = false;
    bool overwrite = false;
    std::vector<std::string> args;
    std::string first; // commands with named positionals keep them here
    std::string second;
};

void addTransferFlags(CLI::App* cmd, Values& v) {
    auto* resume =
        cmd->add_flag("--resume", v.resume, "continue existing destination files where they end");
    auto* overwrite =
        cmd->add_flag("--overwrite", v.overwrite, "transfer existing destination files anew");
    resume->excludes(overwrite);
}

void defineCommands(CLI::App& app, Values& v) {
    auto* ls = app.add_subcommand("ls", "list a remote folder (folders first, then files)");
    ls->add_flag("-l,--long", v.longForm, "show type, size and date");
    ls->add_option("path", v.first, "remote folder or file (default: the session folder)");

    app.add_subcommand("stat", "show one remote entry")
        ->add_option("path", v.first, "remote path")
        ->required();
    app.add_subcommand("df", "show the disk quota");
    app.add_subcommand("info", "show the server's status and the session");

    auto* get = app.add_subcommand("get", "download a remote file or folder");
    get->add_option("remote", v.first, "remote file or folder")->required();
    get->add_option("local", v.second, "local destination (default: the current folder)");
    addTransferFlags(get, v);

    auto* put = app.add_subcommand("put", "upload a local file or folder");
    put->add_option("local", v.first, "local file or folder")->required();
    put->add_option("remote", v.second, "remote destination (default: the session folder)");
    addTransferFlags(put, v);

    app.add_subcommand("mkdir", "create remote folders")
        ->add_option("paths", v.args, "remote folders to create")
        ->required();
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
    CLI::App app("Works with a remote disk through TavikSDK.", "tavik");
    app.require_subcommand(1);
    app.fallthrough(); // global options may also follow the command
    Values v;
    app.add_option("-s,--server", v.server, "disk server HOST[:PORT] (port 9553 by default)")
        ->envname("TAVIK_SERVER")
        ->capture_default_str();
    app.add_option("-d,--disk", v.disk, "disk ID to log in with")->envname("TAVIK_DISK");
    auto* password = app.add_option("-p,--password", v.password, "password (none by default)")
                         ->envname("TAVIK_PASSWORD");
    app.add_option("-t,--timeout", v.timeoutMs, "time-out of each packet in ms, -1 for none")
        ->capture_default_str();
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

    Invocation inv;
    inv.command = app.get_subcommands().front()->get_name();
    inv.host = address->host();
    inv.port = address->port();
    inv.disk = v.disk;
    if (password->count() > 0 || !v.password.empty()) {
        inv.password = v.password;
    }
    inv.timeoutMs = v.timeoutMs;
    inv.longForm = v.longForm;
    inv.recursive = v.recursive;
    inv.existing = v.resume      ? ExistingPolicy::Resume
                   : v.overwrite ? ExistingPolicy::Overwrite
                                 : ExistingPolicy::Ask;
    if (!v.first.empty()) {
        inv.args.push_back(v.first);
    }
    if (!v.second.empty()) {
        inv.args.push_back(v.second);
    }
    inv.args.insert(inv.args.end(), v.args.begin(), v.args.end());
    return ParseOutcome{std::move(inv), 0, {}, {}};
}

} // namespace tavik::cli
