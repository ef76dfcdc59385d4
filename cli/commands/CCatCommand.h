// cat: remote files to standard output. A file goes out through one whole-file download whose
// bytes are handed to standard output as they arrive (a stream, not a round trip per block);
// where that road is closed (no sink device for the library's own writes, a size the session
// cannot describe, a download the server refuses before any byte), the file is read block by
// block through the remote file I/O instead.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/core/CCommandLine.h"

#include <optional>
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

    // Where the library writes a streamed download's bytes after they have gone to standard
    // output (ANSI, as the transfer record takes it): the null device as the library reaches it,
    // or nullopt when that is not a character device (a device root without one).
    static std::optional<std::string> discardPath();

private:
    bool copyOut(const std::string& path);
    // The whole file in one download; nullopt when nothing was written and the block-by-block
    // road should be taken, else whether the file went out whole (failures printed).
    std::optional<bool> stream(const std::string& path, const RemoteEntry& entry,
                               const std::string& context);
    bool readBlocks(const std::string& path, const std::string& context);

    CDiskSession& m_session;
    CConsole& m_console;
};

} // namespace tavik::cli
