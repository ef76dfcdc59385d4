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

} // namespace

CTreeTransfer::CTreeTransfer(CDiskSession& session, CConsole& console, const Invocation& inv,
                             CTransferMonitor& monitor, int* cancel)
    : m_session(session), m_console(console), m_inv(inv), m_monitor(monitor), m_cancel(cancel),
      m_verb(inv.command == "get" ? "get" : "put") {}

bool CTreeTransfer::cancelled() const {
    return m_cancel != nullptr && *m_cancel != 0;
}

fs::path CTreeTransfer::partialName(const fs::path& target) {
    return target.parent_path() / ("." + target.filename().string() + ".tavik-part");
}

void CTreeTransfer::fail(const std::string& name, const std::string& why) {
    m_monitor.interrupt();
    m_console.err << "tavik: " << m_verb << ' ' << name << ": " << why << '\n';
    ++m_failed;
}

void CTreeTransfer::failFromLibrary(const std::string& name) {
    m_monitor.interrupt();
    m_console.err << CDiskSession::failure(std::string(m_verb) + " " + name) << '\n';
    ++m_failed;
}

void CTreeTransfer::note(const std::string& text) {
    if (!m_inv.quiet) {
        m_monitor.interrupt();
        m_console.err << text << '\n';
    }
}

void CTreeTransfer::done(uint64_t moved) {
    CDiskSession::noteActivity();
    ++m_transferred;
    m_bytes += moved;
}

// ---- Existing destinations and resuming ----

CTreeTransfer::Decision CTreeTransfer::decide(const std::string& destination, uint64_t sourceSize,
                                              uint64_t destinationSize) {
    m_monitor.interrupt();
    CConfirmPrompt& prompt = m_monitor.prompt();
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
    const bool read = tavik_Download64(m_session.handle(), &range, m_cancel) != 0;
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
    m_monitor.beginFile(CRemotePath::baseName(name));
    m_monitor.attach(file);
    const bool ok = tavik_Download64(m_session.handle(), &file, m_cancel) != 0;
    m_monitor.endFile();
    if (!ok && CDiskSession::lastErrorCode() == TAVIK_ERR_LOCAL_FILE) {
        fail(name, "cannot write " + localPath + ": " + localReason(localPath, true));
    } else if (!ok) {
        failFromLibrary(name);
    }
    return ok && !cancelled();
}

bool CTreeTransfer::runUpload(const std::string& localAnsi, const std::string& remoteAnsi,
                              uint64_t start, uint64_t end, bool truncate, const std::string& name,
                              const std::string& localPath) {
    TAVIK_TRANSFER64 file{};
    file.pszSrcPath = localAnsi.c_str();
    file.pszDstPath = remoteAnsi.c_str();
    file.qwStartPos = start;
    file.qwEndPos = end;
    file.bTrunc = truncate ? 1 : 0;
    m_monitor.beginFile(fs::path(name).filename().string());
    m_monitor.attach(file);
    const bool ok = tavik_Upload64(m_session.handle(), &file, m_cancel) != 0;
    m_monitor.endFile();
    if (!ok && CDiskSession::lastErrorCode() == TAVIK_ERR_LOCAL_FILE) {
        fail(name, "cannot read " + localPath + ": " + localReason(localPath, false));
    } else if (!ok) {
        failFromLibrary(name);
    }
    return ok && !cancelled();
}

// ---- Download ----

void CTreeTransfer::download(const std::string& remote, const fs::path& local) {
    const auto entry = m_session.stat(remote);
    if (!entry) {
        failFromLibrary(remote);
        return;
    }
    downloadEntry(*entry, local);
}

void CTreeTransfer::downloadEntry(const RemoteEntry& entry, const fs::path& local) {
    if (!CAnsiPath::fromUtf8(entry.path)) {
        // A name the server sent with bytes the code page does not know: asking for it again
        // would name another file.
        fail(entry.path, "the remote name has characters the code page cannot write back");
        return;
    }
    if (entry.folder) {
        downloadFolder(entry.path, local);
    } else {
        downloadFile(entry, local);
    }
}

void CTreeTransfer::downloadFolder(const std::string& remote, const fs::path& local) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(local, ec)) && !fs::is_directory(local, ec)) {
        fail(remote, local.string() + " exists and is not a folder");
        return;
    }
    if (!fs::is_directory(local, ec) && !fs::create_directory(local, ec)) {
        fail(remote, "cannot create " + local.string() + ": " + systemReason(ec));
        return;
    }
    const auto children = m_session.list(remote);
    if (!children) {
        failFromLibrary(remote + " (listing)");
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
            fail(remote, "the server listed an entry outside the folder: \"" + child.path + "\"");
            continue;
        }
        if (name.find('\\') != std::string::npos) {
            // The library reads a backslash in a local path as a separator: such a name would
            // land somewhere else, possibly outside the destination.
            fail(child.path, "the name holds a '\\', which a local path cannot keep");
            continue;
        }
        if (!names.insert(name).second) {
            fail(child.path, "another entry of the folder has the same local name");
            continue;
        }
        downloadEntry(child, local / name);
    }
}

void CTreeTransfer::downloadFile(const RemoteEntry& entry, const fs::path& local) {
    const std::string& name = entry.path;
    // A server that agreed on 64-bit sizes reports the real size; one that did not, the clamp.
    if (entry.size == kClampedSize && !m_session.largeFiles()) {
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
    // What is already there: the complete target, and the temporary file of a cut download.
    const bool targetExists = fs::exists(fs::symlink_status(local, ec));
    const bool partialExists = fs::is_regular_file(partial, ec);
    Decision decision = Decision::Anew;
    if (targetExists) {
        decision = decide(local.string(), entry.size, fs::file_size(local, ec));
    } else if (partialExists && m_inv.existing == ExistingPolicy::Resume) {
        decision = Decision::Resume;
    }
    if (decision == Decision::Skip) {
        note("skipped (exists): " + local.string());
        ++m_skipped;
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
        }
        return;
    }
    DWORD access = 0;
    DWORD written = 0;
    if (tavik_GetFileTime(CUtf8::toUtf16(entry.path).c_str(), &access, &written,
                          m_session.handle()) &&
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
        fail(local.string(), "no such local file or folder");
        return;
    }
    if (ec) {
        fail(local.string(), systemReason(ec));
        return;
    }
    if (!CAnsiPath::fromUtf8(local.string()) || !CAnsiPath::fromUtf8(remote)) {
        fail(local.string(), "the name has characters the code page cannot write");
        return;
    }
    if (local.filename().string().find('\\') != std::string::npos) {
        // The library would read the backslash as a separator and open another file.
        fail(local.string(), "the name holds a '\\', which the library reads as a separator");
        return;
    }
    if (fs::is_directory(status)) {
        uploadFolder(local, remote);
    } else if (fs::is_regular_file(status)) {
        uploadFile(local, fs::file_size(local, ec), remote);
    } else {
        note("skipped (not a file or folder): " + local.string());
        ++m_skipped;
    }
}

void CTreeTransfer::uploadFolder(const fs::path& local, const std::string& remote) {
    const auto existing = m_session.stat(remote);
    if (existing && !existing->folder) {
        fail(local.string(), remote + " exists and is not a folder");
        return;
    }
    if (!existing && !tavik_MakeFolder(CUtf8::toUtf16(remote).c_str(), m_session.handle())) {
        failFromLibrary(local.string() + " (creating " + remote + ")");
        return;
    }
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(local, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec) {
        fail(local.string(), "cannot read the folder: " + systemReason(ec));
        return;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& child : entries) {
        if (cancelled()) {
            return;
        }
        if (child.is_symlink(ec) && !linkAllowed(child.path())) {
            ++m_skipped;
            continue;
        }
        uploadEntry(child.path(), CRemotePath::join(remote, child.path().filename().string()));
    }
}

void CTreeTransfer::uploadFile(const fs::path& local, uint64_t size, const std::string& remote) {
    const std::string name = local.string();
    if (size >= kClampedSize && !m_session.largeFiles()) {
        fail(name, "larger than 4 GiB - 2 bytes (" + std::to_string(size) +
                       " bytes), which the 32-bit transfer ranges cannot carry");
        return;
    }
    const std::string localAnsi = *CAnsiPath::fromUtf8(name);
    const std::string remoteAnsi = *CAnsiPath::fromUtf8(remote);
    Decision decision = Decision::Anew;
    const auto existing = m_session.stat(remote);
    if (existing && existing->folder) {
        fail(name, remote + " is a folder");
        return;
    }
    if (!existing && CDiskSession::lastErrorCode() / 1000 == 21) {
        failFromLibrary(name);
        return;
    }
    uint64_t start = 0;
    if (existing) {
        decision = decide(remote, size, existing->size);
        if (decision == Decision::Skip) {
            note("skipped (exists): " + remote);
            ++m_skipped;
            return;
        }
        if (decision == Decision::Refuse) {
            fail(name, remote + " exists (use --overwrite, --resume or --skip-existing)");
            return;
        }
        if (decision == Decision::Resume) {
            start = existing->size;
            if (start > size) {
                note("larger than its source, transferred anew: " + remote);
                start = 0;
            } else if (!sameBefore(remoteAnsi, local, start, name)) {
                return;
            }
        }
    }
    if (!runUpload(localAnsi, remoteAnsi, start, size, start == 0, name, name)) {
        return;
    }
    struct stat info {};
    if (::stat(local.c_str(), &info) == 0) {
        tavik_SetFileTime(CUtf8::toUtf16(remote).c_str(), static_cast<DWORD>(info.st_atime),
                          static_cast<DWORD>(info.st_mtime), m_session.handle());
    }
    done(size - start);
}

} // namespace tavik::cli
