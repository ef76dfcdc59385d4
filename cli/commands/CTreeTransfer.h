// get and put of files and whole folders, walked here over the library's single-file transfers
// (tavik_Download64, tavik_Upload64) so that every file's outcome is known and named:
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
// - modification times travel with the files both ways;
// - an upload's last steps (its time, then the rename into place) are asked of a server that
//   agreed on upload commits within the upload request itself; with any other server they
//   follow as requests of their own.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/commands/CDiskSession.h"
#include "cli/commands/CTransferMonitor.h"
#include "cli/core/CCommandLine.h"
#include "cli/core/CFileReport.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
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

    // Every file's outcome goes to report, which counts them.
    CTreeTransfer(CDiskSession& session, CConsole& console, const Invocation& inv,
                  CTransferMonitor& monitor, CFileReport& report, int* cancel);
    // What reports call the next upload's source (standard input's spool file is "-").
    void nameSource(std::string name) { m_sourceName = std::move(name); }

    // One top-level source each; the destinations are final names (not folders to go into).
    void download(const std::string& remote, const std::filesystem::path& local);
    void upload(const std::filesystem::path& local, const std::string& remote);

    bool cancelled() const;

    // One file's transfer, found by walking the sources while collecting (see collectInto).
    struct Job {
        bool upload = false;
        RemoteEntry entry;           // download: the remote file
        std::filesystem::path local; // download: the target; upload: the source
        uint64_t size = 0;           // upload: the source's size
        std::string remote;          // upload: the target
    };
    // While set, download() and upload() make folders and check sources as usual, but leave
    // each file's transfer in *jobs for runJob (run by parallel workers) instead of doing it.
    void collectInto(std::vector<Job>* jobs) { m_jobs = jobs; }
    void runJob(const Job& job);
    // What a remote folder holds, learnt elsewhere (sync's own listing): lookups of its entries
    // are answered from it.
    void know(const std::string& folder, const std::vector<RemoteEntry>& entries);
    // Whatever the policy, the temporary file a cut transfer left is continued (sync).
    void continueCutTransfers() { m_continueCut = true; }
    // A parallel worker's own session, console and report, in place of the ones given first.
    void rebind(CDiskSession& session, CConsole& console, CTransferMonitor& monitor,
                CFileReport& report);

    // The temporary name a download is written under.
    static std::filesystem::path partialName(const std::filesystem::path& target);
    // The hidden name an upload is written under, in the target's folder.
    static std::string partialRemoteName(const std::string& remote);

private:
    enum class Decision { Anew, Resume, Skip, Refuse };

    void downloadEntry(const RemoteEntry& entry, const std::filesystem::path& local);
    void downloadFolder(const std::string& remote, const std::filesystem::path& local);
    // A link is written through; a device or FIFO is written into as it is, never replaced.
    void downloadFile(const RemoteEntry& entry, const std::filesystem::path& local);
    void uploadEntry(const std::filesystem::path& local, const std::string& remote);
    void uploadFolder(const std::filesystem::path& local, const std::string& remote);
    void uploadFile(const std::filesystem::path& local, uint64_t size, const std::string& remote);
    // --resume of an existing remote file: appended to where it is.
    void resumeInPlace(const std::filesystem::path& local, uint64_t size, const std::string& remote,
                       uint64_t remoteSize);
    // Everything else: to the hidden name beside the target, then renamed into place.
    void uploadViaPart(const std::filesystem::path& local, uint64_t size, const std::string& remote,
                       bool targetExists);
    // The hidden file takes the target's name; an existing target is replaced.
    bool commitPart(const std::string& part, const std::string& remote, bool targetExists);
    bool renameRemote(const std::string& from, const std::string& to) const;
    // A remote entry: from the listing of its folder when this run has one, else asked for.
    // Without it, the library's last error says why (23006 for "not there").
    std::optional<RemoteEntry> knownOrStat(const std::string& remote);
    void keepTime(const std::filesystem::path& local, const std::string& remote);
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
    // What a finished upload becomes: its final name (ANSI), modification time and whether it
    // replaces a file there; done tells whether the server did it within the upload.
    struct Commit {
        std::string finalAnsi;
        DWORD modified = 0;
        bool replace = false;
        bool done = false; // set by runUpload
    };
    // commit: asked of a server that agreed on upload commits (null: a plain upload).
    bool runUpload(const std::string& localAnsi, const std::string& remoteAnsi, uint64_t start,
                   uint64_t end, bool truncate, const std::string& name,
                   const std::string& localPath, Commit* commit = nullptr);
    static DWORD modifiedTime(const std::filesystem::path& local);

    void fail(const std::string& name, const std::string& why);
    void failFromLibrary(const std::string& name);
    void note(const std::string& text);
    // The file whose outcome comes next, and its outcome (a failure outside any file is
    // reported under subject).
    void beginItem(std::string source, std::string destination);
    void finishItem(FileOutcome::Status status, uint64_t bytes, const std::string& subject,
                    const std::string& error);
    void skip(const std::string& subject);
    // Tells where a cut transfer's bytes are and that --resume continues them.
    void hintResume(const std::string& kept);
    // Message subjects: "remote file /a/b.txt" (from the disk's root), "local folder /tmp/x".
    std::string remoteSubject(const char* kind, const std::string& fullPath) const;
    static std::string localSubject(const char* kind, const std::filesystem::path& path);
    void done(uint64_t moved);

    CDiskSession* m_session;
    CConsole* m_console;
    const Invocation& m_inv;
    CTransferMonitor* m_monitor;
    CFileReport* m_report;
    int* m_cancel;
    const char* m_verb;
    std::filesystem::path m_treeRoot; // canonical top folder of the upload being walked
    FileOutcome m_item;
    bool m_inItem = false;
    std::string m_sourceName;
    std::vector<Job>* m_jobs = nullptr;
    bool m_continueCut = false;
    std::set<std::string> m_listed;             // remote folders whose entries are known
    std::map<std::string, RemoteEntry> m_known; // those entries, by full path
};

} // namespace tavik::cli
