#include "sdk/core/CTrace.h"

#include "platform/AnsiCodePage.h"
#include "platform/LocalFileSystem.h"
#include "platform/Utf8.h"
#include "sdk/core/CConfigFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace tavik {

namespace {

// Each thread assembles its own line, so concurrent traces never mix their text.
struct LineBuffer {
    std::array<char16_t, CTrace::kLineCapacity> chars{};
    size_t length = 0;
};
thread_local LineBuffer lineBuffer;

std::atomic<uint32_t> lineCounter{0};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::u16string asciiText(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

std::u16string cut(std::u16string_view value, size_t max) {
    return std::u16string(value.substr(0, std::min(value.size(), max)));
}

std::tm localToday() {
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    return today;
}

} // namespace

CTrace& CTrace::instance() {
    static CTrace trace;
    return trace;
}

void CTrace::LoadTraceSettings(const char* configPath) {
    if (configPath == nullptr) {
        return;
    }
    lineBuffer.length = 0;
    CConfigFile file;
    if (file.Load(configPath)) {
        ApplySettings(file, localToday());
    }
}

void CTrace::ApplySettings(const CConfigFile& file, const std::tm& today) {
    lineBuffer.length = 0;
    if (std::optional<std::u16string> level = file.Find(u"TRACE_BL_LEVEL")) {
        // Kept as a 16-bit level; a number beyond that range means "everything" or "nothing"
        // rather than wrapping round to an unrelated level.
        level_ =
            static_cast<int16_t>(std::clamp<int32_t>(ParseDecimal(*level), INT16_MIN, INT16_MAX));
    }
    if (std::optional<std::u16string> log = file.Find(u"TRACE_BL_LOG")) {
        logPath_ = ExpandDate(cut(*log, kLogPathMax), today);
    }
    if (std::optional<std::u16string> keys = file.Find(u"TRACE_BL_KEY")) {
        keys_ = SplitList(cut(*keys, kValueMax));
    }
    if (std::optional<std::u16string> flags = file.Find(u"TRACE_BL_FLAG")) {
        lineFlag_ = false;
        timeFlag_ = false;
        for (const std::u16string& piece : SplitList(cut(*flags, kValueMax))) {
            lineFlag_ = lineFlag_ || piece == u"line";
            timeFlag_ = timeFlag_ || piece == u"time";
        }
    }
}

void CTrace::Reset() {
    level_ = -1;
    logPath_.clear();
    keys_.clear();
    lineFlag_ = false;
    timeFlag_ = false;
    lineBuffer.length = 0;
}

std::u16string CTrace::ExpandDate(std::u16string_view value, const std::tm& date) {
    char digits[48];
    std::snprintf(digits, sizeof digits, "%.2d%.2d%.2d", (date.tm_year + 1900) % 100,
                  date.tm_mon + 1, date.tm_mday);
    std::u16string stamp = asciiText(digits);
    std::u16string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == u'%' && i + 1 < value.size() && value[i + 1] == u'd') {
            out += stamp;
            ++i;
        } else {
            out += value[i];
        }
    }
    return cut(out, kLogPathMax);
}

std::vector<std::u16string> CTrace::SplitList(std::u16string_view value) {
    std::vector<std::u16string> pieces;
    size_t at = 0;
    while (at < value.size()) {
        size_t end = value.find_first_of(u":;,. ", at);
        if (end == std::u16string_view::npos) {
            end = value.size();
        }
        if (end > at) {
            pieces.emplace_back(value.substr(at, end - at));
        }
        at = end + 1;
    }
    return pieces;
}

bool CTrace::keyListed(std::u16string_view key) const {
    while (!key.empty() && key.front() == u'"') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == u'"') {
        key.remove_suffix(1);
    }
    for (const std::u16string& entry : keys_) {
        if (entry == key) {
            return true;
        }
    }
    return false;
}

void CTrace::Append(std::u16string_view text) {
    size_t room = kLineCapacity - lineBuffer.length;
    size_t count = std::min(room, text.size());
    text.copy(lineBuffer.chars.data() + lineBuffer.length, count);
    lineBuffer.length += count;
}

void CTrace::Write(int16_t level, std::u16string_view key, std::u16string_view text) {
    if (!TraceEnabled(level, key)) {
        return;
    }
    char prefix[64];
    if (lineFlag_) {
        std::snprintf(prefix, sizeof prefix, "#%05u ", static_cast<unsigned>(++lineCounter));
        Append(asciiText(prefix));
    }
    if (timeFlag_) {
        auto now = std::chrono::system_clock::now();
        std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
        std::tm local{};
        localtime_r(&seconds, &local);
        std::snprintf(prefix, sizeof prefix, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min,
                      local.tm_sec, static_cast<int>(ms.count() % 1000));
        Append(asciiText(prefix));
    }
    Append(key);
    std::snprintf(prefix, sizeof prefix, "(%d): ", level);
    Append(asciiText(prefix));
    Append(text);
    // A cut line still ends with its line break.
    if (lineBuffer.length == kLineCapacity) {
        lineBuffer.length = kLineCapacity - 1;
    }
    Append(u"\n");
    TraceFlush();
}

void CTrace::Write(int16_t level, std::u16string_view key, std::string_view ansiText) {
    if (TraceEnabled(level, key)) {
        Write(level, key, std::u16string_view(platform::fromAnsi(ansiText)));
    }
}

void CTrace::TraceFlush() {
    std::u16string_view line(lineBuffer.chars.data(), lineBuffer.length);
    writeToSink(line);
    lineBuffer.length = 0;
}

void CTrace::writeToSink(std::u16string_view line) {
    if (line.empty()) {
        return;
    }
    std::lock_guard<std::mutex> hold(sinkLock_);
    if (logPath_.empty()) {
        std::string text = platform::utf8FromUtf16(line);
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    // A log that cannot be opened loses the line; tracing never fails an operation.
    std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(platform::hostPath(logPath_).c_str(), "ab"));
    if (file) {
        std::string text = platform::toAnsi(line);
        std::fwrite(text.data(), 1, text.size(), file.get());
    }
}

} // namespace tavik
