// get and put: one file or a whole folder, through the library's recursive transfers, with the
// per-file question about existing destinations, a progress bar on a terminal and Ctrl-C as
// cancel.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"

#include <string>

namespace tavik::cli {

class CTransferMonitor;

class CTransferCommands {
public:
    CTransferCommands(CDiskSession& session, CConsole& console)
        : m_session(session), m_console(console) {}

    // get REMOTE [LOCAL]: LOCAL defaults to the current folder; an existing local folder
    // receives the remote entry under its own name.
    int get(const Invocation& inv);
    // put LOCAL [REMOTE]: REMOTE defaults to the session folder; an existing remote folder
    // receives the local entry under its own name.
    int put(const Invocation& inv);

private:
    // Runs the recursive download or upload between the two paths (UTF-8) and concludes it.
    int transfer(bool download, const std::string& remote, const std::string& local,
                 const Invocation& inv, const std::string& context);
    // What the transfer came to, as an exit status, with the messages printed.
    int conclude(const char* verb, const std::string& context, bool ok, bool cancelled,
                 const CTransferMonitor& monitor);

    CDiskSession& m_session;
    CConsole& m_console;
};

} // namespace tavik::cli
