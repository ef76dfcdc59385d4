// A disk server and both service servers running in the test process on free loopback ports,
// with a few accounts over fresh temporary folders, and a raw client that sends and reads frames
// byte by byte (optionally from another loopback source address).
//
// Accounts: alice@tavik.local (password kAlicePassword; disks "demo" and the capability-only
// "vault", both here), bob@tavik.local (kBobPassword, no disks), many@tavik.local (200 disks on
// another host), huge@tavik.local (a list too long for one reply).
#pragma once

#include "server/CServer.h"
#include "server/CServiceServers.h"
#include "tests/service_server/CHandFrames.h"
#include "tests/support/CTempFolder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavik::test {

class CServiceHarness {
public:
    static constexpr char kAlicePassword[] = "correct horse 말";
    static constexpr char kBobPassword[] = "battery staple";

    explicit CServiceHarness(const std::function<void(server::CServerConfig&)>& tweak = {});
    ~CServiceHarness();

    bool running() const { return running_; }
    uint16_t diskPort() const { return disk_->port(); }
    uint16_t authPort() const { return services_->authPort(); }
    uint16_t diskInfoPort() const { return services_->diskInfoPort(); }
    server::CServiceServers& services() { return *services_; }
    const server::CServerConfig& config() const { return *config_; }
    const CTempFolder& folder() const { return folder_; }

private:
    CTempFolder folder_;
    std::optional<server::CServerConfig> config_;
    std::unique_ptr<server::CServer> disk_;
    std::unique_ptr<server::CServiceServers> services_;
    bool running_ = false;
};

class CRawClient {
public:
    static constexpr int kTimeoutMs = 20000;

    CRawClient() = default;
    ~CRawClient();
    CRawClient(const CRawClient&) = delete;
    CRawClient& operator=(const CRawClient&) = delete;

    bool connect(uint16_t port, const std::string& sourceAddress = "127.0.0.1");
    bool send(const Bytes& bytes);
    // One whole message frame / form frame, read by its length fields.
    bool readMessage(Bytes& frame);
    bool readForm(Bytes& frame);
    // True when the server closes the connection within timeoutMs (no data counts as open).
    bool closedByPeer(int timeoutMs = kTimeoutMs);
    // True when nothing arrives (and the connection stays open) for waitMs.
    bool silentFor(int waitMs);
    void close();

private:
    bool readExact(Bytes& out, size_t count);

    int fd_ = -1;
};

// An argon2id hash of password with the cheapest parameters: the tests check the logic, the
// benchmark the cost. Empty when hashing fails.
std::string fastHash(const std::string& password);

// A password login over hand-made frames: node query, then the auth request with a clear typed
// body. Returns the reply's body pairs (empty when no reply came).
TextPairs handLogin(CRawClient& client, const std::string& userId, const std::string& password,
                    const std::string& sessionKey = "");
// One GetDiskInfo exchange over a hand-made form frame, with a "ticket" pair when ticket is not
// empty; the reply's pairs.
TextPairs handDiskInfo(uint16_t port, const std::string& userName,
                       const std::string& sourceAddress = "127.0.0.1",
                       const std::string& ticket = "");

} // namespace tavik::test
