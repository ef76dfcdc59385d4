// One named set of connection settings from the configuration file ([NAME] table). Every field
// is optional: what a profile leaves out comes from the command line, the environment or the
// defaults. A profile never holds a password itself, only where to get one.
#pragma once

#include <optional>
#include <string>

namespace tavik::cli {

struct CProfile {
    std::string name;
    std::optional<std::string> server; // "host" or "host:port"
    std::optional<std::string> disk;
    std::optional<std::string> user;
    std::optional<std::string> passwordCommand; // run by /bin/sh; its first output line
    std::optional<std::string> passwordFile;    // its first line
    std::optional<int> timeoutMs;
    std::optional<bool> tls;
    std::optional<std::string> tlsFingerprint;
};

} // namespace tavik::cli
