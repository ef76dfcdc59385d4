// get and put: files and whole folders (see CTreeTransfer for what each file goes through), with
// the question about existing destinations, a progress bar on a terminal and Ctrl-C as cancel.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"
#include "cli/core/CFileReport.h"

#include <string>

namespace tavik::cli {

class CTreeTransfer;

class CTransferCommands {
public:
    CTransferCommands(CDiskSession& session, CConsole& console)
        : m_session(session), m_console(console) {}

    // get REMOTE [LOCAL] | get REMOTE... LOCAL_FOLDER: LOCAL defaults to the current folder; an
    // existing local folder receives each remote entry under its own name. A LOCAL ending in "/"
    // must be an existing folder; a LOCAL of "-" is standard output.
    int get(const Invocation& inv);
    // put LOCAL [REMOTE] | put LOCAL... REMOTE_FOLDER: REMOTE defaults to the disk's root; an
    // existing remote folder receives each local entry under its own name. A REMOTE ending in
    // "/" must be an existing folder. A LOCAL of "-" is standard input (REMOTE names the file).
    int put(const Invocation& inv);

private:
    // Whether a remote folder is there; prints why not.
    bool folderExists(const std::string& folder);
    int putStandardInput(const Invocation& inv, const std::string& remote);
    // What the transfers came to, as an exit status, with the summary printed.
    int conclude(const char* verb, CFileReport& report, bool cancelled, const Invocation& inv);
    CFileReport makeReport(const Invocation& inv);
    // -P N, or the default for folders (one file alone is one transfer whatever N is).
    static int workers(const Invocation& inv);

    CDiskSession& m_session;
    CConsole& m_console;
};

} // namespace tavik::cli
