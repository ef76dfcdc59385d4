// What a --demo server adds to its one-folder configuration: the account "demo" in the
// explorer's domain, whose one disk is the demo disk, and a state folder of its own for the
// installation key and the session keys.
//
// The state folder lies outside the folder served (clients must not see or change it), under
// $XDG_STATE_HOME (default ~/.local/state), named after the served folder's canonical path:
// "tavik-server/demo-<hash>". So "tavik-server session-key demo@DOMAIN --demo DIR" reaches the
// same session-key store as the server running "--demo DIR", and keys it issues log in there.
// Nothing outlives a demo: the server removes the folder when it stops.
// Not thread-safe; used while the configuration is built.
#pragma once

#include "server/CServerConfig.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tavik::server {

class CDemoSetup {
public:
    // The explorer's built-in domain (TAVIK_DOMAIN overrides it).
    static std::string domain();
    // The state folder for a served folder (canonical path), created (mode 0700) when missing;
    // nullopt with error when it cannot be.
    static std::optional<std::filesystem::path> stateFolder(const std::filesystem::path& root,
                                                            std::string& error);
    // Adds the demo account (with passwordHash; empty: session keys only) for config's first
    // disk, and points the state database and the installation key into the state folder
    // (the key is made there on first use). False with error.
    static bool addAccount(CServerConfig& config, const std::string& passwordHash,
                           std::string& error);
    // Removes the state folder addAccount() chose (when it is one).
    static void removeState(const CServerConfig& config);
};

} // namespace tavik::server
