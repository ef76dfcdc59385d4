#include "sdk/ops/CServerCopy.h"

#include "platform/Tick.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/ops/CRequest.h"
#include "sdk/ops/CommandExchange.h"
#include "sdk/ops/TransferNotice.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

namespace tavik {

namespace {

bool textFits(const char* text) {
    return text != nullptr && std::strlen(text) <= kMaxAnsiArgument;
}

} // namespace

CServerCopy::CServerCopy(TAVIK_SESSION session, const TAVIK_COPYHOST* host,
                         TAVIK_TRANSFER* transfer, int* cancel)
    : sessionHandle_(session), host_(host), transfer_(transfer), cancel_(cancel) {}

Result<Done> CServerCopy::checkArguments() const {
    if (host_ == nullptr || transfer_ == nullptr) {
        return Result<Done>::fail(wrongParameter());
    }
    bool fits = textFits(host_->pszIp) && textFits(host_->pszId) && textFits(host_->pszPass) &&
                textFits(transfer_->pszSrcPath) && textFits(transfer_->pszDstPath);
    return fits ? Result<Done>::ok(Done{}) : Result<Done>::fail(wrongParameter());
}

Result<Done> CServerCopy::announce() {
    CRequest request("copyex");
    request.packet().SetString("ip", host_->pszIp);
    request.addInt("port", host_->nPort);
    request.packet().SetString("id", host_->pszId);
    request.packet().SetString("pass", host_->pszPass);
    request.packet().SetString("srcpath", transfer_->pszSrcPath);
    request.packet().SetString("destpath", transfer_->pszDstPath);
    request.addInt("startpos", static_cast<int32_t>(transfer_->dwStartPos));
    request.addInt("endpos", static_cast<int32_t>(transfer_->dwEndPos));
    request.addInt("istrunc", transfer_->bTrunc);
    CPacket reply(kScrambledRequest);
    return request.run(sessionHandle_, reply);
}

Result<Done> CServerCopy::Run() {
    Result<Done> checked = checkArguments();
    if (!checked) {
        return checked;
    }
    progress_.hSession = sessionHandle_;
    progress_.pTransfer = transfer_;
    progress_.nKind = TAVIK_KIND_SERVER_COPY;
    Result<Done> announced = announce();
    if (!announced) {
        return announced;
    }
    std::optional<std::u16string> firstText =
        announced.report() ? announced.report()->text : std::nullopt;

    CSession& session = *static_cast<CSession*>(sessionHandle_);
    int32_t finalError = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(session.lock);
        finalError = followPositions(session);
    }
    ErrorReport report{finalError, std::move(firstText)};
    if (finalError != 0) {
        return Result<Done>::fail(std::move(report));
    }
    return Result<Done>::ok(Done{}, std::move(report));
}

int32_t CServerCopy::followPositions(CSession& session) {
    const uint32_t startTick = platform::GetTickCount();
    progress_.dwPos = transfer_->dwStartPos;
    for (;;) {
        uint8_t word[4];
        if (!session.connection.RecvAll(word, sizeof word, kPositionWaitMs)) {
            session.connection.Close();
            return TAVIK_ERR_SOCKET;
        }
        progress_.dwPos = static_cast<uint32_t>(word[0]) | static_cast<uint32_t>(word[1]) << 8 |
                          static_cast<uint32_t>(word[2]) << 16 |
                          static_cast<uint32_t>(word[3]) << 24;
        progress_.dwElapsed = platform::GetTickCount() - startTick;
        notifyProgress(transfer_->hNotifyWnd, transfer_->uNotifyMsg, transfer_->pfnProgress,
                       progress_);
        bool cancelled = cancelRequested(cancel_);
        if (progress_.dwPos != transfer_->dwEndPos && !cancelled) {
            continue;
        }
        if (cancelled) {
            // The server goes on sending words; only a new connection is clean again.
            session.connection.Close();
            return 0;
        }
        CPacket reply(kScrambledRequest);
        if (session.connection.ReceivePacket(reply, session.timeout) < 0) {
            return TAVIK_ERR_SOCKET;
        }
        return 0;
    }
}

} // namespace tavik
