// Where and in which form the server's log lines go, for the whole process: the level below
// which lines are held back (log_level), and the form (log_format): plain lines on stderr, one
// JSON object per line on stderr, or the journal with structured fields when systemd started the
// server with its stderr connected to the journal (and log_format is not "json").
//
// Record texts must already be made printable (CCommandLog::loggable); json() also replaces
// bytes that are not UTF-8, so that every line stays one valid JSON object. configure() may be
// called again (a reload) while other threads write. Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::server {

class CLogOutput {
public:
    enum class Level { Error, Warning, Info, Debug };
    enum class Format { Text, Json };

    struct Record {
        Level level = Level::Info;
        std::string_view client;  // "address:port"
        std::string_view disk;    // disk id, or empty
        std::string_view account; // "user@domain", or empty
        std::string_view command;
        std::string_view path;
        std::optional<int32_t> result;
        std::optional<uint64_t> bytes;
        std::optional<uint32_t> ms;
        std::string_view message;
    };

    static std::optional<Level> parseLevel(std::string_view text);
    static std::optional<Format> parseFormat(std::string_view text);
    static void configure(Level level, Format format);
    // Whether lines of this level are written at all.
    static bool enabled(Level level);
    // Writes one record; textLine is its plain form (with its newline), used by Format::Text.
    // The caller holds the stream lock when needed (CCommandLog does).
    static void write(const Record& record, const std::string& textLine);
    // The JSON line of a record (with its newline); time as given.
    static std::string json(const Record& record, std::string_view time);
};

} // namespace tavik::server
