#include "server/CConfigChanges.h"

namespace tavik::server {

std::vector<std::string> CConfigChanges::needingRestart(const CServerConfig& running,
                                                        const CServerConfig& fresh,
                                                        bool servicesRunning) {
    const ServiceConfig& was = running.service;
    const ServiceConfig& now = fresh.service;
    const struct {
        bool changed;
        const char* key;
    } checks[] = {
        {running.addresses != fresh.addresses, "[server] address"},
        {running.port != fresh.port, "[server] port"},
        {running.maxConnections != fresh.maxConnections, "[server] max_connections"},
        {running.logCommands != fresh.logCommands, "[server] log_commands"},
        {running.metricsAddress != fresh.metricsAddress, "[server] metrics_address"},
        {servicesRunning != now.enabled(), "[[account]] (the service servers run only with "
                                           "accounts at start)"},
        {servicesRunning && was.authPort != now.authPort, "[service] auth_port"},
        {servicesRunning && was.diskInfoPort != now.diskInfoPort, "[service] diskinfo_port"},
        {servicesRunning && was.maxConnections != now.maxConnections, "[service] max_connections"},
        {servicesRunning && was.maxPerAddress != now.maxPerAddress, "[service] max_per_address"},
        {servicesRunning && was.stateDatabase != now.stateDatabase, "[service] state_database"},
    };
    std::vector<std::string> keys;
    for (const auto& check : checks) {
        if (check.changed) {
            keys.emplace_back(check.key);
        }
    }
    return keys;
}

} // namespace tavik::server
