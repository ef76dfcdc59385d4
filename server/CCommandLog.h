// One line per command on stderr: time, peer, disk, command, path, result code, milliseconds.
// Lines from different connection threads never interleave.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::server {

class CCommandLog {
public:
    explicit CCommandLog(bool enabled) : enabled_(enabled) {}

    // False with --quiet: callers then need not build the texts of a line at all.
    bool enabled() const { return enabled_; }

    void command(std::string_view peer, std::string_view disk, std::string_view command,
                 std::string_view path, int32_t error, uint32_t elapsedMs);
    // Connection-level events (accepted, dropped, malformed input).
    void event(std::string_view peer, std::string_view text);

private:
    void write(const std::string& line);
    bool enabled_;
};

} // namespace tavik::server
