// What a reload cannot apply to a running server: the settings its listeners were set up with.
// Everything else (disks, accounts and passwords, per-address and per-session limits, time-outs,
// commands, copy targets, the installation key) reaches new connections at once.
#pragma once

#include "server/CServerConfig.h"

#include <string>
#include <vector>

namespace tavik::server {

class CConfigChanges {
public:
    // The keys whose value differs between the running configuration and a re-read one, and
    // that keep their running value until a restart ("[server] port", ...). servicesRunning:
    // whether the service servers run (they start only with accounts at start).
    static std::vector<std::string>
    needingRestart(const CServerConfig& running, const CServerConfig& fresh, bool servicesRunning);
};

} // namespace tavik::server
