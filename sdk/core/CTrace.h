// Diagnostic tracing, configured by "tavik2.ini" (see CConfigFile.h) when the library is loaded:
//
//   TRACE_BL_LEVEL  highest level that passes (default -1: nothing passes)
//   TRACE_BL_LOG    file the lines are appended to; "%d" becomes the local date as yymmdd. At
//                   most 255 characters (longer values, also after the date replacement, are
//                   cut). It names a device path (see platform/LocalFileSystem.h) and receives
//                   ANSI text. Without it, lines go to standard error (UTF-8), the debugger
//                   output's stand-in.
//   TRACE_BL_KEY    when given, only these trace keys pass; pieces split at ':', ';', ',', '.'
//                   and ' ' (value at most 127 characters)
//   TRACE_BL_FLAG   pieces "line" (number each trace line) and "time" (stamp it with the local
//                   time), split like the key list
//
// A key absent from the file leaves its setting as it was.
//
// Layout of one trace line (line buffer of 512 characters, longer text is cut):
//   [#<line number, 5 digits> ][<hh:mm:ss.mmm> ]<key>(<level>): <text>\n
//
// Keys and levels the library uses:
//   "connect"  1  each TCP connect to a disk server, with its outcome
//   "login"    1  each "setuser" exchange: user, host and result
//   "transfer" 1  start and end of each bulk transfer
//   "command"  2  each request/reply round trip: "_cmd" and the reply's "error" or the failure
//   "packet"   3  each packet send or receive that failed, with its code
//
// Tracing costs nothing when it is off: TAVIK_TRACE checks the gate before its text argument is
// even evaluated, and the gate itself neither formats nor allocates.
//
// Threading: the settings are process-wide and written without a lock when the library is
// loaded, before any other call. Each thread assembles its lines in its own line buffer, and
// TraceFlush serialises appends to the log with one process-wide mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavik {

class CConfigFile;

class CTrace {
public:
    static constexpr size_t kLineCapacity = 512;
    static constexpr size_t kLogPathMax = 255;
    static constexpr size_t kValueMax = 127;

    static CTrace& instance();

    // Empties the calling thread's line buffer and reads the four keys from the file; does
    // nothing for a null path. A missing file changes nothing else.
    void LoadTraceSettings(const char* configPath);
    // The same from a file already read (tests and fuzzing use it directly).
    void ApplySettings(const CConfigFile& file, const std::tm& today);
    // Back to the defaults: level -1, no log path, no keys, no flags.
    void Reset();

    // False when the level is above the configured one; true when the key list is empty;
    // otherwise the key, with any '"' removed from both ends, must equal one entry exactly.
    bool TraceEnabled(int16_t level, std::u16string_view key) const {
        return level <= level_ && (keys_.empty() || keyListed(key));
    }
    // Appends to the calling thread's line buffer (cut at the buffer's capacity).
    void Append(std::u16string_view text);
    // Writes the calling thread's line buffer to the sink and empties it.
    void TraceFlush();
    // One whole line in the layout above, when the gate lets it pass. The narrow form takes ANSI
    // text.
    void Write(int16_t level, std::u16string_view key, std::u16string_view text);
    void Write(int16_t level, std::u16string_view key, std::string_view ansiText);

    int16_t level() const { return level_; }
    const std::u16string& logPath() const { return logPath_; }
    const std::vector<std::u16string>& keys() const { return keys_; }
    bool lineFlag() const { return lineFlag_; }
    bool timeFlag() const { return timeFlag_; }

    // Every "%d" replaced by the date as yymmdd, cut to kLogPathMax characters.
    static std::u16string ExpandDate(std::u16string_view value, const std::tm& date);
    // The pieces of a key or flag value.
    static std::vector<std::u16string> SplitList(std::u16string_view value);

private:
    CTrace() = default;
    bool keyListed(std::u16string_view key) const;
    void writeToSink(std::u16string_view line);

    int16_t level_ = -1;
    std::u16string logPath_;
    std::vector<std::u16string> keys_;
    bool lineFlag_ = false;
    bool timeFlag_ = false;
    uint32_t lineNumber_ = 0;
    std::mutex sinkLock_;
};

// The trace call of the library's code: `text` is evaluated only when the line will be written.
#define TAVIK_TRACE(level, key, text)                                                              \
    do {                                                                                           \
        if (::tavik::CTrace::instance().TraceEnabled((level), (key))) {                            \
            ::tavik::CTrace::instance().Write((level), (key), (text));                             \
        }                                                                                          \
    } while (0)

// The same as a function, for texts that are already at hand.
inline void trace(int16_t level, std::u16string_view key, std::string_view ansiText) {
    TAVIK_TRACE(level, key, ansiText);
}

} // namespace tavik
