#include "cli/commands/CCommandRunner.h"

#include "cli/commands/CCatCommand.h"
#include "cli/commands/CDiskSession.h"
#include "cli/commands/CExitCode.h"
#include "cli/commands/CInfoCommands.h"
#include "cli/commands/CNamespaceCommands.h"
#include "cli/commands/CTransferCommands.h"

namespace tavik::cli {

int CCommandRunner::run(const Invocation& inv, CConsole& console) {
    std::string error;
    auto session = CDiskSession::open(inv, &error);
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
    console.err << "tavik: unknown command " << c << '\n';
    return CExitCode::kUsage;
}

} // namespace tavik::cli
