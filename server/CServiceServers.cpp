#include "server/CServiceServers.h"

#include "codec/CMsgPacket.h"
#include "codec/FormWire.h"
#include "server/CAuthConversation.h"
#include "server/CDiskInfoResponder.h"
#include "server/CFormFrameProbe.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace tavik::server {

namespace {

CServiceListener::Limits limitsOf(const ServiceConfig& service) {
    return {service.maxConnections, service.maxPerAddress};
}

// Why a connection ended, for the log; a plain close is not worth a line.
const char* endReason(CServiceConnection::Read read) {
    switch (read) {
    case CServiceConnection::Read::Idle:
        return "closed: idle";
    case CServiceConnection::Read::Stalled:
        return "closed: frame not completed in time";
    case CServiceConnection::Read::Bad:
        return "closed: malformed frame";
    default:
        return nullptr;
    }
}

// What a server makes of one request frame: the reply to send (none: send nothing and go on),
// or no value to end the connection.
using Answer = std::function<std::optional<std::vector<uint8_t>>(const std::vector<uint8_t>&)>;

// The deadline of the next frame. Until the client has logged in, everything it sends counts
// against one deadline from the moment it was accepted, so that sending something now and then
// does not keep a slot; its first whole frame is due within the frame time-out.
CServiceConnection::Clock::time_point nextDeadline(const CServiceConnection& connection,
                                                   const ServiceConfig& service, bool first) {
    if (connection.loggedIn()) {
        return CServiceConnection::Clock::time_point::max();
    }
    const int ms =
        first ? std::min(service.frameTimeoutMs, service.loginTimeoutMs) : service.loginTimeoutMs;
    return connection.accepted() + std::chrono::milliseconds(ms);
}

// TLS for a client that opens with a handshake; false (logged) when the connection must end.
// name: the server, for the debug lines of the connection.
bool startSecurity(CServiceConnection& connection, const CServerConfig& config, CCommandLog& log,
                   const char* name) {
    std::string failure;
    // The first bytes are due as soon as a first frame's would be.
    const ServiceConfig& service = config.service;
    const int waitMs =
        std::min({service.idleTimeoutMs, service.frameTimeoutMs, service.loginTimeoutMs});
    switch (connection.startSecurity(config.tls, config.requireTls, waitMs, failure)) {
    case CSocketStream::Security::Plain:
        log.debug(connection.peer(), "", "", std::string(name) + ": connection opened (plain)");
        return true;
    case CSocketStream::Security::Tls:
        log.debug(connection.peer(), "", "", std::string(name) + ": connection opened (TLS)");
        return true;
    case CSocketStream::Security::Refused:
        log.event(connection.peer(), "refused: plain connection, TLS required");
        return false;
    default:
        log.event(connection.peer(), "closed: " + failure);
        return false;
    }
}

// Reads frames and answers them until the client goes, idles, stalls, sends a bad frame or
// fails to log in in time.
void serveFrames(CServiceConnection& connection, const ServiceConfig& service,
                 const CServiceConnection::Probe& probe, const Answer& answer, CCommandLog& log) {
    std::vector<uint8_t> frame;
    for (bool first = true;; first = false) {
        const auto deadline = nextDeadline(connection, service, first);
        const auto read = connection.readFrame(probe, service.idleTimeoutMs, service.frameTimeoutMs,
                                               frame, deadline);
        if (read != CServiceConnection::Read::Frame) {
            const bool late = CServiceConnection::Clock::now() >= deadline;
            const char* lateReason =
                first ? "closed: first frame not completed in time" : "closed: no login in time";
            if (const char* reason = late ? lateReason : endReason(read)) {
                log.event(connection.peer(), reason);
            }
            return;
        }
        const std::optional<std::vector<uint8_t>> reply = answer(frame);
        if (!reply || (!reply->empty() && !connection.send(*reply, service.frameTimeoutMs))) {
            return;
        }
    }
}

} // namespace

CServiceServers::CServiceServers(const CServerConfig& config)
    : config_(config), log_(config.logCommands),
      auth_("authentication server", limitsOf(config.service), log_,
            [this](CServiceConnection& connection) { serveAuth(connection); }),
      diskInfo_("disk-information server", limitsOf(config.service), log_,
                [this](CServiceConnection& connection) { serveDiskInfo(connection); }) {}

CServiceServers::~CServiceServers() {
    stop();
}

namespace {

void logRemovedAccounts(CCommandLog& log, const std::vector<std::string>& removed) {
    for (const std::string& identifier : removed) {
        log.event("-", "account " + identifier +
                           " removed from the store: no longer in the configuration file");
    }
}

} // namespace

bool CServiceServers::start(std::string& error) {
    if (!config_.capabilityKey) {
        error = "the service servers need the installation key";
        return false;
    }
    store_ = openServiceStore(config_.service, error);
    std::vector<std::string> removed;
    if (!store_ || !seedAccounts(*store_, config_.service, error, &removed)) {
        return false;
    }
    logRemovedAccounts(log_, removed);
    generation_ = makeGeneration(std::make_shared<const CServerConfig>(config_));
    if (!auth_.start(config_.addresses, config_.service.authPort, config_.addressesDefaulted,
                     error) ||
        !diskInfo_.start(config_.addresses, config_.service.diskInfoPort,
                         config_.addressesDefaulted, error)) {
        stop();
        return false;
    }
    return true;
}

std::shared_ptr<const CServiceServers::Generation>
CServiceServers::makeGeneration(std::shared_ptr<const CServerConfig> config) {
    auto generation = std::make_shared<Generation>();
    generation->config = std::move(config);
    generation->authenticator =
        std::make_unique<CAccountAuthenticator>(generation->config->service, *store_, log_);
    return generation;
}

std::shared_ptr<const CServiceServers::Generation> CServiceServers::current() const {
    const std::lock_guard lock(generationMutex_);
    return generation_;
}

void CServiceServers::reload(std::shared_ptr<const CServerConfig> config) {
    // The file's accounts reach the store as at a start; a store that refuses them leaves the
    // accounts as they were, and the rest of the new configuration still applies.
    std::string error;
    std::vector<std::string> removed;
    if (!seedAccounts(*store_, config->service, error, &removed)) {
        log_.event("-", "reload: the accounts were not written to the store: " + error);
    }
    logRemovedAccounts(log_, removed);
    std::shared_ptr<const Generation> next = makeGeneration(std::move(config));
    const std::lock_guard lock(generationMutex_);
    generation_.swap(next);
}

void CServiceServers::stop() {
    auth_.stop();
    diskInfo_.stop();
}

void CServiceServers::serveAuth(CServiceConnection& connection) {
    const std::shared_ptr<const Generation> generation = current();
    if (!startSecurity(connection, *generation->config, log_, "authentication server")) {
        return;
    }
    const ServiceConfig& service = generation->config->service;
    CAuthConversation conversation(nextNode_++, *generation->authenticator, *store_,
                                   connection.peerAddress(), connection.stopping());
    const auto probe = [](std::span<const uint8_t> received) {
        const app::MsgFrameCheck check = app::CMsgPacket::Check(received);
        switch (check.status) {
        case app::MsgFrameCheck::kComplete:
            return FrameProbe{FrameProbe::Kind::Complete, check.length};
        case app::MsgFrameCheck::kProtocolError:
            return FrameProbe{FrameProbe::Kind::Bad, 0};
        default:
            return FrameProbe{FrameProbe::Kind::Incomplete, 0};
        }
    };
    serveFrames(
        connection, service, probe,
        [&](const std::vector<uint8_t>& frame) {
            std::vector<uint8_t> reply = conversation.answer(frame);
            if (conversation.loggedIn()) {
                connection.markLoggedIn();
            }
            return std::optional(std::move(reply));
        },
        log_);
    log_.debug(connection.peer(), "", "",
               std::string("authentication server: connection closed (") +
                   (conversation.loggedIn() ? "logged in" : "not logged in") + ")");
}

void CServiceServers::serveDiskInfo(CServiceConnection& connection) {
    const std::shared_ptr<const Generation> generation = current();
    if (!startSecurity(connection, *generation->config, log_, "disk-information server")) {
        return;
    }
    const ServiceConfig& service = generation->config->service;
    CDiskInfoResponder responder(*generation->config, *store_);
    const auto probe = [](std::span<const uint8_t> received) {
        return CFormFrameProbe::probe(received, app::formwire::kMaxBufferBytes);
    };
    // A request the responder cannot answer ends the connection.
    serveFrames(
        connection, service, probe,
        [&](const std::vector<uint8_t>& frame) -> std::optional<std::vector<uint8_t>> {
            const auto started = std::chrono::steady_clock::now();
            std::vector<uint8_t> reply = responder.answer(frame, connection.peerAddress());
            logQuery(connection.peer(), responder.lastQuery(), started);
            if (reply.empty()) {
                return std::nullopt;
            }
            return reply;
        },
        log_);
    log_.debug(connection.peer(), "", "", "disk-information server: connection closed");
}

void CServiceServers::logQuery(const std::string& peer, const CDiskInfoResponder::Query& query,
                               std::chrono::steady_clock::time_point started) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    // The account named by the request: on a listing, the one whose login allowed it.
    log_.command({.peer = peer,
                  .account = query.account,
                  .command = "GetDiskInfo",
                  .error = query.result,
                  .elapsedMs = static_cast<uint32_t>(elapsed.count())});
    if (log_.debugEnabled()) {
        log_.debug(peer, "", query.account,
                   "GetDiskInfo username=\"" + CCommandLog::loggable(query.account) +
                       "\" ticket=" + (query.withTicket ? "given" : "none") + " -> " +
                       std::to_string(query.result) + " (" + std::to_string(query.disks) +
                       " disks)");
    }
}

} // namespace tavik::server
