#include "cli/commands/CCommandRunner.h"

#include "cli/commands/CServerTrust.h"

#include "cli/commands/CCatCommand.h"
#include "cli/commands/CDiskSession.h"
#include "cli/commands/CExitCode.h"
#include "cli/commands/CInfoCommands.h"
#include "cli/commands/CNamespaceCommands.h"
#include "cli/commands/CTransferCommands.h"

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

} // namespace

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
    if (c == "cat") {
        return CCatCommand(*session, console).run(inv);
    }
    console.err << "tavik: unknown command \"" << c << "\"\n";
    return CExitCode::kUsage;
}

} // namespace tavik::cli
