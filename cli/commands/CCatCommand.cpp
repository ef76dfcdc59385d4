#include "cli/commands/CCatCommand.h"

#include "cli/commands/CAnsiPath.h"
#include "cli/commands/CExitCode.h"
#include "cli/core/CUtf8.h"

#include "platform/LocalFileSystem.h"

#include <sys/stat.h>
#include <vector>

namespace tavik::cli {

namespace {

// Closes the remote file on every way out.
struct FileCloser {
    void operator()(TAVIK_FILE* file) const { tavik_FileClose(file); }
};

// The data hook carries no pointer of ours: a streamed download's bytes go to the one stream in
// use (one download runs at a time), and a failed write raises that download's cancel flag.
struct StreamTarget {
    std::ostream* out = nullptr;
    int* cancel = nullptr;
    uint64_t written = 0;
    bool failed = false;
};
StreamTarget s_target;

void toStream(void* buffer, DWORD count, uint64_t /*position*/, DWORD /*user*/) {
    if (s_target.out == nullptr || s_target.failed) {
        return;
    }
    s_target.out->write(static_cast<const char*>(buffer), count);
    if (!*s_target.out) {
        s_target.failed = true;
        *s_target.cancel = 1;
        return;
    }
    s_target.written += count;
}

// Points the hook at a stream for one download, and away from it on every way out.
class CStreamBinding {
public:
    CStreamBinding(std::ostream& out, int* cancel) { s_target = StreamTarget{&out, cancel}; }
    ~CStreamBinding() { s_target = StreamTarget{}; }
    CStreamBinding(const CStreamBinding&) = delete;
    CStreamBinding& operator=(const CStreamBinding&) = delete;
};

} // namespace

std::optional<std::string> CCatCommand::discardPath() {
    constexpr const char16_t* kNullDevice = u"/dev/null";
    struct stat info {};
    const std::string host = platform::hostPath(kNullDevice);
    if (::stat(host.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return std::nullopt;
    }
    return CAnsiPath::fromUtf8(CUtf8::fromUtf16(kNullDevice));
}

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
    // A path that is not a plain file is left to the block road, which names what is wrong.
    if (const auto entry = m_session.stat(path); entry && !entry->folder) {
        if (const auto streamed = stream(path, *entry, context)) {
            return *streamed;
        }
    }
    return readBlocks(path, context);
}

std::optional<bool> CCatCommand::stream(const std::string& path, const RemoteEntry& entry,
                                        const std::string& context) {
    constexpr uint64_t kClampedSize = 0xFFFFFFFF;
    const auto sink = discardPath();
    const auto remoteAnsi = CAnsiPath::fromUtf8(path);
    if (!sink || !remoteAnsi || (entry.size >= kClampedSize && !m_session.largeFiles())) {
        return std::nullopt;
    }
    TAVIK_TRANSFER64 transfer{};
    transfer.pszSrcPath = remoteAnsi->c_str();
    transfer.pszDstPath = sink->c_str();
    transfer.qwStartPos = 0;
    transfer.qwEndPos = entry.size;
    transfer.bTrunc = 0; // the null device is opened, never created
    transfer.pfnData = toStream;
    int cancel = 0;
    bool ok = false;
    uint64_t written = 0;
    bool writeFailed = false;
    {
        CStreamBinding binding(m_console.out, &cancel);
        ok = tavik_Download64(m_session.handle(), &transfer, &cancel) != 0;
        written = s_target.written;
        writeFailed = s_target.failed;
    }
    if (writeFailed) {
        m_console.err << "tavik: " << context << ": cannot write to standard output\n";
        return false;
    }
    if (!ok && written == 0) {
        return std::nullopt; // refused before any byte: the block road says why, or works
    }
    m_console.out.flush();
    if (!ok || written != entry.size) {
        m_console.err << CDiskSession::failure(context) << " (" << written << " of " << entry.size
                      << " bytes written)\n";
        return false;
    }
    CDiskSession::noteActivity();
    return true;
}

bool CCatCommand::readBlocks(const std::string& path, const std::string& context) {
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
