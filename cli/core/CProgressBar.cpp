#include "cli/core/CProgressBar.h"

#include "cli/core/CUtf8.h"

#include <algorithm>
#include <cstdio>

namespace tavik::cli {

namespace {

constexpr uint32_t kRedrawIntervalMs = 250;
constexpr int kBarCells = 20;
constexpr size_t kMinNameColumns = 8;

std::string printf1(const char* format, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

CProgressBar::CProgressBar(std::ostream& out, int width) : m_out(out), m_width(width) {}

CProgressBar::~CProgressBar() {
    finish();
}

std::string CProgressBar::formatBytes(uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    // Switch to the next unit before rounding could show "1024".
    while (value >= 999.95 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    const char* format = value < 9.995 ? "%.2f " : (value < 99.95 ? "%.1f " : "%.0f ");
    return printf1(format, value) + units[unit];
}

std::string CProgressBar::formatRate(uint64_t bytes, uint32_t elapsedMs) {
    if (elapsedMs == 0) {
        return "-";
    }
    return formatBytes(bytes * 1000 / elapsedMs) + "/s";
}

std::string CProgressBar::formatDuration(uint64_t seconds) {
    char buffer[32];
    const uint64_t hours = seconds / 3600;
    const uint64_t minutes = seconds / 60 % 60;
    const uint64_t secs = seconds % 60;
    if (hours > 0) {
        std::snprintf(
            buffer, sizeof buffer, "%llu:%02llu:%02llu", static_cast<unsigned long long>(hours),
            static_cast<unsigned long long>(minutes), static_cast<unsigned long long>(secs));
    } else {
        std::snprintf(buffer, sizeof buffer, "%llu:%02llu",
                      static_cast<unsigned long long>(minutes),
                      static_cast<unsigned long long>(secs));
    }
    return buffer;
}

std::optional<uint64_t> CProgressBar::remainingSeconds(uint64_t moved, uint64_t left,
                                                       uint32_t elapsedMs) {
    if (moved == 0) {
        return std::nullopt;
    }
    // left / (moved / elapsed), rounded up to whole seconds so that "0:00" means done.
    const uint64_t ms = (left * elapsedMs + moved - 1) / moved;
    return (ms + 999) / 1000;
}

int CProgressBar::percent(const ProgressSample& sample) {
    if (sample.endPos == 0 || sample.pos >= sample.endPos) {
        return 100;
    }
    return static_cast<int>(sample.pos * 100 / sample.endPos);
}

std::string CProgressBar::line(const ProgressSample& sample, int width) {
    const uint64_t pos = std::min(sample.pos, sample.endPos);
    const uint64_t moved = pos > sample.startPos ? pos - sample.startPos : 0;
    const int done = percent(sample);

    std::string bar = "[";
    const int filled = done * kBarCells / 100;
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarCells - filled), '.');
    bar += "]";

    std::string left = "--:--";
    if (pos >= sample.endPos) {
        left = "0:00";
    } else if (auto seconds = remainingSeconds(moved, sample.endPos - pos, sample.elapsedMs)) {
        left = formatDuration(*seconds);
    }
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", done);
    const std::string numbers = std::string(pct) + "  " + formatBytes(pos) + " / " +
                                formatBytes(sample.endPos) + "  " +
                                formatRate(moved, sample.elapsedMs) + "  " + left + " left";

    // The name gets what the figures leave, but at least a few columns: on a narrow terminal
    // the bar goes first, then the name; the numbers are cut only when nothing else is left.
    const size_t columns = width > 1 ? static_cast<size_t>(width - 1) : 0;
    std::string figures = " " + bar + " " + numbers;
    if (columns < figures.size() + kMinNameColumns) {
        figures = " " + numbers;
    }
    if (columns < figures.size() + kMinNameColumns) {
        return numbers.substr(0, columns);
    }
    const size_t room = columns - figures.size();
    std::string name = sample.name;
    if (CUtf8::displayWidth(name) > room) {
        name = CUtf8::truncateToWidth(name, room - 3) + "...";
    }
    return name + figures;
}

void CProgressBar::update(const ProgressSample& sample) {
    if (m_last) {
        const bool sameFile = m_last->name == sample.name && m_last->endPos == sample.endPos;
        if (!sameFile) {
            finish();
        } else if (percent(*m_last) == percent(sample) && m_last->pos != sample.endPos &&
                   sample.pos != sample.endPos &&
                   sample.elapsedMs - m_last->elapsedMs < kRedrawIntervalMs) {
            return;
        } else if (m_last->pos == sample.pos && m_last->elapsedMs == sample.elapsedMs) {
            return;
        }
    }
    const std::string text = line(sample, m_width);
    // Clear to the end of the line: the previous text may have been longer.
    m_out << '\r' << text << "\x1b[K" << std::flush;
    m_drawn = true;
    m_last = sample;
}

void CProgressBar::finish() {
    if (m_drawn) {
        m_out << '\n' << std::flush;
    }
    m_drawn = false;
    m_last.reset();
}

} // namespace tavik::cli
