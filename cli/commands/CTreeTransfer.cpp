#include "cli/commands/CTreeTransfer.h"

#include "cli/commands/CAnsiPath.h"
#include "cli/core/CRemotePath.h"
#include "cli/core/CUtf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tavik::cli {

namespace {

// The data hook carries no pointer of ours, so the bytes of a ranged read go to the one sink in
// use (one transfer runs at a time).
std::vector<char>* s_sink = nullptr;

void collect(void* buffer, DWORD count, uint64_t /*position*/, DWORD /*user*/) {
    if (s_sink != nullptr) {
        const char* bytes = static_cast<const char*>(buffer);
        s_sink->insert(s_sink->end(), bytes, bytes + count);
    }
}

std::string systemReason(const std::error_code& ec) {
    return ec.message();
}

std::vector<char> readLocal(const fs::path& path, uint64_t from, uint32_t count) {
    std::vector<char> bytes(count);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    in.read(bytes.data(), count);
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

// Why the local file of a failed transfer could not be used: the library reports only 23002, so
// the same open is tried here to learn the system's reason.
std::string localReason(const std::string& path, bool writing) {
    const int fd =
        writing ? ::open(path.c_str(), O_WRONLY | O_CREAT, 0666) : ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::close(fd);
        return "local file operate error (23002)";
    }
    return std::strerror(errno);
}

void setLocalTime(const fs::path& path, DWORD seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0},
                               {static_cast<time_t>(seconds), 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0); // a time not kept loses no data
}

// A link to a file is written through, so that the link stays and its file gets the bytes.
fs::path throughLink(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) {
        return path;
    }
    const fs::path target = fs::weakly_canonical(path, ec);
    return ec || target.empty() ? path : target;
}

// Something other than a folder or a plain file is there: a device, a FIFO or a socket.
bool isStream(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

} // namespace

CTreeTransfer::CTreeTransfer(CDiskSession& session, CConsole& console, const Invocation& inv,
                             CTransferMonitor& monitor, CFileReport& report, int* cancel)
    : m_session(&session), m_console(&console), m_inv(inv), m_monitor(&monitor), m_report(&report),
      m_cancel(cancel), m_verb(inv.command == "get" ? "get" : "put") {}

void CTreeTransfer::runJob(const Job& job) {
    if (job.upload) {
        uploadFile(job.local, job.size, job.remote);
    } else {
        downloadFile(job.entry, job.local);
    }
}

void CTreeTransfer::rebind(CDiskSession& session, CConsole& console, CTransferMonitor& monitor,
                           CFileReport& report) {
    m_session = &session;
    m_monitor = &monitor;
    m_console = &console;
    m_report = &report;
}

bool CTreeTransfer::cancelled() const {
    return m_cancel != nullptr && *m_cancel != 0;
}

fs::path CTreeTransfer::partialName(const fs::path& target) {
    return target.parent_path() / ("." + target.filename().string() + ".tavik-part");
}

void CTreeTransfer::fail(const std::string& name, const std::string& why) {
    m_monitor->interrupt();
    m_console->err << "tavik: " << m_verb << ": " << name << ": " << why << '\n';
    finishItem(FileOutcome::Status::Failed, 0, name, name + ": " + why);
}

void CTreeTransfer::failFromLibrary(const std::string& name) {
    m_monitor->interrupt();
    const std::string line = CDiskSession::failure(std::string(m_verb) + ": " + name);
    m_console->err << line << '\n';
    const std::string prefix = std::string("tavik: ") + m_verb + ": ";
    finishItem(FileOutcome::Status::Failed, 0, name, line.substr(prefix.size()));
}

void CTreeTransfer::beginItem(std::string source, std::string destination) {
    m_item = FileOutcome{};
    m_item.source = std::move(source);
    m_item.destination = std::move(destination);
    m_inItem = true;
}

void CTreeTransfer::finishItem(FileOutcome::Status status, uint64_t bytes,
                               const std::string& subject, const std::string& error) {
    FileOutcome outcome = m_inItem ? m_item : FileOutcome{};
    if (!m_inItem) {
        outcome.source = subject;
    }
    outcome.status = status;
    outcome.bytes = bytes;
    outcome.error = error;
    m_inItem = false;
    m_report->record(outcome);
}

void CTreeTransfer::skip(const std::string& subject) {
    finishItem(FileOutcome::Status::Skipped, 0, subject, "");
}

std::string CTreeTransfer::remoteSubject(const char* kind, const std::string& fullPath) const {
    return std::string("remote ") + kind + " " + m_session->shown(fullPath);
}

std::string CTreeTransfer::localSubject(const char* kind, const fs::path& path) {
    return std::string("local ") + kind + " " + path.string();
}

void CTreeTransfer::hintResume(const std::string& kept) {
    m_console->err << "tavik: " << m_verb << ": what arrived is kept as " << kept
                   << "; the same command with --resume continues it\n";
}

void CTreeTransfer::note(const std::string& text) {
    if (!m_inv.quiet) {
        m_monitor->interrupt();
        m_console->err << text << '\n';
    }
}

void CTreeTransfer::done(uint64_t moved) {
    CDiskSession::noteActivity();
    finishItem(FileOutcome::Status::Done, moved, "", "");
}

// ---- Existing destinations and resuming ----

CTreeTransfer::Decision CTreeTransfer::decide(const std::string& destination, uint64_t sourceSize,
                                              uint64_t destinationSize) {
    m_monitor->interrupt();
    CConfirmPrompt& prompt = m_monitor->prompt();
    const int answer = prompt.answer(destination, sourceSize, destination, destinationSize);
    switch (answer) {
    case CConfirmPrompt::kAnew:
        return Decision::Anew;
    case CConfirmPrompt::kResume:
        return Decision::Resume;
    case CConfirmPrompt::kRefuse:
        return Decision::Refuse;
    default:
        return Decision::Skip;
    }
}

bool CTreeTransfer::sameBefore(const std::string& remoteAnsi, const fs::path& local, uint64_t pos,
                               const std::string& name) {
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(pos, kResumeCheckBytes));
    if (count == 0) {
        return true;
    }
    const std::vector<char> ours = readLocal(local, pos - count, count);
    // The remote block comes through one ranged download; the data hook keeps its bytes, and the
    // scratch file it is written to is thrown away.
    const char* base = std::getenv("TMPDIR");
    std::string scratch =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tavik-check-XXXXXX";
    const int fd = mkstemp(scratch.data());
    if (fd < 0) {
        fail(name, std::string("cannot create a scratch file to compare before resuming: ") +
                       std::strerror(errno));
        return false;
    }
    ::close(fd);
    std::vector<char> theirs;
    s_sink = &theirs;
    TAVIK_TRANSFER64 range{};
    range.pszSrcPath = remoteAnsi.c_str();
    range.pszDstPath = scratch.c_str();
    // Only the block is written, at its offset: the scratch file stays sparse before it.
    range.qwStartPos = pos - count;
    range.qwEndPos = pos;
    range.bTrunc = 1;
    range.pfnData = &collect;
    const bool read = tavik_Download64(m_session->handle(), &range, m_cancel) != 0;
    s_sink = nullptr;
    ::unlink(scratch.c_str());
    if (!read) {
        failFromLibrary(name);
        return false;
    }
    if (cancelled()) {
        return false;
    }
    if (ours.size() != count || theirs != ours) {
        fail(name, "the bytes before the resume point differ on the two sides; not resumed "
                   "(use --overwrite to transfer it anew)");
        return false;
    }
    return true;
}

// ---- Single-file transfers ----

bool CTreeTransfer::runDownload(const std::string& remoteAnsi, const std::string& localAnsi,
                                uint64_t start, uint64_t end, bool truncate,
                                const std::string& name, const std::string& localPath) {
    TAVIK_TRANSFER64 file{};
    file.pszSrcPath = remoteAnsi.c_str();
    file.pszDstPath = localAnsi.c_str();
    file.qwStartPos = start;
    file.qwEndPos = end;
    file.bTrunc = truncate ? 1 : 0;
    m_monitor->beginFile(CRemotePath::baseName(name));
    m_monitor->attach(file);
    const bool ok = tavik_Download64(m_session->handle(), &file, m_cancel) != 0;
    m_monitor->endFile();
    if (!ok && CDiskSession::lastErrorCode() == TAVIK_ERR_LOCAL_FILE) {
        fail("local file " + localPath, "cannot write it: " + localReason(localPath, true));
    } else if (!ok) {
        failFromLibrary(name);
    }
    return ok && !cancelled();
}

bool CTreeTransfer::runUpload(const std::string& localAnsi, const std::string& remoteAnsi,
                              uint64_t start, uint64_t end, bool truncate, const std::string& name,
                              const std::string& localPath, Commit* commit) {
    TAVIK_TRANSFER64 file{};
    file.pszSrcPath = localAnsi.c_str();
    file.pszDstPath = remoteAnsi.c_str();
    file.qwStartPos = start;
    file.qwEndPos = end;
    file.bTrunc = truncate ? 1 : 0;
    m_monitor->beginFile(fs::path(name).filename().string());
    m_monitor->attach(file);
    BOOL committed = 0;
    const bool ok =
        (commit == nullptr
             ? tavik_Upload64(m_session->handle(), &file, m_cancel)
             : tavik_UploadCommit64(m_session->handle(), &file, commit->finalAnsi.c_str(),
                                    commit->modified, commit->replace ? 1 : 0, &committed,
                                    m_cancel)) != 0;
    if (commit != nullptr) {
        commit->done = committed != 0;
    }
    m_monitor->endFile();
    if (!ok && CDiskSession::lastErrorCode() == TAVIK_ERR_LOCAL_FILE) {
        fail("local file " + localPath, "cannot read it: " + localReason(localPath, false));
    } else if (!ok) {
        failFromLibrary(name);
    }
    return ok && !cancelled();
}

// ---- Download ----

void CTreeTransfer::download(const std::string& remote, const fs::path& local) {
    const auto entry = m_session->stat(remote);
    if (!entry) {
        failFromLibrary(remoteSubject("file", remote));
        return;
    }
    downloadEntry(*entry, local);
}

void CTreeTransfer::downloadEntry(const RemoteEntry& entry, const fs::path& local) {
    if (!CAnsiPath::fromUtf8(entry.path)) {
        // A name the server sent with bytes the code page does not know: asking for it again
        // would name another file.
        fail(remoteSubject("file", entry.path),
             "the remote name has characters the code page cannot write back");
        return;
    }
    if (entry.folder) {
        downloadFolder(entry.path, local);
    } else {
        if (m_jobs != nullptr) {
            m_jobs->push_back(Job{false, entry, local, 0, {}});
        } else {
            downloadFile(entry, local);
        }
    }
}

void CTreeTransfer::downloadFolder(const std::string& remote, const fs::path& local) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(local, ec)) && !fs::is_directory(local, ec)) {
        fail(remoteSubject("folder", remote), local.string() + " exists and is not a folder");
        return;
    }
    if (!fs::is_directory(local, ec) && !fs::create_directory(local, ec)) {
        fail(localSubject("folder", local), "cannot create it: " + systemReason(ec));
        return;
    }
    const auto children = m_session->list(remote);
    if (!children) {
        failFromLibrary(remoteSubject("folder", remote) + " (listing)");
        return;
    }
    std::set<std::string> names; // local names already taken in this folder
    for (const RemoteEntry& child : *children) {
        if (cancelled()) {
            return;
        }
        const std::string name = CRemotePath::baseName(child.path);
        if (child.path.empty() || name.empty() || name == "." || name == ".." ||
            !CRemotePath::same(CRemotePath::parent(child.path), remote)) {
            fail(remoteSubject("folder", remote),
                 "the server listed an entry outside the folder: \"" + child.path + "\"");
            continue;
        }
        if (name.find('\\') != std::string::npos) {
            // The library reads a backslash in a local path as a separator: such a name would
            // land somewhere else, possibly outside the destination.
            fail(remoteSubject("file", child.path),
                 "the name holds a '\\', which a local path cannot keep");
            continue;
        }
        if (!names.insert(name).second) {
            fail(remoteSubject("file", child.path),
                 "another entry of the folder has the same local name");
            continue;
        }
        downloadEntry(child, local / name);
    }
}

void CTreeTransfer::downloadFile(const RemoteEntry& entry, const fs::path& given) {
    const fs::path local = throughLink(given);
    beginItem(m_session->shown(entry.path), local.string());
    const std::string name = remoteSubject("file", entry.path);
    // A server that agreed on 64-bit sizes reports the real size; one that did not, the clamp.
    if (entry.size == kClampedSize && !m_session->largeFiles()) {
        fail(name, "4 GiB or larger (the server reports 0xFFFFFFFF), which the 32-bit transfer "
                   "ranges cannot carry");
        return;
    }
    const auto remoteAnsi = CAnsiPath::fromUtf8(entry.path);
    const fs::path partial = partialName(local);
    const auto partialAnsi = CAnsiPath::fromUtf8(partial.string());
    if (!remoteAnsi || !partialAnsi || !CAnsiPath::fromUtf8(local.string())) {
        fail(name, "the local path " + local.string() +
                       " has characters the code page cannot "
                       "write");
        return;
    }
    std::error_code ec;
    if (fs::is_directory(local, ec)) {
        fail(name, local.string() + " is a folder");
        return;
    }
    if (isStream(local)) {
        // A device or a pipe (/dev/null, a FIFO) takes the bytes as they come: a temporary file
        // renamed over it would replace it with a plain file, and it has nothing to resume.
        if (runDownload(*remoteAnsi, CAnsiPath::fromUtf8(local.string()).value(), 0, entry.size,
                        true, name, local.string())) {
            done(entry.size);
        }
        return;
    }
    // What is already there: the complete target, and the temporary file of a cut download.
    const bool targetExists = fs::exists(fs::symlink_status(local, ec));
    const bool partialExists = fs::is_regular_file(partial, ec);
    Decision decision = Decision::Anew;
    if (targetExists) {
        decision = decide(local.string(), entry.size, fs::file_size(local, ec));
    } else if (partialExists && m_inv.existing == ExistingPolicy::Resume) {
        decision = Decision::Resume;
    }
    if (decision == Decision::Anew && partialExists && m_continueCut) {
        decision = Decision::Resume; // the temporary file, not the target: see below
    }
    if (decision == Decision::Skip) {
        note("skipped (exists): " + local.string());
        skip(local.string());
        return;
    }
    if (decision == Decision::Refuse) {
        fail(name, local.string() + " exists (use --overwrite, --resume or --skip-existing)");
        return;
    }
    uint64_t start = 0;
    // Resuming the user's own file: it is checked where it is, and takes the temporary name only
    // once its bytes are known to match, so that a refusal leaves it as it was.
    const bool continuesTarget = decision == Decision::Resume && targetExists && !partialExists;
    if (decision == Decision::Resume) {
        const fs::path& resumed = continuesTarget ? local : partial;
        start = fs::file_size(resumed, ec);
        if (ec || start > entry.size) {
            if (continuesTarget) {
                fail(name, local.string() + " is larger than its source; not resumed (use "
                                            "--overwrite to transfer it anew)");
                return;
            }
            note("larger than its source, transferred anew: " + local.string());
            start = 0;
        } else if (!sameBefore(*remoteAnsi, resumed, start, name)) {
            return;
        }
        if (continuesTarget) {
            fs::rename(local, partial, ec);
            if (ec) {
                fail(name, "cannot rename " + local.string() + ": " + systemReason(ec));
                return;
            }
        }
    }
    if (!runDownload(*remoteAnsi, *partialAnsi, start, entry.size, start == 0, name,
                     partial.string())) {
        if (continuesTarget) {
            // The user's file goes back to its name, with whatever arrived appended.
            fs::rename(partial, local, ec);
        } else if (!cancelled() && start == 0 && fs::file_size(partial, ec) == 0 && !ec) {
            // What arrived stays for --resume; an empty file the transfer only created does not.
            fs::remove(partial, ec);
        } else if (!cancelled()) {
            hintResume(partial.string());
        }
        return;
    }
    DWORD access = 0;
    DWORD written = 0;
    if (tavik_GetFileTime(CUtf8::toUtf16(entry.path).c_str(), &access, &written,
                          m_session->handle()) &&
        written != 0) {
        setLocalTime(partial, written);
    }
    fs::rename(partial, local, ec);
    if (ec) {
        fail(name, "cannot rename " + partial.string() + " to " + local.string() + ": " +
                       systemReason(ec));
        return;
    }
    done(entry.size - start);
}

// ---- Upload ----

void CTreeTransfer::upload(const fs::path& local, const std::string& remote) {
    std::error_code ec;
    m_treeRoot = fs::weakly_canonical(local, ec);
    uploadEntry(local, remote);
}

bool CTreeTransfer::linkAllowed(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    if (ec) {
        note("skipped (a link whose target is missing): " + link.string());
        return false;
    }
    if (fs::is_directory(target, ec)) {
        note("skipped (a link to a folder is not followed): " + link.string());
        return false;
    }
    const auto [rootEnd, targetAt] =
        std::mismatch(m_treeRoot.begin(), m_treeRoot.end(), target.begin(), target.end());
    if (rootEnd != m_treeRoot.end()) {
        note("skipped (a link leading out of the folder): " + link.string());
        return false;
    }
    return true;
}

void CTreeTransfer::uploadEntry(const fs::path& local, const std::string& remote) {
    std::error_code ec;
    const fs::file_status status = fs::status(local, ec);
    if (!fs::exists(status)) {
        fail(localSubject("path", local), "no such file or folder");
        return;
    }
    if (ec) {
        fail(localSubject("path", local), systemReason(ec));
        return;
    }
    if (!CAnsiPath::fromUtf8(local.string()) || !CAnsiPath::fromUtf8(remote)) {
        fail(localSubject("path", local), "the name has characters the code page cannot write");
        return;
    }
    if (local.filename().string().find('\\') != std::string::npos) {
        // The library would read the backslash as a separator and open another file.
        fail(localSubject("path", local),
             "the name holds a '\\', which the library reads as a separator");
        return;
    }
    if (fs::is_directory(status)) {
        uploadFolder(local, remote);
    } else if (fs::is_regular_file(status)) {
        const uint64_t size = fs::file_size(local, ec);
        if (m_jobs != nullptr) {
            m_jobs->push_back(Job{true, {}, local, size, remote});
        } else {
            uploadFile(local, size, remote);
        }
    } else {
        note("skipped (not a file or folder): " + local.string());
        skip(local.string());
    }
}

void CTreeTransfer::uploadFolder(const fs::path& local, const std::string& remote) {
    const auto existing = knownOrStat(remote);
    if (existing && !existing->folder) {
        fail(remoteSubject("path", remote), "exists and is not a folder");
        return;
    }
    if (!existing && CDiskSession::lastErrorCode() != TAVIK_ERR_NOT_EXIST) {
        failFromLibrary(remoteSubject("folder", remote));
        return;
    }
    if (!existing && !tavik_MakeFolder(CUtf8::toUtf16(remote).c_str(), m_session->handle())) {
        failFromLibrary(remoteSubject("folder", remote) + " (creating it)");
        return;
    }
    // What the folder holds, learnt once: each file's check for an existing destination (and
    // for a cut upload to continue) is then answered here instead of by a round trip of its own.
    if (!existing) {
        m_listed.insert(CRemotePath::normalize(remote)); // new, so empty
    } else if (const auto entries = m_session->list(remote)) {
        m_listed.insert(CRemotePath::normalize(remote));
        for (const RemoteEntry& entry : *entries) {
            m_known[CRemotePath::normalize(entry.path)] = entry;
        }
    }
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(local, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec) {
        fail(localSubject("folder", local), "cannot read it: " + systemReason(ec));
        return;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& child : entries) {
        if (cancelled()) {
            return;
        }
        if (child.is_symlink(ec) && !linkAllowed(child.path())) {
            skip(child.path().string());
            continue;
        }
        uploadEntry(child.path(), CRemotePath::join(remote, child.path().filename().string()));
    }
}

void CTreeTransfer::uploadFile(const fs::path& local, uint64_t size, const std::string& remote) {
    beginItem(m_sourceName.empty() ? local.string() : m_sourceName, m_session->shown(remote));
    const std::string name = localSubject("file", local);
    if (size >= kClampedSize && !m_session->largeFiles()) {
        fail(name, "larger than 4 GiB - 2 bytes (" + std::to_string(size) +
                       " bytes), which the 32-bit transfer ranges cannot carry");
        return;
    }
    const std::string target = remoteSubject("file", remote);
    const auto existing = knownOrStat(remote);
    if (existing && existing->folder) {
        fail(target, "is a folder");
        return;
    }
    if (!existing && CDiskSession::lastErrorCode() != TAVIK_ERR_NOT_EXIST) {
        failFromLibrary(target);
        return;
    }
    Decision decision = Decision::Anew;
    if (existing) {
        decision = decide(m_session->shown(remote), size, existing->size);
        if (decision == Decision::Skip) {
            note("skipped (exists): " + m_session->shown(remote));
            skip(local.string());
            return;
        }
        if (decision == Decision::Refuse) {
            fail(target, "exists (use --overwrite, --resume or --skip-existing)");
            return;
        }
    }
    if (decision == Decision::Resume) {
        // The user's own remote file, continued where it is: it was short before we came.
        resumeInPlace(local, size, remote, existing->size);
        return;
    }
    uploadViaPart(local, size, remote, existing.has_value());
}

void CTreeTransfer::resumeInPlace(const fs::path& local, uint64_t size, const std::string& remote,
                                  uint64_t remoteSize) {
    const std::string name = localSubject("file", local);
    const std::string localAnsi = *CAnsiPath::fromUtf8(local.string());
    const std::string remoteAnsi = *CAnsiPath::fromUtf8(remote);
    uint64_t start = remoteSize;
    if (start > size) {
        note("larger than its source, transferred anew: " + m_session->shown(remote));
        uploadViaPart(local, size, remote, true);
        return;
    }
    if (!sameBefore(remoteAnsi, local, start, remoteSubject("file", remote))) {
        return;
    }
    if (!runUpload(localAnsi, remoteAnsi, start, size, false, remoteSubject("file", remote),
                   local.string())) {
        return;
    }
    keepTime(local, remote);
    done(size - start);
}

void CTreeTransfer::uploadViaPart(const fs::path& local, uint64_t size, const std::string& remote,
                                  bool targetExists) {
    // The bytes go to a hidden name beside the target, which takes the target's name only when
    // the whole file is there: a cut upload never leaves a short file under the final name.
    const std::string part = partialRemoteName(remote);
    const std::string localAnsi = *CAnsiPath::fromUtf8(local.string());
    const auto partAnsi = CAnsiPath::fromUtf8(part);
    const std::string target = remoteSubject("file", remote);
    if (!partAnsi) {
        fail(target, "the name has characters the code page cannot write");
        return;
    }
    uint64_t start = 0;
    if (m_inv.existing == ExistingPolicy::Resume || m_continueCut) {
        // A cut upload of ours left its bytes under the hidden name: continue them.
        if (const auto kept = knownOrStat(part); kept && !kept->folder && kept->size <= size) {
            start = kept->size;
            if (!sameBefore(*partAnsi, local, start, target)) {
                return;
            }
        }
    }
    // A server that agreed gives the finished file its time and name within the upload itself;
    // with any other, the same two steps follow as requests of their own.
    Commit commit{*CAnsiPath::fromUtf8(remote), modifiedTime(local), targetExists};
    if (!runUpload(localAnsi, *partAnsi, start, size, start == 0, target, local.string(),
                   &commit)) {
        if (!cancelled()) {
            hintResume("remote file " + m_session->shown(part));
        }
        return;
    }
    if (!commit.done) {
        keepTime(local, part);
        if (!commitPart(part, remote, targetExists)) {
            return;
        }
    }
    done(size - start);
}

void CTreeTransfer::know(const std::string& folder, const std::vector<RemoteEntry>& entries) {
    m_listed.insert(CRemotePath::normalize(folder));
    for (const RemoteEntry& entry : entries) {
        m_known[CRemotePath::normalize(entry.path)] = entry;
    }
}

std::optional<RemoteEntry> CTreeTransfer::knownOrStat(const std::string& remote) {
    const std::string path = CRemotePath::normalize(remote);
    if (m_listed.count(CRemotePath::parent(path)) == 0) {
        return m_session->stat(path);
    }
    if (const auto found = m_known.find(path); found != m_known.end()) {
        return found->second;
    }
    tavik_SetLastError(TAVIK_ERR_NOT_EXIST); // as a lookup of it would have said
    return std::nullopt;
}

std::string CTreeTransfer::partialRemoteName(const std::string& remote) {
    return CRemotePath::join(CRemotePath::parent(remote),
                             "." + CRemotePath::baseName(remote) + ".tavik-part");
}

bool CTreeTransfer::renameRemote(const std::string& from, const std::string& to) const {
    return tavik_RenameFile(CUtf8::toUtf16(from).c_str(), CUtf8::toUtf16(to).c_str(),
                            m_session->handle()) != 0;
}

bool CTreeTransfer::commitPart(const std::string& part, const std::string& remote,
                               bool targetExists) {
    const std::string target = remoteSubject("file", remote);
    if (!targetExists) {
        if (renameRemote(part, remote)) {
            return true;
        }
        failFromLibrary(target + " (renaming the finished upload into place)");
        return false;
    }
    // The server's rename never replaces an entry: the old file steps aside first, and comes
    // back when the new one cannot take its place.
    const std::string aside = CRemotePath::join(CRemotePath::parent(remote),
                                                "." + CRemotePath::baseName(remote) + ".tavik-old");
    if (!renameRemote(remote, aside)) {
        failFromLibrary(target + " (moving the old file aside)");
        return false;
    }
    if (!renameRemote(part, remote)) {
        failFromLibrary(target + " (renaming the finished upload into place)");
        renameRemote(aside, remote);
        return false;
    }
    tavik_DeleteFile(CUtf8::toUtf16(aside).c_str(), 0, m_session->handle());
    return true;
}

DWORD CTreeTransfer::modifiedTime(const fs::path& local) {
    struct stat info {};
    return ::stat(local.c_str(), &info) == 0 ? static_cast<DWORD>(info.st_mtime) : 0;
}

void CTreeTransfer::keepTime(const fs::path& local, const std::string& remote) {
    struct stat info {};
    if (::stat(local.c_str(), &info) == 0) {
        tavik_SetFileTime(CUtf8::toUtf16(remote).c_str(), static_cast<DWORD>(info.st_atime),
                          static_cast<DWORD>(info.st_mtime), m_session->handle());
    }
}

} // namespace tavik::cli
