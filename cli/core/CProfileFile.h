// The configuration file of profiles: $XDG_CONFIG_HOME/tavik/config.toml (default
// ~/.config/tavik/config.toml), one TOML table per profile:
//
//   [work]
//   server = "files.example:9553"   # "host" or "host:port"
//   disk = "team"
//   user = "kim"
//   password_command = "pass show tavik/team"   # or password_file = "~/.tavik-team"
//   timeout = 60000                 # milliseconds
//   tls = true
//   tls_fingerprint = "AB:CD:..."
//
// tavik only reads this file; it never writes it (and so never writes a password into it).
// Unknown keys and wrong types are errors naming the profile and the key, so that a typo does
// not silently fall back to a default.
#pragma once

#include "cli/core/CProfile.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace tavik::cli {

class CProfileFile {
public:
    struct Loaded {
        std::map<std::string, CProfile> profiles; // by name
        std::string error;                        // set when the file exists and is wrong
    };

    // Where the file is, from the environment.
    static std::filesystem::path defaultPath();
    // A missing file is an empty set of profiles, not an error.
    static Loaded load(const std::filesystem::path& path);
    static Loaded parse(const std::string& text, const std::string& source);
    // "config show": the profile's keys in the file's own words, one "key = value" a line.
    static std::string describe(const CProfile& profile);
};

} // namespace tavik::cli
