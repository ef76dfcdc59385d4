// The one-line progress display of a transfer: name, bar, percent, bytes, speed and remaining
// time, redrawn in place with a carriage return. The texts are built by pure functions so that
// they can be checked without a terminal; the bar itself only decides when to redraw.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tavik::cli {

// One observation of a running transfer. Positions are absolute in the file: a resumed
// transfer starts at startPos > 0, and its speed counts only the bytes moved by this run.
struct ProgressSample {
    std::string name; // UTF-8, shown as given
    uint64_t startPos = 0;
    uint64_t pos = 0;
    uint64_t endPos = 0;
    uint32_t elapsedMs = 0;
};

class CProgressBar {
public:
    // width: the terminal's columns; the line never takes more than width - 1 of them, so that
    // the cursor never wraps.
    CProgressBar(std::ostream& out, int width);

    // Draws the sample when it differs visibly from the last one drawn (another file, another
    // percent, or at least a quarter second later). A sample of another file first ends the
    // line of the previous one.
    void update(const ProgressSample& sample);
    // Ends the current line, if one is drawn, so that the next output starts on a fresh line.
    void finish();
    ~CProgressBar();

    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    // "0 B", "1023 B", "1.0 KiB", "12.3 MiB", "2.00 GiB": three significant digits from KiB up.
    static std::string formatBytes(uint64_t bytes);
    // Bytes moved per second, as formatBytes + "/s"; "-" when no time has passed yet.
    static std::string formatRate(uint64_t bytes, uint32_t elapsedMs);
    // "0:07", "12:34", "1:02:03".
    static std::string formatDuration(uint64_t seconds);
    // Seconds left at the average rate so far; nullopt while nothing has moved.
    static std::optional<uint64_t> remainingSeconds(uint64_t moved, uint64_t left,
                                                    uint32_t elapsedMs);
    // Whole percent of the range done (100 for an empty range).
    static int percent(const ProgressSample& sample);
    // The complete line for a terminal of `width` columns, without any control character.
    static std::string line(const ProgressSample& sample, int width);

private:
    std::ostream& m_out;
    int m_width;
    bool m_drawn = false;
    std::optional<ProgressSample> m_last;
};

} // namespace tavik::cli
