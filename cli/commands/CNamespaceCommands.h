// Commands that change the remote tree without moving file data: mkdir, rm, mv, cp, rename.
// Commands with several paths go on after a failure and fail at the end.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"

namespace tavik::cli {

class CNamespaceCommands {
public:
    CNamespaceCommands(CDiskSession& session, CConsole& console)
        : m_session(session), m_console(console) {}

    // mkdir [-p]: with -p, missing parents are created and an existing folder is no error.
    int mkdir(const Invocation& inv);
    // rm [-r]: without -r a folder that still holds entries is refused by the server.
    int rm(const Invocation& inv);
    // mv/cp SOURCE... FOLDER: each source goes into the folder under its own name.
    int mv(const Invocation& inv);
    int cp(const Invocation& inv);
    // rename OLD NEW: a NEW without "/" is a new name in OLD's folder; otherwise a full path.
    int rename(const Invocation& inv);

private:
    bool makeWithParents(const std::string& path);
    // One folder; a missing parent is named as what does not exist.
    bool makeOne(const std::string& path);
    int intoFolder(const Invocation& inv, const char* verb,
                   BOOL (*operation)(LPCWSTR, LPCWSTR, TAVIK_SESSION));
    // Prints the failure when ok is false; returns whether it was ok.
    bool check(bool ok, const std::string& context);

    CDiskSession& m_session;
    CConsole& m_console;
};

} // namespace tavik::cli
