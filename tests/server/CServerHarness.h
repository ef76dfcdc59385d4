// A tavik-server running in the test process on a free loopback port, serving a fresh
// temporary folder as the disk "demo", and a minimal client that speaks packets to it.
#pragma once

#include "server/CServer.h"
#include "server/CSocketStream.h"
#include "tests/support/CTempFolder.h"

#include "sdk/core/CPacket.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavik::test {

class CServerHarness {
public:
    // tweak may change the configuration (limits, quota, password) before the server starts.
    explicit CServerHarness(const std::function<void(server::CServerConfig&)>& tweak = {},
                            const std::string& address = "127.0.0.1");
    ~CServerHarness();

    bool running() const { return running_; }
    uint16_t port() const { return server_->port(); }
    server::CServer& server() { return *server_; }
    // Host path of an entry of the disk ("" for its root).
    std::string disk(const std::string& relative = "") const;
    const std::string& address() const { return address_; }
    // Stops the server (dropping every connection) and starts a new one on the same port.
    bool restart();

private:
    CTempFolder folder_;
    std::string address_;
    std::optional<server::CServerConfig> config_;
    std::unique_ptr<server::CServer> server_;
    bool running_ = false;
};

class CTestClient {
public:
    static constexpr int kTimeoutMs = 20000;
    // Transport failure marker of call().
    static constexpr int32_t kNoReply = -99999;

    bool connect(uint16_t port, const std::string& host = "127.0.0.1");
    // Connects to 127.0.0.1:port from the loopback address source ("127.0.5.1").
    bool connectFrom(uint16_t port, const std::string& source);
    // A request packet with "_cmd" set, scrambled binary like the library's.
    static std::unique_ptr<CPacket> request(const char* command);
    // Sends the request, reads one reply; the reply's "error", or kNoReply.
    int32_t call(CPacket& request, CPacket& reply);
    // Shorthand when only the error matters.
    int32_t call(CPacket& request);
    int32_t login(const std::string& id = "demo", const std::string& pass = "");
    bool sendRaw(const std::string& bytes);
    // Receives exactly count raw bytes.
    bool recvRaw(std::string& bytes, size_t count);
    bool receive(CPacket& reply);
    // True when the server closed the connection within the time-out.
    bool closedByPeer();
    server::CSocketStream& stream() { return stream_; }

private:
    server::CSocketStream stream_;
};

} // namespace tavik::test
