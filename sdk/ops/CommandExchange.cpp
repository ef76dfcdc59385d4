// The calling pattern of every remote operation.
#include "sdk/ops/CommandExchange.h"

#include "platform/AnsiCodePage.h"
#include "platform/Tick.h"
#include "sdk/core/CSession.h"
#include "sdk/include/TavikErrors.h"

#include <cstring>

namespace tavik {

namespace {

// The login itself must never trigger a re-login: it would recurse into itself.
bool mayRelogin(const CPacket& request) {
    return std::strcmp(request.GetString("_cmd", ""), "setuser") != 0;
}

// A connection the server dropped fails at once, and the re-login is for that. An exchange that
// failed only after most of the time-out had gone was a peer that stopped answering: another
// attempt could only run into the end of the budget too.
bool worthRetrying(int32_t budgetMs, uint32_t startedTick) {
    return budgetMs < 0 || BudgetLeft(budgetMs, startedTick) > budgetMs / 2;
}

} // namespace

ErrorReport replyReport(const CPacket& reply) {
    const int32_t code = reply.GetInt("error", 0);
    return ErrorReport::withText(code, platform::fromAnsi(reply.GetString("errstr", "")));
}

Result<Done> runCommand(TAVIK_SESSION session, CPacket& request, CPacket& reply) {
    if (session == nullptr) {
        return Result<Done>::fail(
            ErrorReport::withText(TAVIK_ERR_INVALID_HANDLE, u"invalid session handle"));
    }
    CSession& target = *static_cast<CSession*>(session);
    // The session's time-out bounds the whole command, the re-login and the retry included.
    const int32_t budget = target.timeout;
    const uint32_t started = platform::GetTickCount();
    bool exchanged = Exchange(target, request, reply, budget);
    if (!exchanged && mayRelogin(request) && worthRetrying(budget, started)) {
        // The connection was closed by the failure (or earlier, by a time-out or a cancelled
        // transfer): log in again once and give the request one more chance.
        Result<Done> reconnected = ConnectAndLogin(target, BudgetLeft(budget, started));
        if (!reconnected) {
            return Result<Done>::failFrom(reconnected);
        }
        reply.Clear();
        exchanged = Exchange(target, request, reply, BudgetLeft(budget, started));
    }
    if (!exchanged) {
        return Result<Done>::fail(ErrorReport::withText(TAVIK_ERR_SOCKET, u"socket error"));
    }
    ErrorReport report = replyReport(reply);
    if (report.code != 0) {
        return Result<Done>::fail(std::move(report));
    }
    return Result<Done>::ok(Done{}, std::move(report));
}

ErrorReport wrongParameter() {
    return ErrorReport::withText(TAVIK_ERR_WRONG_PARAMETER, u"wrong parameter");
}

Result<std::string> ansiArgument(LPCWSTR text) {
    if (text == nullptr) {
        return Result<std::string>::fail(wrongParameter());
    }
    std::string ansi = platform::toAnsi(text);
    if (ansi.size() > kMaxAnsiArgument) {
        return Result<std::string>::fail(wrongParameter());
    }
    return Result<std::string>::ok(std::move(ansi));
}

} // namespace tavik
