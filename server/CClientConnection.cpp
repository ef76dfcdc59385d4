#include "server/CClientConnection.h"

#include "server/CMetrics.h"
#include "server/CNetAddress.h"

#include "server/CCommandHandlers.h"
#include "server/CRequestText.h"
#include "server/CTransferPhases.h"

#include "server/CWireText.h"

#include "platform/Tick.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/PacketWire.h"
#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tavik::server {

CClientConnection::CClientConnection(CSocketStream stream, std::string peer,
                                     std::shared_ptr<const CServerConfig> config,
                                     CServerStats& stats, CCommandLog& log,
                                     CLoginThrottle& throttle, bool refuse)
    : stream_(std::move(stream)), peer_(std::move(peer)), address_(CNetAddress::hostOf(peer_)),
      snapshot_(std::move(config)), config_(*snapshot_), stats_(stats), log_(log),
      throttle_(throttle), session_(config_.maxOpenFiles), refuse_(refuse) {}

void CClientConnection::requestStop() {
    stopping_ = true;
    stream_.shutdownBoth();
}

void CClientConnection::requestDrain() {
    const std::lock_guard lock(drainMutex_);
    draining_ = true;
    if (!busy_) {
        stream_.shutdownBoth();
    }
}

bool CClientConnection::beginRequest(bool begin) {
    const std::lock_guard lock(drainMutex_);
    busy_ = begin && !draining_;
    return !draining_;
}

void CClientConnection::refuseOne() {
    CPacket request;
    if (stream_.receivePacket(request, config_.requestTimeoutMs, config_.requestTimeoutMs) ==
        CSocketStream::Receive::Ok) {
        CPacket reply(2);
        CCommandHandlers::setError(reply, TAVIK_ERR_SESSION_LIMIT);
        stream_.sendPacket(reply, config_.requestTimeoutMs);
    }
    log_.event(peer_, "refused: connection limit reached");
    stream_.shutdownBoth();
    finished_ = true;
}

bool CClientConnection::startSecurity() {
    std::string failure;
    // The first bytes are due as soon as a first request would be.
    const int waitMs = std::min(config_.idleTimeoutMs, config_.loginTimeoutMs);
    switch (stream_.acceptSecurity(config_.tls, config_.requireTls, waitMs, failure)) {
    case CSocketStream::Security::Plain:
    case CSocketStream::Security::Tls:
        log_.debug(peer_, "", "",
                   std::string("connection opened (") + (stream_.secure() ? "TLS" : "plain") + ")");
        return true;
    case CSocketStream::Security::Refused:
        log_.event(peer_, "refused: plain connection, TLS required");
        return false;
    default:
        log_.event(peer_, "closed: " + failure);
        return false;
    }
}

void CClientConnection::run() {
    if (!startSecurity()) {
        stream_.shutdownBoth();
        finished_ = true;
        return;
    }
    if (refuse_) {
        refuseOne();
        return;
    }
    ++stats_.connections;
    const auto accepted = std::chrono::steady_clock::now();
    while (!stopping_ && beginRequest(false)) {
        const int waitMs = nextWaitMs(accepted);
        if (waitMs <= 0) {
            log_.event(peer_, "closed: no login in time");
            break;
        }
        CPacket request;
        const auto got = stream_.receivePacket(request, waitMs, config_.requestTimeoutMs);
        if (got == CSocketStream::Receive::Timeout) {
            log_.event(peer_,
                       session_.loggedIn() ? "closed: time-out" : "closed: no login in time");
            break;
        }
        if (got == CSocketStream::Receive::Malformed) {
            log_.event(peer_, "closed: malformed packet");
            log_.debug(peer_, diskId(), account_, "packet refused: " + stream_.malformedReason());
            break;
        }
        // A request that arrived as the drain began was not started: the client sees the
        // connection close, as it would for a server that had stopped.
        if (got != CSocketStream::Receive::Ok || !beginRequest(true) || !serve(request)) {
            break;
        }
    }
    --stats_.connections;
    logClosed();
    stream_.shutdownBoth();
    finished_ = true;
}

std::string CClientConnection::diskId() const {
    return session_.loggedIn() ? session_.disk()->id : std::string();
}

void CClientConnection::logClosed() {
    if (log_.debugEnabled()) {
        log_.debug(peer_, diskId(), account_,
                   "connection closed after " + std::to_string(requests_) + " requests (" +
                       (stream_.secure() ? "TLS" : "plain") +
                       (session_.largeFiles() ? ", large files" : "") + ")");
    }
}

int CClientConnection::nextWaitMs(std::chrono::steady_clock::time_point accepted) const {
    if (session_.loggedIn()) {
        return config_.idleTimeoutMs;
    }
    // Before a login every packet counts against one deadline: sending something now and then
    // does not keep a slot.
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - accepted)
                           .count();
    const int64_t left = static_cast<int64_t>(config_.loginTimeoutMs) - spent;
    return static_cast<int>(std::clamp<int64_t>(left, 0, config_.idleTimeoutMs));
}

bool CClientConnection::pause(int ms) {
    static constexpr int kSliceMs = 50;
    for (int left = ms; left > 0 && !stopping_; left -= kSliceMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kSliceMs)));
    }
    return !stopping_;
}

HandleResult CClientConnection::login(CCommandHandlers& handlers, const CPacket& request,
                                      CPacket& reply) {
    // The address without the port: every connection of one client shares it. Only disks that
    // exist are named, so that guessed ids cannot fill the throttle's table.
    const std::string id = CWireText::toHost(request.GetString("id", ""));
    const DiskConfig* disk = config_.findDisk(id);
    const CLoginThrottle::Attempt attempt{disk != nullptr ? disk->id : std::string(), address_};
    const auto wait = throttle_.reserve(attempt);
    if (!wait || *wait > 0) {
        CMetrics::instance().add("tavik_logins_throttled_total", {});
    }
    HandleResult result;
    if (!wait) {
        // Its turn lies too far ahead: refused as a failed login, without looking at it.
        result.error = disk == nullptr ? TAVIK_ERR_WRONG_ID : TAVIK_ERR_WRONG_PASSWD;
        reply.Clear();
        CCommandHandlers::setError(reply, result.error);
        log_.event(peer_, "login to \"" + id + "\" refused: too many failed logins");
        return result;
    }
    if (*wait > 0 && !pause(*wait)) {
        result.error = TAVIK_ERR_WRONG_PASSWD;
        CCommandHandlers::setError(reply, result.error);
        return result;
    }
    result = handlers.handle(request, reply);
    if (result.error == TAVIK_ERR_WRONG_ID || result.error == TAVIK_ERR_WRONG_PASSWD) {
        const int failures = throttle_.failed(attempt);
        log_.event(peer_, "login to \"" + id + "\" failed (" + std::to_string(failures) +
                              " in a row from this address; next attempt waits " +
                              std::to_string(throttle_.delayAfter(failures)) + " ms)");
    } else if (result.error == 0) {
        throttle_.succeeded(attempt);
    }
    loggedIn_ = session_.loggedIn();
    account_ = loggedIn_ ? config_.accountsOf(session_.disk()->id) : std::string();
    return result;
}

namespace {

// Counts a finished command for the metrics endpoint.
void countCommand(const std::string& command, int32_t error,
                  const std::optional<TransferPlan>& plan,
                  std::chrono::steady_clock::time_point started) {
    CMetrics& metrics = CMetrics::instance();
    const std::string name = CCommandHandlers::known(command) ? command : "other";
    metrics.add("tavik_commands_total", {{"command", name}, {"result", std::to_string(error)}});
    metrics.observeCommand(
        name, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    if (command == "setuser") {
        const char* result = error == 0                        ? "ok"
                             : error == TAVIK_ERR_WRONG_ID     ? "wrong_id"
                             : error == TAVIK_ERR_WRONG_PASSWD ? "wrong_password"
                                                               : "other";
        metrics.add("tavik_logins_total", {{"result", result}});
    }
    if (plan && error == 0) {
        metrics.add("tavik_transfer_bytes_total",
                    {{"direction", plan->kind == TransferPlan::Kind::Upload ? "in" : "out"}},
                    plan->end - plan->start);
    }
}

} // namespace

void CClientConnection::logCommand(const CPacket& request, bool keptOpen, int32_t error,
                                   const std::optional<TransferPlan>& plan, uint32_t elapsedMs) {
    const std::string disk = diskId();
    const std::string command = request.GetString("_cmd", "");
    const std::string shown = keptOpen ? command : command + " (connection closed)";
    std::optional<uint64_t> moved;
    if (plan && error == 0) {
        moved = plan->end - plan->start;
    }
    log_.command({.peer = peer_,
                  .disk = disk,
                  .account = account_,
                  .command = shown,
                  .path = CCommandHandlers::logPath(request),
                  .error = error,
                  .elapsedMs = elapsedMs,
                  .bytes = moved});
    if (log_.debugEnabled()) {
        log_.debug(peer_, disk, account_,
                   CCommandLog::loggable(shown) + " " + CRequestText::arguments(request) + " -> " +
                       std::to_string(error));
    }
}

bool CClientConnection::serve(const CPacket& request) {
    const auto startedAt = std::chrono::steady_clock::now();
    const uint32_t started = log_.enabled() ? platform::GetTickCount() : 0;
    const std::string command = request.GetString("_cmd", "");
    CPacket reply(CCommandHandlers::replyFlags(command));
    CCommandHandlers handlers(session_, config_, stats_);
    HandleResult result =
        command == "setuser" ? login(handlers, request, reply) : handlers.handle(request, reply);
    CTransferPhases phases(stream_, config_, stats_, stopping_);
    if (result.plan && result.plan->kind == TransferPlan::Kind::Copy) {
        result.error = phases.prepareCopy(*result.plan);
        if (!phases.copyFailure().empty()) {
            log_.event(peer_,
                       "copyex to " +
                           CNetAddress::withPort(result.plan->copy.ip, result.plan->copy.port) +
                           " not secure: " + phases.copyFailure());
        }
        if (result.error != 0) {
            reply.Clear();
            CCommandHandlers::setError(reply, result.error);
            result.plan.reset();
        }
    }
    if (reply.SizeBound() > wire::kHeaderSize + wire::kMaxBodyLength) {
        reply.Clear();
        result.error = TAVIK_ERR_NOT_ENOUGH_BUFFER;
        CCommandHandlers::setError(reply, result.error);
        result.plan.reset();
    }
    bool keepOpen = stream_.sendPacket(reply, config_.requestTimeoutMs);
    int32_t finalError = result.error;
    if (keepOpen && result.plan) {
        keepOpen = phases.run(*result.plan, finalError);
    }
    countCommand(command, finalError, result.plan, startedAt);
    ++requests_;
    if (log_.enabled()) {
        logCommand(request, keepOpen, finalError, result.plan, platform::GetTickCount() - started);
    }
    return keepOpen;
}

} // namespace tavik::server
