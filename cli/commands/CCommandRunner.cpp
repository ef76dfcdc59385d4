#include "cli/commands/CCommandRunner.h"

#include "cli/commands/CBandwidth.h"
#include "cli/commands/CCatCommand.h"
#include "cli/commands/CDiskSession.h"
#include "cli/commands/CExitCode.h"
#include "cli/commands/CInfoCommands.h"
#include "cli/commands/CNamespaceCommands.h"
#include "cli/commands/CRemoteGlob.h"
#include "cli/commands/CServerTrust.h"
#include "cli/commands/CSyncCommand.h"
#include "cli/commands/CTransferCommands.h"
#include "cli/core/CCompletion.h"
#include "cli/core/CProfileFile.h"
#include "cli/core/CRemotePath.h"

#include <algorithm>
#include <termios.h>
#include <unistd.h>

namespace tavik::cli {

namespace {

// Reads one line from the terminal on standard input with its echo off; nullopt at the end.
std::optional<std::string> readPassword(CConsole& console, const std::string& disk) {
    console.err << "Password for disk " << disk << ": " << std::flush;
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(console.in, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    console.err << '\n';
    if (!read) {
        return std::nullopt;
    }
    return line;
}

// How many of a command's arguments (from the front) are remote paths that may hold patterns;
// ls matches its own pattern, so that it lists the matching entries themselves.
size_t remoteSources(const Invocation& inv) {
    const std::string& c = inv.command;
    const size_t n = inv.args.size();
    if (c == "stat" || c == "cat" || c == "rm") {
        return n;
    }
    if (c == "get") {
        return n > 1 ? n - 1 : n;
    }
    if (c == "mv" || c == "cp") {
        return n - 1;
    }
    return 0;
}

// Replaces patterns by what they match; false after printing why it could not.
bool expandPatterns(Invocation& inv, const CDiskSession& session, CConsole& console) {
    const size_t sources = std::min(remoteSources(inv), inv.expandable);
    auto expanded = CRemoteGlob::expandAll(session, inv.args, sources, console.err, inv.command);
    if (!expanded) {
        return false;
    }
    // "get PATTERN" without a destination still means the current folder.
    if (inv.command == "get" && inv.args.size() == 1 && expanded->size() > 1) {
        expanded->push_back(".");
    }
    inv.args = std::move(*expanded);
    return true;
}

} // namespace

int CCommandRunner::complete(const std::vector<std::string>& words, CConsole& console) {
    const auto profiles = CProfileFile::load(CProfileFile::defaultPath()).profiles;
    const Completion found = CCompletion::complete(words, profiles);
    for (const std::string& candidate : found.candidates) {
        console.out << candidate << '\n';
    }
    if (found.files) {
        console.out << "__files__\n";
    }
    if (!found.remote) {
        return CExitCode::kOk;
    }
    const Completion::Remote& remote = *found.remote;
    const size_t slash = remote.typed.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : remote.typed.substr(0, slash + 1);
    // Logs in without asking anything: a disk that wants a password the profile cannot give
    // simply completes nothing.
    const ParseOutcome parsed =
        CCommandLine::parse({"-r", remote.profile, "-t", "5000", "ls", folder});
    std::string error;
    auto session = parsed.invocation ? CDiskSession::open(*parsed.invocation, &error) : nullptr;
    const auto entries = session ? session->list(session->resolve(folder)) : std::nullopt;
    if (!entries) {
        return CExitCode::kFailed;
    }
    std::vector<std::string> names;
    std::vector<bool> folders;
    for (const RemoteEntry& entry : *entries) {
        names.push_back(CRemotePath::baseName(entry.path));
        folders.push_back(entry.folder);
    }
    for (const std::string& candidate : CCompletion::remoteCandidates(remote, names, folders)) {
        console.out << candidate << '\n';
    }
    return CExitCode::kOk;
}

int CCommandRunner::run(const Invocation& given, CConsole& console) {
    Invocation inv = given;
    std::string error;
    CServerTrust trust(inv, tls::CKnownServers::defaultPath());
    trust.apply();
    auto session = CDiskSession::open(inv, &error);
    if (!session && CDiskSession::lastErrorCode() == TAVIK_ERR_TLS_UNTRUSTED) {
        std::string refusal;
        if (!trust.trustSeen(console, refusal)) {
            console.err << (refusal.empty() ? error : refusal) << '\n';
            return CExitCode::kFailed;
        }
        trust.apply();
        session = CDiskSession::open(inv, &error);
    }
    // A disk that wants a password nobody gave: ask for it, once, when someone is there to type.
    if (!session && CDiskSession::lastErrorCode() == TAVIK_ERR_WRONG_PASSWD && !inv.password &&
        console.inIsTerminal) {
        if (auto typed = readPassword(console, inv.disk)) {
            inv.password = std::move(*typed);
            session = CDiskSession::open(inv, &error);
        }
    }
    if (!session) {
        console.err << error << '\n';
        return CExitCode::kFailed;
    }
    if (!expandPatterns(inv, *session, console)) {
        return CExitCode::kFailed;
    }
    std::optional<CBandwidth> limit; // one budget for the whole run, workers included
    if (inv.bwlimit > 0) {
        limit.emplace(inv.bwlimit);
    }
    const std::string& c = inv.command;
    CInfoCommands info(*session, console);
    CTransferCommands transfer(*session, console);
    CNamespaceCommands names(*session, console);
    if (c == "ls") {
        return info.ls(inv);
    }
    if (c == "stat") {
        return info.stat(inv);
    }
    if (c == "df") {
        return info.df(inv);
    }
    if (c == "info") {
        return info.info(inv);
    }
    if (c == "get") {
        return transfer.get(inv);
    }
    if (c == "put") {
        return transfer.put(inv);
    }
    if (c == "mkdir") {
        return names.mkdir(inv);
    }
    if (c == "rm") {
        return names.rm(inv);
    }
    if (c == "mv") {
        return names.mv(inv);
    }
    if (c == "cp") {
        return names.cp(inv);
    }
    if (c == "rename") {
        return names.rename(inv);
    }
    if (c == "sync") {
        return CSyncCommand(*session, console).run(inv);
    }
    if (c == "cat") {
        return CCatCommand(*session, console).run(inv);
    }
    console.err << "tavik: unknown command \"" << c << "\"\n";
    return CExitCode::kUsage;
}

} // namespace tavik::cli
