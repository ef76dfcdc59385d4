#include "server/CCommandLog.h"

#include "server/CDiskCapability.h"

#include <cstdio>
#include <ctime>

namespace tavik::server {

namespace {

// One lock for every log of the process: the disk server's and the service servers' lines
// share stderr.
std::mutex& streamMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The client's address without the port: every connection of one client shares it.
std::string_view addressOf(std::string_view peer) {
    const size_t colon = peer.rfind(':');
    return colon == std::string_view::npos ? peer : peer.substr(0, colon);
}

// Cuts at most kMaxTextBytes, never inside a UTF-8 sequence.
std::string cut(std::string text) {
    if (text.size() <= CCommandLog::kMaxTextBytes) {
        return text;
    }
    size_t end = CCommandLog::kMaxTextBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text + "...[cut]";
}

} // namespace

CCommandLog::~CCommandLog() {
    if (enabled_) {
        std::lock_guard lock(mutex_);
        writeSummaries(true);
    }
}

std::string CCommandLog::loggable(std::string_view text) {
    // Capabilities go first: a cut could leave part of a MAC that is no longer recognised.
    std::string out = cut(CDiskCapability::withoutMacs(text));
    // Control characters would let a client forge log lines.
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

void CCommandLog::command(const Command& in) {
    if (!enabled_ || !CLogOutput::enabled(CLogOutput::Level::Info)) {
        return;
    }
    const std::string shownCommand = in.command.empty() ? "?" : loggable(in.command);
    const std::string shownPath = loggable(in.path);
    const std::string shownAccount = loggable(in.account);
    std::string line = timestamp();
    line.append(" ").append(in.peer).append(" [").append(in.disk.empty() ? "-" : in.disk);
    line.append("] ").append(shownCommand);
    if (!in.path.empty()) {
        line.append(" \"").append(shownPath).append("\"");
    }
    line.append(" -> ").append(std::to_string(in.error));
    line.append(" (").append(std::to_string(in.elapsedMs)).append(" ms)\n");
    CLogOutput::Record record;
    record.level = CLogOutput::Level::Info;
    record.client = in.peer;
    record.disk = in.disk;
    record.account = shownAccount;
    record.command = shownCommand;
    record.path = shownPath;
    record.result = in.error;
    record.bytes = in.bytes;
    record.ms = in.elapsedMs;
    // Successful commands are the client's work and always written; failures can be repeated
    // at will.
    write(in.peer, line, in.error != 0, record);
}

void CCommandLog::event(std::string_view peer, std::string_view text, std::string_view account) {
    if (!enabled_ || !CLogOutput::enabled(CLogOutput::Level::Warning)) {
        return;
    }
    const std::string shown = loggable(text);
    const std::string shownAccount = loggable(account);
    std::string line = timestamp();
    line.append(" ").append(peer).append(" ").append(shown).append("\n");
    CLogOutput::Record record;
    record.level = CLogOutput::Level::Warning;
    record.client = peer;
    record.account = shownAccount;
    record.message = shown;
    write(peer, line, true, record);
}

void CCommandLog::debug(std::string_view peer, std::string_view disk, std::string_view account,
                        std::string_view text) {
    if (!debugEnabled()) {
        return;
    }
    const std::string shownAccount = loggable(account);
    std::string line = timestamp();
    line.append(" ").append(peer).append(" [").append(disk.empty() ? "-" : disk).append("] ");
    line.append("debug: ").append(text).append("\n");
    CLogOutput::Record record;
    record.level = CLogOutput::Level::Debug;
    record.client = peer;
    record.disk = disk;
    record.account = shownAccount;
    record.message = text;
    // A debug run is asked for on purpose: nothing is folded away.
    write(peer, line, false, record);
}

void CCommandLog::write(std::string_view peer, const std::string& line, bool foldable,
                        const CLogOutput::Record& record) {
    std::lock_guard lock(mutex_);
    writeSummaries(false);
    if (foldable && !fold_.admit(addressOf(peer), line, CLogFold::Clock::now())) {
        return;
    }
    std::lock_guard stream(streamMutex());
    CLogOutput::write(record, line);
}

void CCommandLog::writeSummaries(bool all) {
    for (const CLogFold::Summary& summary : fold_.due(CLogFold::Clock::now(), all)) {
        // The last folded line already carries its time and peer.
        std::string last = summary.lastText;
        if (!last.empty() && last.back() == '\n') {
            last.pop_back();
        }
        const std::string line =
            timestamp() + " " + summary.address + " " + std::to_string(summary.folded) +
            " more lines from this address in " + std::to_string(CLogFold::kInterval.count()) +
            " s not written; the last: " + last + "\n";
        const std::string message =
            line.substr(line.find(summary.address) + summary.address.size() + 1);
        CLogOutput::Record record;
        record.level = CLogOutput::Level::Warning;
        record.client = summary.address;
        record.message = message.substr(0, message.size() - 1);
        std::lock_guard stream(streamMutex());
        CLogOutput::write(record, line);
    }
}

} // namespace tavik::server
