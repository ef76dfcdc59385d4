#include "sdk/core/CSession.h"

#include "platform/AnsiCodePage.h"
#include "platform/Tick.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CTrace.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/core/UploadCommitWire.h"
#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace tavik {

namespace {

// Values of the "setuser" request.
constexpr const char* kClientVersion = "2.12.06.1";
constexpr int32_t kLoginTimeoutItem = 60000;
constexpr int32_t kDefaultMode = 3;

std::string exchangeOutcome(CPacket& request, CPacket& reply, bool exchanged) {
    std::string text = request.GetString("_cmd", "");
    if (!exchanged) {
        return text + ": exchange failed, connection closed";
    }
    return text + ": error " + std::to_string(reply.GetInt("error", 0));
}

} // namespace

Result<Done> CheckSessionTexts(const CSession& session) {
    if (platform::toAnsi(session.host).size() > kMaxHostBytes ||
        platform::toAnsi(session.user).size() > kMaxAccountBytes ||
        platform::toAnsi(session.password).size() > kMaxAccountBytes) {
        return Result<Done>::fail(
            ErrorReport::withText(TAVIK_ERR_WRONG_PARAMETER, u"wrong parameter"));
    }
    return Result<Done>::ok(Done{});
}

int32_t BudgetLeft(int32_t budgetMs, uint32_t startedTick) {
    if (budgetMs < 0) {
        return -1;
    }
    const uint32_t spent = platform::GetTickCount() - startedTick;
    return spent >= static_cast<uint32_t>(budgetMs)
               ? 0
               : static_cast<int32_t>(static_cast<uint32_t>(budgetMs) - spent);
}

int32_t TighterTimeout(int32_t aMs, int32_t bMs) {
    if (aMs < 0) {
        return bMs;
    }
    return bMs < 0 ? aMs : std::min(aMs, bMs);
}

bool Exchange(CSession& session, CPacket& request, CPacket& reply, int32_t timeoutMs) {
    std::lock_guard<std::recursive_mutex> hold(session.lock);
    const uint32_t started = platform::GetTickCount();
    int result = session.connection.SendPacket(request, timeoutMs);
    if (result >= 0) {
        result = session.connection.ReceivePacket(reply, BudgetLeft(timeoutMs, started));
    }
    TAVIK_TRACE(2, u"command", exchangeOutcome(request, reply, result >= 0));
    return result >= 0;
}

namespace {

std::atomic<int32_t>& connectTimeout() {
    static std::atomic<int32_t> timeout{-1};
    return timeout;
}

} // namespace

int32_t SetConnectTimeout(int32_t timeoutMs) {
    return connectTimeout().exchange(timeoutMs);
}

int32_t ConnectTimeout() {
    return connectTimeout().load();
}

bool Exchange(CSession& session, CPacket& request, CPacket& reply) {
    return Exchange(session, request, reply, session.timeout);
}

Result<Done> ConnectAndLogin(CSession& session) {
    return ConnectAndLogin(session, session.timeout);
}

Result<Done> ConnectAndLogin(CSession& session, int32_t timeoutMs) {
    if (session.host.empty() || session.port == 0) {
        return Result<Done>::fail(ErrorReport::withText(TAVIK_ERR_SOCKET, u"socket info error"));
    }
    Result<Done> texts = CheckSessionTexts(session);
    if (!texts) {
        return texts;
    }
    // Held across the reconnect as well, so that a reconnect never closes a socket that another
    // thread is in the middle of an exchange or a transfer on. The lock is re-entrant, so the
    // login's own exchange takes it again.
    std::lock_guard<std::recursive_mutex> hold(session.lock);
    std::string host = platform::toAnsi(session.host);
    // Connecting spends the same budget as the login after it, so that a reconnect inside a
    // command never outlasts the command's time-out.
    const uint32_t started = platform::GetTickCount();
    if (!session.connection.Connect(host.c_str(), static_cast<uint16_t>(session.port), true,
                                    TighterTimeout(ConnectTimeout(), timeoutMs))) {
        return Result<Done>::fail(ErrorReport::withText(TAVIK_ERR_CONNECT_FAIL, u"connect fail.."));
    }
    Result<Done> secured = SecureConnection(
        session.connection, session.security, host, BudgetLeft(timeoutMs, started), [&] {
            return session.connection.Connect(
                host.c_str(), static_cast<uint16_t>(session.port), true,
                TighterTimeout(ConnectTimeout(), BudgetLeft(timeoutMs, started)));
        });
    if (!secured) {
        return secured;
    }
    return Login(session, BudgetLeft(timeoutMs, started));
}

Result<Done> Login(CSession& session) {
    return Login(session, session.timeout);
}

Result<Done> Login(CSession& session, int32_t timeoutMs) {
    CPacket request(2);
    CPacket reply(2);
    request.SetString("_cmd", "setuser");
    request.SetString("id", platform::toAnsi(session.user).c_str());
    request.SetString("pass", platform::toAnsi(session.password).c_str());
    if (session.sendTimeoutItem) {
        request.SetInt("timeout", kLoginTimeoutItem);
    }
    request.SetString("version", kClientVersion);
    request.SetString("authtype", "");
    // An extra item a server that does not know it ignores; only its answer turns 64 bits on.
    request.SetInt(largefile::kOfferItem, largefile::kOfferVersion);
    request.SetInt(uploadcommit::kOfferItem, uploadcommit::kOfferVersion);
    session.largeFiles = false;
    session.uploadCommit = false;

    if (!Exchange(session, request, reply, timeoutMs)) {
        TAVIK_TRACE(1, u"login", platform::toAnsi(session.user) + ": exchange failed");
        return Result<Done>::fail(ErrorReport::withText(TAVIK_ERR_SOCKET, u"socket error"));
    }
    ErrorReport report = ErrorReport::withText(reply.GetInt("error", 0),
                                               platform::fromAnsi(reply.GetString("errstr", "")));
    TAVIK_TRACE(1, u"login",
                platform::toAnsi(session.user) + "@" + platform::toAnsi(session.host) + ": error " +
                    std::to_string(report.code));
    if (report.code != 0) {
        return Result<Done>::fail(std::move(report));
    }
    session.message = platform::fromAnsi(reply.GetString("msg", ""));
    session.openUrl = platform::fromAnsi(reply.GetString("openurl", ""));
    session.path = platform::fromAnsi(reply.GetString("path", ""));
    session.mode = reply.GetInt("mode", kDefaultMode);
    session.largeFiles = reply.GetInt(largefile::kOfferItem, 0) == largefile::kOfferVersion;
    session.uploadCommit = reply.GetInt(uploadcommit::kOfferItem, 0) == uploadcommit::kOfferVersion;
    // This client knows no further authentication step: a server that asks for one gets a
    // closed connection, and the last error stays what the reply said (normally 0).
    if (reply.GetString("authtype", "")[0] != '\0') {
        session.connection.Close();
        return Result<Done>::fail(std::move(report));
    }
    return Result<Done>::ok(Done{}, std::move(report));
}

} // namespace tavik
