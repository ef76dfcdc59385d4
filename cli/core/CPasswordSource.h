// Where a password comes from besides the command line: the first line of a file, or the first
// line a command prints (run by /bin/sh, as in "pass show tavik/team"). The password is only
// held in memory; nothing here writes it anywhere.
#pragma once

#include <optional>
#include <string>

namespace tavik::cli {

class CPasswordSource {
public:
    // nullopt with *why (naming the file and the system's reason) when it cannot be read. A
    // leading "~/" is the home folder.
    static std::optional<std::string> fromFile(const std::string& path, std::string* why);
    // nullopt with *why when the command cannot run or ends with a status other than 0.
    static std::optional<std::string> fromCommand(const std::string& command, std::string* why);
};

} // namespace tavik::cli
