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

} // namespace

void CCommandLog::command(std::string_view peer, std::string_view disk, std::string_view command,
                          std::string_view path, int32_t error, uint32_t elapsedMs) {
    if (!enabled_) {
        return;
    }
    std::string line = timestamp();
    line.append(" ").append(peer).append(" [").append(disk.empty() ? "-" : disk).append("] ");
    line.append(command.empty() ? "?" : command);
    if (!path.empty()) {
        line.append(" \"").append(path).append("\"");
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
    line.append(" ").append(peer).append(" ").append(text).append("\n");
    write(line);
}

void CCommandLog::write(const std::string& line) {
    std::lock_guard lock(logMutex());
    std::fputs(line.c_str(), stderr);
}

} // namespace tavik::server
