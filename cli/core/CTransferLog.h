// Keeps account of the files of one get or put. The recursive transfers report a folder as a
// whole: a file inside it that could not be transferred does not change their result. The log
// sees every file through the per-file confirmation (a file begins) and the progress reports
// (how far it got, and with which error), and counts a file as done only when its last report
// reached the end of its range without an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::cli {

class CTransferLog {
public:
    // A new file: its name for messages, its full size and whether it is transferred at all.
    void beginFile(std::string name, uint64_t size, bool skipped);
    // A progress report of the current file (absolute position, end of range, error so far).
    void progress(uint64_t pos, uint64_t endPos, uint32_t error);
    // Closes the current file's account.
    void finish();

    int transferred() const { return m_transferred; }
    int skipped() const { return m_skipped; }
    uint64_t bytes() const { return m_bytes; }
    // Files that began but did not reach their end (failed or cancelled), in order.
    const std::vector<std::string>& incomplete() const { return m_incomplete; }

private:
    struct Current {
        std::string name;
        uint64_t size = 0;
        bool skipped = false;
        bool reported = false;
        uint64_t firstPos = 0;
        uint64_t pos = 0;
        uint64_t endPos = 0;
        uint32_t error = 0;
    };

    bool m_open = false;
    Current m_current;
    int m_transferred = 0;
    int m_skipped = 0;
    uint64_t m_bytes = 0;
    std::vector<std::string> m_incomplete;
};

} // namespace tavik::cli
