// One line per command on stderr: time, peer, disk, command, path, result code, milliseconds.
// Lines from different connection threads never interleave. Commands are of level info, events
// of level warning, the details behind them (each request with its arguments, connections opened
// and closed) of level debug; CLogOutput decides which levels are written and in which form
// (plain, JSON, the journal). The account a line concerns goes only into the structured forms:
// the plain line stays as it always was.
//
// What a client sends is written only in part: every client text (paths, login ids, account
// names) is cut to kMaxTextBytes and marked "[cut]", the expiry and MAC of any capability disk id
// in it are left out (only its disk id is written), and control characters become "?". Events
// and failed commands of one client address are folded (CLogFold): a few per interval are
// written, the rest summed up in one line when the interval is over (or when the log ends).
#pragma once

#include "server/CLogFold.h"
#include "server/CLogOutput.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::server {

class CCommandLog {
public:
    static constexpr size_t kMaxTextBytes = 300;

    explicit CCommandLog(bool enabled) : enabled_(enabled) {}
    // Writes the summaries still held back.
    ~CCommandLog();
    CCommandLog(const CCommandLog&) = delete;
    CCommandLog& operator=(const CCommandLog&) = delete;

    // False with --quiet: callers then need not build the texts of a line at all.
    bool enabled() const { return enabled_; }

    // What one command line says. Texts the client chose are made printable here.
    struct Command {
        std::string_view peer = {};
        std::string_view disk = {};
        std::string_view account = {}; // "user@domain" the command concerns, or empty
        std::string_view command = {};
        std::string_view path = {};
        int32_t error = 0;
        uint32_t elapsedMs = 0;
        std::optional<uint64_t> bytes = {}; // what a transfer moved (none for other commands)
    };
    void command(const Command& line);
    // Connection-level events (accepted, dropped, malformed input, logins); account: the one a
    // login named, or empty.
    void event(std::string_view peer, std::string_view text, std::string_view account = {});
    // A detail for someone chasing a problem (level debug, never folded); text must already be
    // printable (see loggable). Callers ask debugEnabled() before building the text.
    void debug(std::string_view peer, std::string_view disk, std::string_view account,
               std::string_view text);
    bool debugEnabled() const { return enabled_ && CLogOutput::enabled(CLogOutput::Level::Debug); }

    // The form in which client text is written (see above).
    static std::string loggable(std::string_view text);

private:
    // Writes line unless it is folded away (foldable lines only), after any summaries due.
    void write(std::string_view peer, const std::string& line, bool foldable,
               const CLogOutput::Record& record);
    void writeSummaries(bool all);

    bool enabled_;
    std::mutex mutex_;
    CLogFold fold_;
};

} // namespace tavik::server
