// One client's connection: reads request packets, answers each one, runs the data phases, and
// ends on the client's close, an idle or stalled client, malformed input or a server stop. Bad
// input from this client closes this connection and nothing else. run() is the body of the
// connection's own thread; requestStop() may be called from any thread.
#pragma once

#include "server/CClientSession.h"
#include "server/CCommandHandlers.h"
#include "server/CCommandLog.h"
#include "server/CLoginThrottle.h"
#include "server/CServerConfig.h"
#include "server/CServerStats.h"
#include "server/CSocketStream.h"
#include "server/TransferPlan.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tavik {
class CPacket;
}

namespace tavik::server {

class CClientConnection {
public:
    // refuse: the server is full; the first request is answered with 22004 and the
    // connection closed.
    // peer is "address:port"; throttle is shared by all connections of the server. The
    // connection keeps config (the configuration it started with) for its whole life.
    CClientConnection(CSocketStream stream, std::string peer,
                      std::shared_ptr<const CServerConfig> config, CServerStats& stats,
                      CCommandLog& log, CLoginThrottle& throttle, bool refuse = false);

    void run();
    void requestStop();
    // Ends the connection once its running request (a whole transfer included) is answered;
    // one waiting for its next request is ended at once. Any thread.
    void requestDrain();
    bool finished() const { return finished_; }
    // Whether the client has logged in; any thread may ask.
    bool loggedIn() const { return loggedIn_; }
    // The client's address without the port.
    const std::string& address() const { return address_; }

private:
    // Marks a request as begun (begin) or the connection as waiting for one; false when a drain
    // was asked for, and the connection must end instead.
    bool beginRequest(bool begin);
    // Answers one request; false when the connection must close.
    bool serve(const CPacket& request);
    void refuseOne();
    // Serves TLS when the client opens with a handshake and the server has a certificate; false
    // (logged) when the connection must end: plain while TLS is required, or no handshake.
    bool startSecurity();
    // "setuser" under the login throttle: waits for its turn, then lets the handlers check it,
    // and counts a failure (22001, 22002) against the client's address and the disk.
    HandleResult login(CCommandHandlers& handlers, const CPacket& request, CPacket& reply);
    // The command's line (level info) and, at level debug, its arguments.
    void logCommand(const CPacket& request, bool keptOpen, int32_t error,
                    const std::optional<TransferPlan>& plan, uint32_t elapsedMs);
    // The debug line of the connection's end: requests served, TLS or plain, extras agreed.
    void logClosed();
    // The logged-in disk's id, or empty.
    std::string diskId() const;
    // Sleeps up to ms, in slices, so that a server stop is not held up; false when stopping.
    bool pause(int ms);
    // How long the next wait for a request may last: the idle time-out, or less while the
    // client has yet to log in; 0 once its time to log in is up.
    int nextWaitMs(std::chrono::steady_clock::time_point accepted) const;

    CSocketStream stream_;
    std::string peer_;
    std::string address_;
    std::shared_ptr<const CServerConfig> snapshot_;
    const CServerConfig& config_;
    CServerStats& stats_;
    CCommandLog& log_;
    CLoginThrottle& throttle_;
    CClientSession session_;
    // The accounts owning the logged-in disk, for the log (see CServerConfig::accountsOf).
    std::string account_;
    uint64_t requests_ = 0;
    bool refuse_;
    std::atomic<bool> stopping_{false};
    // Whether a request is being served, and whether a drain was asked for; under drainMutex_,
    // so that a drain never cuts a request that has begun.
    std::mutex drainMutex_;
    bool busy_ = false;
    bool draining_ = false;
    std::atomic<bool> finished_{false};
    std::atomic<bool> loggedIn_{false};
};

} // namespace tavik::server
