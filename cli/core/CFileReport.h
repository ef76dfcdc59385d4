// What get, put (and sync) say about each file and about the whole run:
// - plain: nothing per file, then one summary line on standard error
//   ("downloaded 3 file(s), 12 KiB, skipped 1, failed 1");
// - verbose (-v): also one line per file on standard error as it finishes;
// - JSON (--json): one object per file on standard output, one line each, then the summary
//   object {"summary":{...}}; nothing else goes to standard output.
// Errors themselves are printed by the transfer, on standard error, in every mode.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tavik::cli {

struct FileOutcome {
    enum class Status { Done, Skipped, Failed, Deleted };
    Status status = Status::Done;
    std::string source;      // as the user would type it: a local path, or a disk path
    std::string destination; // "" when it was not known yet
    uint64_t bytes = 0;      // moved in this run
    std::string error;       // for Failed
};

class CFileReport {
public:
    // Wire: each outcome encoded on `out` for another process to decode and record (parallel
    // workers report to the process that started them); no summary.
    enum class Mode { Plain, Verbose, Json, Wire };

    CFileReport(std::ostream& out, std::ostream& err, Mode mode, bool quiet)
        : m_out(out), m_err(err), m_mode(mode), m_quiet(quiet) {}

    void record(const FileOutcome& file);
    // verb: "downloaded", "uploaded", "synced".
    void summary(const std::string& verb);

    // Takes one whole encoded outcome from the front of buffer; nullopt while incomplete.
    static std::optional<FileOutcome> decode(std::string& buffer);

    int transferred() const { return m_transferred; }
    int skipped() const { return m_skipped; }
    int failed() const { return m_failed; }
    int deleted() const { return m_deleted; }
    uint64_t bytes() const { return m_bytes; }

private:
    std::ostream& m_out;
    std::ostream& m_err;
    Mode m_mode;
    bool m_quiet;
    int m_transferred = 0;
    int m_skipped = 0;
    int m_failed = 0;
    int m_deleted = 0;
    uint64_t m_bytes = 0;
};

} // namespace tavik::cli
