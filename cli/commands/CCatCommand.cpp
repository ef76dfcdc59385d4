#include "cli/commands/CCatCommand.h"

#include "cli/commands/CExitCode.h"
#include "cli/core/CUtf8.h"

#include <vector>

namespace tavik::cli {

namespace {

// Closes the remote file on every way out.
struct FileCloser {
    void operator()(TAVIK_FILE* file) const { tavik_FileClose(file); }
};

} // namespace

int CCatCommand::run(const Invocation& inv) {
    return run(inv.args);
}

int CCatCommand::run(const std::vector<std::string>& typedPaths) {
    bool all = true;
    for (const std::string& typed : typedPaths) {
        all &= copyOut(m_session.resolve(typed));
    }
    return all ? CExitCode::kOk : CExitCode::kFailed;
}

bool CCatCommand::copyOut(const std::string& path) {
    const std::string context = "cat: remote file " + m_session.shown(path);
    std::unique_ptr<TAVIK_FILE, FileCloser> file(
        tavik_FileOpen(CUtf8::toUtf16(path).c_str(), kOpenRead, m_session.handle()));
    if (!file) {
        // The server refuses to open a folder with a general error; say what it is.
        const std::string why = CDiskSession::failure(context);
        const auto entry = m_session.stat(path);
        if (entry && entry->folder) {
            m_console.err << "tavik: " << context << ": is a folder\n";
        } else {
            m_console.err << why << '\n';
        }
        return false;
    }
    std::vector<char> buffer(kBlockSize);
    for (;;) {
        const int count = tavik_FileRead(file.get(), buffer.data(), kBlockSize);
        if (count < 0) {
            m_console.out.flush();
            m_console.err << CDiskSession::failure(context) << '\n';
            return false;
        }
        if (count == 0) {
            break;
        }
        m_console.out.write(buffer.data(), count);
        if (!m_console.out) {
            m_console.err << "tavik: " << context << ": cannot write to standard output\n";
            return false;
        }
    }
    m_console.out.flush();
    // Closing reports the server's verdict on the file; a failure here loses no data already
    // written, but it is still an error worth an exit status.
    if (!tavik_FileClose(file.release())) {
        m_console.err << CDiskSession::failure(context) << '\n';
        return false;
    }
    return true;
}

} // namespace tavik::cli
