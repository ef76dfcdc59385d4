// cat: remote files to standard output, read block by block through the remote file I/O.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"

#include <string>
#include <vector>

namespace tavik::cli {

class CCatCommand {
public:
    // The access mode the reference server reads for "openfile": the low two bits, 0 = read.
    static constexpr int kOpenRead = 0;
    // Bytes asked for per "readfile": well inside one packet.
    static constexpr int kBlockSize = 65536;

    CCatCommand(CDiskSession& session, CConsole& console)
        : m_session(session), m_console(console) {}

    int run(const Invocation& inv);
    // The same for remote paths as typed (get REMOTE... -).
    int run(const std::vector<std::string>& typedPaths);

private:
    bool copyOut(const std::string& path);

    CDiskSession& m_session;
    CConsole& m_console;
};

} // namespace tavik::cli
