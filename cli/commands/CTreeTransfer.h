// get and put of files and whole folders, walked here over the library's single-file transfers
// (tavik_Download, tavik_Upload) so that every file's outcome is known and named:
// - every file that is not transferred is a failure with its name and the reason, whether its
//   listing, lookup, transfer or closing reply failed, or its name has no form in the ANSI code
//   page (or two names meet in one);
// - a download goes to a temporary name beside its target ("." NAME ".tavik-part") and takes
//   the target's name only when complete; --resume continues that temporary file;
// - an existing destination is overwritten, resumed or skipped only when the user said so
//   (--overwrite, --resume, --skip-existing, or the answer at a terminal); otherwise it fails;
// - resuming first compares the last block before the resume point on both sides (one ranged
//   read) and refuses when they differ;
// - transfers use 64-bit positions whenever the server agreed on them; with a server that did
//   not, sizes 32 bits cannot carry (the server's 0xFFFFFFFF clamp, local files over 4 GiB - 1)
//   are refused with the reason;
// - links inside an uploaded folder: a link to a folder is never followed, a link to a file is
//   uploaded only when its target lies inside the tree; the others are reported as skipped;
// - modification times travel with the files both ways.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/commands/CTransferMonitor.h"
#include "cli/core/CCommandLine.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace tavik::cli {

class CTreeTransfer {
public:
    // The largest size a transfer range can describe; the server reports it for anything larger.
    static constexpr uint32_t kClampedSize = 0xFFFFFFFF;
    // Bytes compared before a resume point.
    static constexpr uint32_t kResumeCheckBytes = 65536;

    CTreeTransfer(CDiskSession& session, CConsole& console, const Invocation& inv,
                  CTransferMonitor& monitor, int* cancel);

    // One top-level source each; the destinations are final names (not folders to go into).
    void download(const std::string& remote, const std::filesystem::path& local);
    void upload(const std::filesystem::path& local, const std::string& remote);

    int transferred() const { return m_transferred; }
    int skipped() const { return m_skipped; }
    int failed() const { return m_failed; }
    uint64_t bytes() const { return m_bytes; }
    bool cancelled() const;

    // The temporary name a download is written under.
    static std::filesystem::path partialName(const std::filesystem::path& target);

private:
    enum class Decision { Anew, Resume, Skip, Refuse };

    void downloadEntry(const RemoteEntry& entry, const std::filesystem::path& local);
    void downloadFolder(const std::string& remote, const std::filesystem::path& local);
    void downloadFile(const RemoteEntry& entry, const std::filesystem::path& local);
    void uploadEntry(const std::filesystem::path& local, const std::string& remote);
    void uploadFolder(const std::filesystem::path& local, const std::string& remote);
    void uploadFile(const std::filesystem::path& local, uint64_t size, const std::string& remote);
    // Whether a link met inside an uploaded folder is uploaded (as its target file).
    bool linkAllowed(const std::filesystem::path& link);

    Decision decide(const std::string& destination, uint64_t sourceSize, uint64_t destinationSize);
    // Whether the last block before pos is the same on both sides; prints the failure if not.
    bool sameBefore(const std::string& remoteAnsi, const std::filesystem::path& local, uint64_t pos,
                    const std::string& name);
    // One file's transfer; false (and the failure printed) unless it completed. name is what
    // messages call the file, localPath the local file (UTF-8).
    bool runDownload(const std::string& remoteAnsi, const std::string& localAnsi, uint64_t start,
                     uint64_t end, bool truncate, const std::string& name,
                     const std::string& localPath);
    bool runUpload(const std::string& localAnsi, const std::string& remoteAnsi, uint64_t start,
                   uint64_t end, bool truncate, const std::string& name,
                   const std::string& localPath);

    void fail(const std::string& name, const std::string& why);
    void failFromLibrary(const std::string& name);
    void note(const std::string& text);
    void done(uint64_t moved);

    CDiskSession& m_session;
    CConsole& m_console;
    const Invocation& m_inv;
    CTransferMonitor& m_monitor;
    int* m_cancel;
    const char* m_verb;
    std::filesystem::path m_treeRoot; // canonical top folder of the upload being walked
    int m_transferred = 0;
    int m_skipped = 0;
    int m_failed = 0;
    uint64_t m_bytes = 0;
};

} // namespace tavik::cli
