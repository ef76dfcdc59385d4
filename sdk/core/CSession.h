// One logged-in session: where and as whom it logged in (so that it can reconnect and log in
// again by itself), the connection, its lock and its time-out. The handle the exports hand out
// is the CSession pointer itself.
#pragma once

#include "sdk/core/CConnection.h"
#include "sdk/core/Result.h"
#include "sdk/core/SessionSecurity.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace tavik {

class CPacket;

class CSession {
public:
    CSession() = default;
    virtual ~CSession() = default;
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    CConnection connection;
    std::recursive_mutex lock; // held for each round trip and for a transfer's data phase
    std::u16string host;
    int32_t port = 0;
    std::u16string user;
    std::u16string password;
    bool sendTimeoutItem = false;
    std::u16string path;
    int32_t mode = 0;
    std::u16string openUrl;
    std::u16string message;
    int32_t timeout = -1;
    // Kept for every reconnect; copied by a duplicate.
    SessionSecurity security;
    // Whether the last successful login agreed on 64-bit sizes and positions (LargeFileWire.h).
    // Every login offers them again, so a reconnect keeps what the server agrees to.
    bool largeFiles = false;
    // Whether it agreed that an upload may finish by renaming itself (UploadCommitWire.h).
    bool uploadCommit = false;
};

// Longest host name and longest user ID or password, in ANSI bytes, that a session accepts.
inline constexpr size_t kMaxHostBytes = 254;
inline constexpr size_t kMaxAccountBytes = 510;
// Fails with 24001 "wrong parameter" when the host, user or password is longer than that.
Result<Done> CheckSessionTexts(const CSession& session);

// Milliseconds left of a budget of budgetMs that began at the tick startedTick: -1 for a budget
// of -1 (no limit), else at least 0.
int32_t BudgetLeft(int32_t budgetMs, uint32_t startedTick);
// The shorter of two time-outs, where -1 means no limit.
int32_t TighterTimeout(int32_t aMs, int32_t bMs);

// Under the session's lock: SendPacket(request), then ReceivePacket(reply), the two together
// within timeoutMs (-1: no limit; without it, the session's time-out). False when either failed
// (the connection is then closed).
bool Exchange(CSession& session, CPacket& request, CPacket& reply, int32_t timeoutMs);
bool Exchange(CSession& session, CPacket& request, CPacket& reply);

// The longest wait for a session's connection to be made, for every session of the process
// (creation and each reconnect); -1, the default, leaves it to the system. Thread-safe.
// SetConnectTimeout answers the previous value.
int32_t SetConnectTimeout(int32_t timeoutMs);
int32_t ConnectTimeout();

// Connects to host:port (within ConnectTimeout) and runs Login, holding the session's lock
// throughout (a reconnect waits for another thread's exchange or transfer on the session to end).
// The report carries what the last error must become: 21002 "socket info error", 24001 "wrong
// parameter" (see CheckSessionTexts), 21001 "connect fail..", or Login's report. The login's
// exchange is bounded by timeoutMs (without it, by the session's time-out).
Result<Done> ConnectAndLogin(CSession& session, int32_t timeoutMs);
Result<Done> ConnectAndLogin(CSession& session);
// The "setuser" exchange; on any outcome the report holds the last error to store. Besides the
// design's items it offers the large-file and upload-commit extensions; session.largeFiles and
// session.uploadCommit are set from the reply (false after any failure).
Result<Done> Login(CSession& session, int32_t timeoutMs);
Result<Done> Login(CSession& session);

} // namespace tavik
