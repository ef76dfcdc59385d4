#include "cli/commands/CSyncCommand.h"

#include "cli/commands/CCatCommand.h"
#include "cli/commands/CExitCode.h"
#include "cli/commands/CParallelTransfer.h"
#include "cli/commands/CTransferMonitor.h"
#include "cli/commands/CTreeTransfer.h"
#include "cli/core/CCancelSignal.h"
#include "cli/core/CFileReport.h"
#include "cli/core/CJson.h"
#include "cli/core/CRemotePath.h"
#include "cli/core/CUtf8.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tavik::cli {

namespace {

// A modification time as the server writes dates: local time, to the minute.
std::string minuteOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    tm local{};
    localtime_r(&info.st_mtime, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

struct FileCloser {
    void operator()(TAVIK_FILE* file) const { tavik_FileClose(file); }
};

bool isMarked(const Invocation& inv, size_t index) {
    return std::find(inv.remoteMarked.begin(), inv.remoteMarked.end(), index) !=
           inv.remoteMarked.end();
}

} // namespace

bool CSyncCommand::readLocal(const fs::path& root, SyncTree& tree) {
    std::error_code ec;
    if (!fs::exists(root, ec)) {
        return true; // a destination still to be made
    }
    bool whole = true;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string relative = path.lexically_relative(root).generic_string();
        if (it->is_symlink(ec)) {
            continue; // links are not followed (see put)
        }
        if (it->is_directory(ec)) {
            tree[relative] = SyncEntry{true, 0, {}};
        } else if (it->is_regular_file(ec)) {
            tree[relative] = SyncEntry{false, it->file_size(ec), minuteOf(path)};
        }
    }
    if (ec) {
        m_console.err << "tavik: sync: local folder " << root.string()
                      << ": cannot read it whole: " << ec.message() << '\n';
        whole = false;
    }
    return whole;
}

bool CSyncCommand::readRemote(const std::string& root, SyncTree& tree) {
    const auto top = m_session.stat(root);
    if (!top) {
        if (CDiskSession::lastErrorCode() == TAVIK_ERR_NOT_EXIST) {
            return true; // a destination still to be made
        }
        m_console.err << CDiskSession::failure("sync: remote folder " + m_session.shown(root))
                      << '\n';
        return false;
    }
    bool whole = true;
    std::vector<std::string> folders = {root};
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        const auto entries = m_session.list(folder);
        if (!entries) {
            m_console.err << CDiskSession::failure("sync: remote folder " + m_session.shown(folder))
                          << '\n';
            whole = false;
            continue;
        }
        m_listings.emplace_back(folder, *entries);
        for (const RemoteEntry& entry : *entries) {
            if (!CRemotePath::same(CRemotePath::parent(entry.path), folder)) {
                continue; // not inside the folder: never named, never deleted
            }
            const std::string relative = CRemotePath::onDisk(root, entry.path).substr(1);
            tree[relative] = SyncEntry{entry.folder, entry.size, entry.date};
            if (entry.folder) {
                folders.push_back(entry.path);
            }
        }
    }
    return whole;
}

std::optional<bool> CSyncCommand::sameBytes(const std::string& remote, const fs::path& local) {
    std::unique_ptr<TAVIK_FILE, FileCloser> file(
        tavik_FileOpen(CUtf8::toUtf16(remote).c_str(), CCatCommand::kOpenRead, m_session.handle()));
    std::ifstream in(local, std::ios::binary);
    if (!file || !in) {
        return std::nullopt;
    }
    std::vector<char> theirs(CCatCommand::kBlockSize);
    std::vector<char> ours(CCatCommand::kBlockSize);
    for (;;) {
        const int count = tavik_FileRead(file.get(), theirs.data(), CCatCommand::kBlockSize);
        if (count < 0) {
            return std::nullopt;
        }
        in.read(ours.data(), count);
        if (in.gcount() != count ||
            !std::equal(theirs.begin(), theirs.begin() + count, ours.begin())) {
            return false;
        }
        if (count == 0) {
            return in.peek() == std::char_traits<char>::eof();
        }
    }
}

void CSyncCommand::printPlan(const SyncPlan& plan, const Invocation& inv) {
    auto say = [&](const char* action, const std::string& path) {
        if (inv.json) {
            m_console.out << CJson().field("action", action).field("path", path).str() << '\n';
        } else {
            m_console.out << action << ' ' << path << '\n';
        }
    };
    for (const std::string& path : plan.makeFolders) {
        say("mkdir", path);
    }
    for (const std::string& path : plan.copy) {
        say("copy", path);
    }
    for (const std::string& path : plan.compareBytes) {
        say("compare", path);
    }
    for (const std::string& path : plan.remove) {
        say("delete", path);
    }
}

void CSyncCommand::removeExtra(const SyncPlan& plan, bool upload, const fs::path& localRoot,
                               const std::string& remoteRoot, CFileReport& report) {
    for (const std::string& relative : plan.remove) {
        FileOutcome outcome;
        outcome.status = FileOutcome::Status::Deleted;
        bool ok = true;
        if (upload) {
            const std::string full = CRemotePath::join(remoteRoot, relative);
            outcome.source = m_session.shown(full);
            ok = tavik_DeleteFile(CUtf8::toUtf16(full).c_str(), 1, m_session.handle()) != 0;
            if (!ok) {
                outcome.error = CDiskSession::failure("sync: remote path " + outcome.source);
            }
        } else {
            const fs::path full = localRoot / relative;
            outcome.source = full.string();
            std::error_code ec;
            fs::remove_all(full, ec);
            ok = !ec;
            if (!ok) {
                outcome.error = "tavik: sync: local path " + outcome.source +
                                ": cannot delete it: " + ec.message();
            }
        }
        if (!ok) {
            m_console.err << outcome.error << '\n';
            outcome.status = FileOutcome::Status::Failed;
        }
        report.record(outcome);
    }
}

int CSyncCommand::run(const Invocation& given) {
    Invocation inv = given;
    const bool sourceRemote = isMarked(inv, 0);
    const bool destinationRemote = isMarked(inv, 1);
    if (inv.args.size() != 2 || sourceRemote == destinationRemote) {
        m_console.err << "tavik: sync: mark the remote side, and only it, with \":path\" or "
                         "\"PROFILE:path\" (sync ./site :/www, or sync :/www ./site)\n";
        return CExitCode::kUsage;
    }
    const bool upload = destinationRemote;
    const fs::path localRoot = fs::absolute(fs::path(inv.args[upload ? 0 : 1])).lexically_normal();
    const std::string remoteRoot = m_session.resolve(inv.args[upload ? 1 : 0]);
    std::error_code ec;
    if (upload && !fs::is_directory(localRoot, ec)) {
        m_console.err << "tavik: sync: local folder " << localRoot.string()
                      << ": does not exist or is not a folder\n";
        return CExitCode::kFailed;
    }
    SyncTree local;
    SyncTree remote;
    const bool whole = readLocal(localRoot, local) && readRemote(remoteRoot, remote);
    if (!upload && remote.empty() && !m_session.stat(remoteRoot)) {
        m_console.err << CDiskSession::failure("sync: remote folder " + m_session.shown(remoteRoot))
                      << '\n';
        return CExitCode::kFailed;
    }
    const SyncTree& source = upload ? local : remote;
    const SyncTree& destination = upload ? remote : local;
    SyncPlan plan =
        CSyncPlan::make(source, destination, inv.filters, inv.checksum, inv.deleteExtra && whole);
    if (inv.deleteExtra && !whole) {
        m_console.err << "tavik: sync: nothing is deleted, since a tree could not be read whole\n";
    }
    if (inv.dryRun) {
        printPlan(plan, inv);
        m_console.err << "dry run: " << plan.makeFolders.size() << " folder(s) to make, "
                      << plan.copy.size() << " file(s) to copy, " << plan.compareBytes.size()
                      << " to compare, " << plan.remove.size() << " to delete; nothing changed\n";
        return whole ? CExitCode::kOk : CExitCode::kFailed;
    }
    // Files of one size and time whose bytes differ are copied too.
    for (const std::string& relative : plan.compareBytes) {
        const auto same = sameBytes(CRemotePath::join(remoteRoot, relative), localRoot / relative);
        if (!same || !*same) {
            plan.copy.push_back(relative);
        } else {
            ++plan.unchanged;
        }
    }

    inv.existing = ExistingPolicy::Overwrite;
    inv.command = upload ? "put" : "get"; // what messages call each file's transfer
    const CFileReport::Mode mode = inv.json      ? CFileReport::Mode::Json
                                   : inv.verbose ? CFileReport::Mode::Verbose
                                                 : CFileReport::Mode::Plain;
    CFileReport report(m_console.out, m_console.err, mode, inv.quiet);
    CTransferMonitor monitor(m_console, inv.existing, inv.quiet);
    CCancelSignal cancel;
    CTreeTransfer tree(m_session, m_console, inv, monitor, report, cancel.flag());
    tree.continueCutTransfers();
    for (const auto& [folder, entries] : m_listings) {
        tree.know(folder, entries); // no lookup per file: the listing said it all
    }
    if (upload && remote.empty() &&
        !tavik_MakeFolder(CUtf8::toUtf16(remoteRoot).c_str(), m_session.handle()) &&
        CDiskSession::lastErrorCode() != TAVIK_ERR_EXISTS) {
        m_console.err << CDiskSession::failure("sync: remote folder " + m_session.shown(remoteRoot))
                      << '\n';
        return CExitCode::kFailed;
    }
    if (!upload) {
        fs::create_directories(localRoot, ec);
    }
    if (remote.empty()) {
        tree.know(remoteRoot, {}); // new or empty
    }
    for (const std::string& relative : plan.makeFolders) {
        tree.know(CRemotePath::join(remoteRoot, relative), {});
        const bool made =
            upload
                ? tavik_MakeFolder(CUtf8::toUtf16(CRemotePath::join(remoteRoot, relative)).c_str(),
                                   m_session.handle()) != 0
                : fs::create_directory(localRoot / relative, ec) || !ec;
        if (!made) {
            m_console.err << (upload ? CDiskSession::failure("sync: remote folder /" + relative)
                                     : "tavik: sync: local folder " +
                                           (localRoot / relative).string() + ": " + ec.message())
                          << '\n';
        }
    }
    std::vector<CTreeTransfer::Job> jobs;
    for (const std::string& relative : plan.copy) {
        CTreeTransfer::Job job;
        job.upload = upload;
        job.local = localRoot / relative;
        if (upload) {
            job.size = local.at(relative).size;
            job.remote = CRemotePath::join(remoteRoot, relative);
        } else {
            const SyncEntry& entry = remote.at(relative);
            job.entry = RemoteEntry{CRemotePath::join(remoteRoot, relative), entry.size, false,
                                    entry.minute};
        }
        jobs.push_back(std::move(job));
    }
    const int workers = inv.parallel > 0 ? inv.parallel : CParallelTransfer::kDefaultWorkers;
    CParallelTransfer::run(inv, tree, jobs, workers, m_console, report);
    monitor.interrupt();
    if (cancel.cancelled()) {
        m_console.err << "tavik: sync: cancelled; the same command continues it\n";
        return CExitCode::kCancelled;
    }
    removeExtra(plan, upload, localRoot, remoteRoot, report);
    report.summary("synced");
    return report.failed() == 0 && whole ? CExitCode::kOk : CExitCode::kFailed;
}

} // namespace tavik::cli
