#include "sdk/ops/CServerCopy.h"

#include "platform/Tick.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "sdk/core/LargeFileWire.h"
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
    : sessionHandle_(session), host_(host), transfer_(transfer), cancel_(cancel) {
    if (transfer != nullptr) {
        source_ = transfer->pszSrcPath;
        destination_ = transfer->pszDstPath;
        start_ = transfer->dwStartPos;
        end_ = transfer->dwEndPos;
        truncate_ = transfer->bTrunc;
    }
}

CServerCopy::CServerCopy(TAVIK_SESSION session, const TAVIK_COPYHOST* host,
                         TAVIK_TRANSFER64* transfer, int* cancel)
    : sessionHandle_(session), host_(host), wide_(transfer), cancel_(cancel) {
    if (transfer != nullptr) {
        source_ = transfer->pszSrcPath;
        destination_ = transfer->pszDstPath;
        start_ = transfer->qwStartPos;
        end_ = transfer->qwEndPos;
        truncate_ = transfer->bTrunc;
    }
}

Result<Done> CServerCopy::checkArguments() const {
    if (host_ == nullptr || (transfer_ == nullptr && wide_ == nullptr)) {
        return Result<Done>::fail(wrongParameter());
    }
    bool fits = textFits(host_->pszIp) && textFits(host_->pszId) && textFits(host_->pszPass) &&
                textFits(source_) && textFits(destination_);
    const bool agreed =
        sessionHandle_ != nullptr && static_cast<CSession*>(sessionHandle_)->largeFiles;
    // A server that knows only 32-bit positions would copy the wrong bytes.
    if (end_ > largefile::kClamped32 && !agreed) {
        fits = false;
    }
    return fits ? Result<Done>::ok(Done{}) : Result<Done>::fail(wrongParameter());
}

Result<Done> CServerCopy::announce() {
    CRequest request("copyex");
    request.packet().SetString("ip", host_->pszIp);
    request.addInt("port", host_->nPort);
    request.packet().SetString("id", host_->pszId);
    request.packet().SetString("pass", host_->pszPass);
    request.packet().SetString("srcpath", source_);
    request.packet().SetString("destpath", destination_);
    request.addInt("startpos", static_cast<int32_t>(largefile::clamp32(start_)));
    request.addInt("endpos", static_cast<int32_t>(largefile::clamp32(end_)));
    wideWords_ =
        wide() && sessionHandle_ != nullptr && static_cast<CSession*>(sessionHandle_)->largeFiles;
    if (wideWords_) {
        largefile::setU64(request.packet(), largefile::kStartItem, start_);
        largefile::setU64(request.packet(), largefile::kEndItem, end_);
    }
    request.addInt("istrunc", truncate_);
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
    progress64_.hSession = sessionHandle_;
    progress64_.pTransfer = wide_;
    progress64_.nKind = TAVIK_KIND_SERVER_COPY;
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

bool CServerCopy::readPosition(CSession& session, uint64_t& position) {
    uint8_t word[8];
    const int length = wideWords_ ? 8 : 4;
    if (!session.connection.RecvAll(word, length, kPositionWaitMs)) {
        return false;
    }
    position = 0;
    for (int i = length - 1; i >= 0; --i) {
        position = (position << 8) | word[i];
    }
    return true;
}

void CServerCopy::notify(uint64_t position, uint32_t elapsedMs) {
    if (transfer_ != nullptr) {
        progress_.dwPos = static_cast<DWORD>(position);
        progress_.dwElapsed = elapsedMs;
        notifyProgress(transfer_->hNotifyWnd, transfer_->uNotifyMsg, transfer_->pfnProgress,
                       progress_);
    } else {
        progress64_.qwPos = position;
        progress64_.dwElapsed = elapsedMs;
        notifyProgress64(wide_->hNotifyWnd, wide_->uNotifyMsg, wide_->pfnProgress, progress64_);
    }
}

int32_t CServerCopy::followPositions(CSession& session) {
    const uint32_t startTick = platform::GetTickCount();
    for (;;) {
        uint64_t position = 0;
        if (!readPosition(session, position)) {
            session.connection.Close();
            return TAVIK_ERR_SOCKET;
        }
        notify(position, platform::GetTickCount() - startTick);
        bool cancelled = cancelRequested(cancel_);
        if (position != end_ && !cancelled) {
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
