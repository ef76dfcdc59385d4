#include "cli/commands/CTransferCommands.h"

#include "cli/commands/CExitCode.h"
#include "cli/commands/CTransferMonitor.h"
#include "cli/commands/CTreeTransfer.h"
#include "cli/core/CCancelSignal.h"
#include "cli/core/CProgressBar.h"
#include "cli/core/CRemotePath.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace tavik::cli {

namespace {

// An absolute, tidy host path: the library places absolute device paths under its device root,
// which is "/" unless TAVIK_DEVICE_ROOT says otherwise.
fs::path absoluteLocal(const std::string& typed) {
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(typed), ec).lexically_normal();
    // "dir/" normalises to "dir/"; without the separator the last component is the name.
    if (path.has_relative_path() && !path.has_filename()) {
        path = path.parent_path();
    }
    return path;
}

bool isLocalFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool endsWithSlash(const std::string& typed) {
    return !typed.empty() && typed.back() == '/';
}

} // namespace

int CTransferCommands::get(const Invocation& inv) {
    std::vector<std::string> sources(inv.args.begin(), inv.args.end());
    std::string destination = ".";
    bool destinationGiven = false;
    if (sources.size() > 1) {
        destination = sources.back();
        sources.pop_back();
        destinationGiven = true;
    }
    const fs::path local = absoluteLocal(destination);
    const bool intoFolder = isLocalFolder(local);
    if (destinationGiven && !intoFolder && (sources.size() > 1 || endsWithSlash(destination))) {
        m_console.err << "tavik: get: " << destination << ": no such local folder\n";
        return CExitCode::kFailed;
    }
    CTransferMonitor monitor(m_console, inv.existing, inv.quiet);
    CCancelSignal cancel;
    CTreeTransfer tree(m_session, m_console, inv, monitor, cancel.flag());
    for (const std::string& typed : sources) {
        if (tree.cancelled()) {
            break;
        }
        const std::string remote = m_session.resolve(typed);
        const std::string name = CRemotePath::baseName(remote);
        if (intoFolder && name.empty()) {
            m_console.err << "tavik: get " << remote << ": give a local name for the whole disk\n";
            return CExitCode::kUsage;
        }
        tree.download(remote, intoFolder ? local / name : local);
    }
    monitor.interrupt();
    return conclude("downloaded", tree, cancel.cancelled(), inv);
}

int CTransferCommands::put(const Invocation& inv) {
    std::vector<std::string> sources(inv.args.begin(), inv.args.end());
    std::string destination;
    if (sources.size() > 1) {
        destination = sources.back();
        sources.pop_back();
    }
    const std::string remote = m_session.resolve(destination);
    bool intoFolder = false;
    if (auto entry = m_session.stat(remote)) {
        intoFolder = entry->folder;
    } else if (const int code = CDiskSession::lastErrorCode(); code / 1000 == 21) {
        // The server could not be asked; anything else means the destination is new.
        m_console.err << CDiskSession::failure("put to " + remote) << '\n';
        return CExitCode::kFailed;
    }
    if (!intoFolder && (sources.size() > 1 || endsWithSlash(destination))) {
        m_console.err << "tavik: put: " << remote << ": no such remote folder\n";
        return CExitCode::kFailed;
    }
    CTransferMonitor monitor(m_console, inv.existing, inv.quiet);
    CCancelSignal cancel;
    CTreeTransfer tree(m_session, m_console, inv, monitor, cancel.flag());
    for (const std::string& typed : sources) {
        if (tree.cancelled()) {
            break;
        }
        const fs::path local = absoluteLocal(typed);
        tree.upload(local,
                    intoFolder ? CRemotePath::join(remote, local.filename().string()) : remote);
    }
    monitor.interrupt();
    return conclude("uploaded", tree, cancel.cancelled(), inv);
}

int CTransferCommands::conclude(const char* verb, const CTreeTransfer& tree, bool cancelled,
                                const Invocation& inv) {
    if (cancelled) {
        m_console.err << "tavik: " << inv.command << ": cancelled after " << tree.transferred()
                      << " file(s)\n";
        return CExitCode::kCancelled;
    }
    if (!inv.quiet) {
        m_console.out << verb << ' ' << tree.transferred() << " file(s), "
                      << CProgressBar::formatBytes(tree.bytes());
        if (tree.skipped() > 0) {
            m_console.out << ", skipped " << tree.skipped();
        }
        if (tree.failed() > 0) {
            m_console.out << ", failed " << tree.failed();
        }
        m_console.out << '\n';
    }
    return tree.failed() == 0 ? CExitCode::kOk : CExitCode::kFailed;
}

} // namespace tavik::cli
