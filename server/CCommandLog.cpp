#include "server/CCommandLog.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace tavik::server {

namespace {

std::mutex& logMutex() {
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

// Client text goes into the log: control characters would let a client forge log lines.
std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

} // namespace

void CCommandLog::command(std::string_view peer, std::string_view disk, std::string_view command,
                          std::string_view path, int32_t error, uint32_t elapsedMs) {
    if (!enabled_) {
        return;
    }
    std::string line = timestamp();
    line.append(" ").append(peer).append(" [").append(disk.empty() ? "-" : disk).append("] ");
    line.append(command.empty() ? "?" : printable(command));
    if (!path.empty()) {
        line.append(" \"").append(printable(path)).append("\"");
    }
    line.append(" -> ").append(std::to_string(error));
    line.append(" (").append(std::to_string(elapsedMs)).append(" ms)\n");
    write(line);
}

void CCommandLog::event(std::string_view peer, std::string_view text) {
    if (!enabled_) {
        return;
    }
    std::string line = timestamp();
    // Events quote client text (login ids, account names): a line break in it must not forge a
    // log line of its own.
    line.append(" ").append(peer).append(" ").append(printable(text)).append("\n");
    write(line);
}

void CCommandLog::write(const std::string& line) {
    std::lock_guard lock(logMutex());
    std::fputs(line.c_str(), stderr);
}

} // namespace tavik::server
