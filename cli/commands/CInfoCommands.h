// Commands that only look: ls, stat, df, info.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"

namespace tavik::cli {

class CInfoCommands {
public:
    CInfoCommands(CDiskSession& session, CConsole& console)
        : m_session(session), m_console(console) {}

    // ls [-l] [PATH]: a folder's entries (folders first), or the entry itself for a file.
    int ls(const Invocation& inv);
    int stat(const Invocation& inv);
    // df: the quota as block size, total, used and free.
    int df(const Invocation& inv);
    // info: the server's status and this session's login values.
    int info(const Invocation& inv);

private:
    CDiskSession& m_session;
    CConsole& m_console;
};

} // namespace tavik::cli
