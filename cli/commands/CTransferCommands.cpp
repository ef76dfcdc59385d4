#include "cli/commands/CTransferCommands.h"

#include "cli/commands/CCatCommand.h"
#include "cli/commands/CExitCode.h"
#include "cli/commands/CParallelTransfer.h"
#include "cli/commands/CSpoolFile.h"
#include "cli/commands/CTransferMonitor.h"
#include "cli/commands/CTreeTransfer.h"
#include "cli/core/CCancelSignal.h"
#include "cli/core/CProgressBar.h"
#include "cli/core/CRemotePath.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace tavik::cli {

namespace {

// "-" for a local path: standard output for get, standard input for put.
constexpr const char* kStandardStream = "-";

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
    if (destinationGiven && destination == kStandardStream) {
        return CCatCommand(m_session, m_console).run(sources);
    }
    const fs::path local = absoluteLocal(destination);
    const bool intoFolder = isLocalFolder(local);
    if (destinationGiven && !intoFolder && (sources.size() > 1 || endsWithSlash(destination))) {
        m_console.err << "tavik: get: " << destination << ": no such local folder\n";
        return CExitCode::kFailed;
    }
    CTransferMonitor monitor(m_console, inv.existing, inv.quiet);
    CCancelSignal cancel;
    CFileReport report = makeReport(inv);
    CTreeTransfer tree(m_session, m_console, inv, monitor, report, cancel.flag());
    std::vector<CTreeTransfer::Job> jobs;
    tree.collectInto(&jobs);
    for (const std::string& typed : sources) {
        if (tree.cancelled()) {
            break;
        }
        const std::string remote = m_session.resolve(typed);
        const std::string name = CRemotePath::baseName(remote);
        if (intoFolder && name.empty()) {
            m_console.err << "tavik: get: remote folder " << m_session.shown(remote)
                          << ": give a local name for the whole disk\n";
            return CExitCode::kUsage;
        }
        tree.download(remote, intoFolder ? local / name : local);
    }
    tree.collectInto(nullptr);
    CParallelTransfer::run(inv, tree, jobs, workers(inv), m_console, report);
    monitor.interrupt();
    return conclude("downloaded", report, cancel.cancelled(), inv);
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
    } else if (CDiskSession::lastErrorCode() != TAVIK_ERR_NOT_EXIST) {
        m_console.err << CDiskSession::failure("put: remote path " + m_session.shown(remote))
                      << '\n';
        return CExitCode::kFailed;
    } else if (!folderExists(CRemotePath::parent(remote))) {
        return CExitCode::kFailed; // a new name in a folder that is not there
    }
    if (!intoFolder && (sources.size() > 1 || endsWithSlash(destination))) {
        m_console.err << "tavik: put: remote folder " << m_session.shown(remote)
                      << ": does not exist\n";
        return CExitCode::kFailed;
    }
    if (std::find(sources.begin(), sources.end(), kStandardStream) != sources.end()) {
        if (sources.size() != 1 || intoFolder) {
            m_console.err << "tavik: put: standard input (\"-\") needs a remote file name, and "
                             "comes alone\n";
            return CExitCode::kUsage;
        }
        return putStandardInput(inv, remote);
    }
    CTransferMonitor monitor(m_console, inv.existing, inv.quiet);
    CCancelSignal cancel;
    CFileReport report = makeReport(inv);
    CTreeTransfer tree(m_session, m_console, inv, monitor, report, cancel.flag());
    std::vector<CTreeTransfer::Job> jobs;
    tree.collectInto(&jobs);
    for (const std::string& typed : sources) {
        if (tree.cancelled()) {
            break;
        }
        const fs::path local = absoluteLocal(typed);
        tree.upload(local,
                    intoFolder ? CRemotePath::join(remote, local.filename().string()) : remote);
    }
    tree.collectInto(nullptr);
    CParallelTransfer::run(inv, tree, jobs, workers(inv), m_console, report);
    monitor.interrupt();
    return conclude("uploaded", report, cancel.cancelled(), inv);
}

bool CTransferCommands::folderExists(const std::string& folder) {
    const auto entry = m_session.stat(folder);
    if (entry && entry->folder) {
        return true;
    }
    const std::string context = "put: remote folder " + m_session.shown(folder);
    if (entry) {
        m_console.err << "tavik: " << context << ": is not a folder\n";
    } else {
        m_console.err << CDiskSession::failure(context) << '\n';
    }
    return false;
}

int CTransferCommands::putStandardInput(const Invocation& inv, const std::string& remote) {
    // The library uploads from a file: standard input is gathered into a private one first,
    // which also gives the transfer its size.
    CSpoolFile spool;
    std::string why;
    if (!spool.fill(m_console.in, &why)) {
        m_console.err << "tavik: put: standard input: " << why << '\n';
        return CExitCode::kFailed;
    }
    CTransferMonitor monitor(m_console, inv.existing, inv.quiet);
    CCancelSignal cancel;
    CFileReport report = makeReport(inv);
    CTreeTransfer tree(m_session, m_console, inv, monitor, report, cancel.flag());
    tree.nameSource("-");
    tree.upload(spool.path(), remote);
    monitor.interrupt();
    return conclude("uploaded", report, cancel.cancelled(), inv);
}

int CTransferCommands::workers(const Invocation& inv) {
    return inv.parallel > 0 ? inv.parallel : CParallelTransfer::kDefaultWorkers;
}

CFileReport CTransferCommands::makeReport(const Invocation& inv) {
    const CFileReport::Mode mode = inv.json      ? CFileReport::Mode::Json
                                   : inv.verbose ? CFileReport::Mode::Verbose
                                                 : CFileReport::Mode::Plain;
    return CFileReport(m_console.out, m_console.err, mode, inv.quiet);
}

int CTransferCommands::conclude(const char* verb, CFileReport& report, bool cancelled,
                                const Invocation& inv) {
    if (cancelled) {
        m_console.err << "tavik: " << inv.command << ": cancelled after " << report.transferred()
                      << " file(s); the same command with --resume continues it\n";
        return CExitCode::kCancelled;
    }
    // The summary goes with the other notes (or is the last JSON object), so that standard
    // output holds only data.
    report.summary(verb);
    return report.failed() == 0 ? CExitCode::kOk : CExitCode::kFailed;
}

} // namespace tavik::cli
