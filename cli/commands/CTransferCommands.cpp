#include "cli/commands/CTransferCommands.h"

#include "cli/commands/CAnsiPath.h"
#include "cli/commands/CExitCode.h"
#include "cli/commands/CTransferMonitor.h"
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

} // namespace

int CTransferCommands::get(const Invocation& inv) {
    const std::string remote = m_session.resolve(inv.args.at(0));
    const std::string context = "get " + remote;
    if (!m_session.stat(remote)) {
        m_console.err << CDiskSession::failure(context) << '\n';
        return CExitCode::kFailed;
    }
    const std::string name = CRemotePath::baseName(remote);
    fs::path local;
    if (inv.args.size() > 1) {
        local = absoluteLocal(inv.args[1]);
        if (isLocalFolder(local) && !name.empty()) {
            local /= name;
        }
    } else if (!name.empty()) {
        local = absoluteLocal(name);
    } else {
        m_console.err << "tavik: " << context << ": give a local name for the whole disk\n";
        return CExitCode::kUsage;
    }

    return transfer(true, remote, local.string(), inv, context);
}

int CTransferCommands::put(const Invocation& inv) {
    const fs::path local = absoluteLocal(inv.args.at(0));
    const std::string context = "put " + inv.args.at(0);
    std::error_code ec;
    if (!fs::exists(local, ec)) {
        m_console.err << "tavik: " << context << ": no such local file or folder\n";
        return CExitCode::kFailed;
    }
    const std::string name = local.filename().string();
    std::string remote = m_session.resolve(inv.args.size() > 1 ? inv.args[1] : std::string());
    if (auto entry = m_session.stat(remote)) {
        if (entry->folder) {
            remote = CRemotePath::join(remote, name);
        }
    } else if (const int code = CDiskSession::lastErrorCode(); code / 1000 == 21) {
        // The server could not be asked; anything else means the destination is new.
        m_console.err << CDiskSession::failure(context) << '\n';
        return CExitCode::kFailed;
    }

    return transfer(false, remote, local.string(), inv, context + " to " + remote);
}

int CTransferCommands::transfer(bool download, const std::string& remote, const std::string& local,
                                const Invocation& inv, const std::string& context) {
    const auto remoteAnsi = CAnsiPath::fromUtf8(remote);
    const auto localAnsi = CAnsiPath::fromUtf8(local);
    if (!remoteAnsi || !localAnsi) {
        m_console.err << "tavik: " << context << ": the path has characters the code page cannot"
                      << " write\n";
        return CExitCode::kFailed;
    }
    TAVIK_TRANSFER_EX record{};
    record.pszSrcPath = download ? remoteAnsi->c_str() : localAnsi->c_str();
    record.pszDstPath = download ? localAnsi->c_str() : remoteAnsi->c_str();
    CTransferMonitor monitor(m_console, inv.existing);
    monitor.attach(record);
    CCancelSignal cancel;
    const bool ok = (download ? tavik_DownloadEx(m_session.handle(), &record, cancel.flag())
                              : tavik_UploadEx(m_session.handle(), &record, cancel.flag())) != 0;
    monitor.finish();
    return conclude(download ? "downloaded" : "uploaded", context, ok, cancel.cancelled(), monitor);
}

int CTransferCommands::conclude(const char* verb, const std::string& context, bool ok,
                                bool cancelled, const CTransferMonitor& monitor) {
    const CTransferLog& log = monitor.log();
    if (cancelled) {
        m_console.err << "tavik: " << context << ": cancelled after " << log.transferred()
                      << " file(s)\n";
        return CExitCode::kCancelled;
    }
    if (!ok) {
        m_console.err << CDiskSession::failure(context) << '\n';
        return CExitCode::kFailed;
    }
    for (const std::string& name : log.incomplete()) {
        m_console.err << "tavik: " << context << ": not transferred: " << name << '\n';
    }
    m_console.out << verb << ' ' << log.transferred() << " file(s), "
                  << CProgressBar::formatBytes(log.bytes());
    if (log.skipped() > 0) {
        m_console.out << ", skipped " << log.skipped();
    }
    if (!log.incomplete().empty()) {
        m_console.out << ", failed " << log.incomplete().size();
    }
    m_console.out << '\n';
    return log.incomplete().empty() ? CExitCode::kOk : CExitCode::kFailed;
}

} // namespace tavik::cli
