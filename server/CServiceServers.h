// The two service servers of an installation, run beside the disk server in one process:
//
//   - the authentication/message server (node query and "auth" requests, service message
//     frames), on service.authPort;
//   - the disk-information server ("GetDiskInfo", scrambled binary form frames), on
//     service.diskInfoPort.
//
// They share one service store (accounts, session keys, recent logins, throttles; see
// CServiceStore): a disk list is given only for a login's ticket, or with the address rule for
// an account that logged in from the same client address within service.diskInfoWindowSeconds.
// With the shared store, replicas on other machines serve the same accounts and logins.
// stop() ends every connection of both and waits for them.
//
// reload() puts a re-read configuration (accounts, passwords, disk lists, time-outs) in place
// for connections accepted from then on; running ones keep the one they started with. The
// listeners' ports and limits and the state database stay as started.
//
// A connection's first whole frame is due within service.frameTimeoutMs of accepting it, and
// its login within service.loginTimeoutMs; until then it may be closed to make room for others.
// A disk-information client has no login: it asks and goes, so its connection stays under that
// deadline throughout.
#pragma once

#include "server/CAccountAuthenticator.h"
#include "server/CCommandLog.h"
#include "server/CDiskInfoResponder.h"
#include "server/CServerConfig.h"
#include "server/CServiceListener.h"
#include "server/CServiceStore.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tavik::server {

class CServiceServers {
public:
    // config must outlive the servers; it needs capabilityKey set.
    explicit CServiceServers(const CServerConfig& config);
    ~CServiceServers();
    CServiceServers(const CServiceServers&) = delete;
    CServiceServers& operator=(const CServiceServers&) = delete;

    // Opens the store, writes the configuration's accounts into it and starts both listeners;
    // false with error.
    bool start(std::string& error);
    void stop();
    uint16_t authPort() const { return auth_.port(); }
    uint16_t diskInfoPort() const { return diskInfo_.port(); }
    // The store, once started.
    CServiceStore* store() { return store_.get(); }
    // Thread-safe; needs start() to have succeeded.
    void reload(std::shared_ptr<const CServerConfig> config);

private:
    // One configuration and the authenticator over its accounts (which keeps their hashes).
    struct Generation {
        std::shared_ptr<const CServerConfig> config;
        std::unique_ptr<CAccountAuthenticator> authenticator;
    };

    std::shared_ptr<const Generation> current() const;
    std::shared_ptr<const Generation> makeGeneration(std::shared_ptr<const CServerConfig> config);
    void serveAuth(CServiceConnection& connection);
    void serveDiskInfo(CServiceConnection& connection);
    // One line for a disk-list query (level info), and its details at level debug.
    void logQuery(const std::string& peer, const CDiskInfoResponder::Query& query,
                  std::chrono::steady_clock::time_point started);

    const CServerConfig& config_;
    CCommandLog log_;
    std::unique_ptr<CServiceStore> store_;
    mutable std::mutex generationMutex_;
    std::shared_ptr<const Generation> generation_;
    std::atomic<uint64_t> nextNode_{1};
    CServiceListener auth_;
    CServiceListener diskInfo_;
};

} // namespace tavik::server
