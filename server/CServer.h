// The listener: accepts connections on the configured address and serves each one on a thread
// of its own, up to the configured number of connections. When all are taken, a connection that
// has not logged in is closed to make room (the oldest of the address holding the most of them);
// only when every one has logged in is the newcomer refused. A few refused connections, over
// either cap or the per-address one, are answered with 22004 ("session limit error") to their
// first request and closed; any further ones are closed at once. stop() closes the listener,
// wakes every connection and waits for all threads. Starting a server makes the process ignore
// SIGPIPE: a client that goes away mid-transfer must end its connection, not the process.
//
// File descriptors: start() raises the process's soft limit to the hard one, and one budget
// holds every listener of the process: when the service servers are configured, their
// connections (one descriptor each, both servers) are counted first, lowered when needed to
// what the disk server leaves or to half the budget; then, when what is left cannot hold
// max_connections connections with max_open_files files each, the number of disk connections
// is lowered to what fits. Both are said in warnings(); the service servers must take their
// max_connections from config() to keep to their share. When accept() still runs out of
// descriptors, the listener pauses briefly instead of spinning on a connection it cannot take.
#pragma once

#include "server/CClientConnection.h"
#include "server/CCommandLog.h"
#include "server/CConfigSnapshot.h"
#include "server/CConnectionThreads.h"
#include "server/CListeningSocket.h"
#include "server/CLoginThrottle.h"
#include "server/CServerConfig.h"
#include "server/CServerStats.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tavik::server {

class CServer {
public:
    explicit CServer(CServerConfig config);
    ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Binds and starts accepting; false with a description in error when it cannot listen.
    bool start(std::string& error);
    // The port actually bound (useful with port 0).
    uint16_t port() const { return listening_.port(); }
    // The addresses listened on (the configured ones, less a missing IPv6 loopback).
    const std::vector<std::string>& addresses() const { return listening_.addresses(); }
    // Idempotent; waits for every connection thread.
    void stop();
    // The graceful stop's first step: closes the listener and asks every connection to end
    // after its running request (CClientConnection::requestDrain). Idempotent.
    void stopAccepting();
    // Connections still running (joins those that ended).
    size_t running() { return connections_.reap(); }

    // The configuration the server started with (after start(): with the descriptor budget's
    // adjustments).
    const CServerConfig& config() const { return config_; }
    // Puts a re-read configuration in place for connections accepted from now on; running ones
    // keep theirs. What the listener was set up with (addresses, port, max_connections, which
    // the descriptor budget fixed) stays as it was started. Thread-safe.
    void reload(CServerConfig fresh);
    // The configuration new connections get.
    std::shared_ptr<const CServerConfig> current() const { return snapshot_.current(); }
    // What start() had to adjust (the connection cap, to fit the descriptor limit).
    const std::vector<std::string>& warnings() const { return warnings_; }
    // Descriptors one connection may need: its socket, its files, a copy's connection, the
    // disk's root and those a request holds while it runs.
    static int descriptorsPerConnection(const CServerConfig& config);
    CServerStats& stats() { return stats_; }
    CLoginThrottle& loginThrottle() { return throttle_; }

private:
    static constexpr size_t kRefusalSlots = 8;

    void acceptLoop();
    // False when accept() ran out of descriptors.
    bool acceptOne();
    void fitDescriptorLimit();
    // A warning for each address beyond loopback served without TLS.
    void warnIfExposed();
    // Lowers the service servers' connections to their share of available descriptors; returns
    // the descriptors they may now hold.
    int64_t fitServiceConnections(int64_t available);

    CServerConfig config_;
    CConfigSnapshot snapshot_;
    CServerStats stats_;
    CCommandLog log_;
    CLoginThrottle throttle_;
    CListeningSocket listening_;
    std::thread acceptThread_;
    CConnectionThreads connections_;
    bool stopped_ = false;
    std::vector<std::string> warnings_;
};

} // namespace tavik::server
