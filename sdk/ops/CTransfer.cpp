#include "sdk/ops/CTransfer.h"

#include "platform/AnsiCodePage.h"
#include "platform/Tick.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "sdk/core/CTrace.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/ops/CRequest.h"
#include "sdk/ops/CommandExchange.h"
#include "sdk/ops/TransferNotice.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tavik {

namespace {

using platform::CLocalFile;

bool pathFits(const char* path) {
    return path != nullptr && std::strlen(path) <= kMaxAnsiArgument;
}

const char* kindName(int kind) {
    return kind == TAVIK_KIND_DOWNLOAD ? "download " : "upload ";
}

std::string rangeText(const TAVIK_TRANSFER& transfer) {
    return std::string(transfer.pszSrcPath) + " -> " + transfer.pszDstPath + " [" +
           std::to_string(transfer.dwStartPos) + ", " + std::to_string(transfer.dwEndPos) + ")";
}

} // namespace

CTransfer::CTransfer(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel)
    : sessionHandle_(session), transfer_(transfer), cancel_(cancel) {}

Result<Done> CTransfer::checkRecord() const {
    if (transfer_ == nullptr) {
        // The library names no text for a missing record: the previous text stays.
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_WRONG_PARAMETER));
    }
    // Paths travel through 512-byte conversion buffers on either side; a longer one is refused
    // rather than cut short, which would name another file.
    if (!pathFits(transfer_->pszSrcPath) || !pathFits(transfer_->pszDstPath)) {
        return Result<Done>::fail(wrongParameter());
    }
    if (sessionHandle_ == nullptr) {
        // Checked before the local file is touched: a call that cannot reach a server must not
        // truncate the caller's file.
        return Result<Done>::fail(
            ErrorReport::withText(TAVIK_ERR_INVALID_HANDLE, u"invalid session handle"));
    }
    return Result<Done>::ok(Done{});
}

bool CTransfer::openLocal(std::u16string_view path, CLocalFile::Access access,
                          CLocalFile::Disposition disposition) {
    return local_.Open(path, access, disposition) &&
           local_.Seek(transfer_->dwStartPos, CLocalFile::Origin::Begin) >= 0;
}

Result<Done> CTransfer::announce(const char* command) {
    CRequest request(command);
    const char* remotePath =
        progress_.nKind == TAVIK_KIND_DOWNLOAD ? transfer_->pszSrcPath : transfer_->pszDstPath;
    request.packet().SetString("path", remotePath);
    request.addInt("startpos", static_cast<int32_t>(transfer_->dwStartPos));
    request.addInt("endpos", static_cast<int32_t>(transfer_->dwEndPos));
    if (progress_.nKind == TAVIK_KIND_UPLOAD) {
        request.addInt("istrunc", transfer_->bTrunc);
    }
    CPacket reply(kScrambledRequest);
    Result<Done> announced = request.run(sessionHandle_, reply);
    if (announced && announced.report()) {
        firstReplyText_ = announced.report()->text;
    }
    return announced;
}

CSession& CTransfer::beginDataPhase() {
    TAVIK_TRACE(1, u"transfer", kindName(progress_.nKind) + rangeText(*transfer_) + " started");
    buffer_.resize(kBufferSize); // the transfer's one buffer, for every block
    progress_.hSession = sessionHandle_;
    progress_.pTransfer = transfer_;
    progress_.dwUser = transfer_->dwUser;
    progress_.dwPos = transfer_->dwStartPos;
    lastMoved_ = platform::GetTickCount();
    return *static_cast<CSession*>(sessionHandle_);
}

int32_t CTransfer::roundWait(const CSession& session, int32_t wait) {
    return session.timeout >= 0 ? std::min(wait, std::max(session.timeout, int32_t{1})) : wait;
}

bool CTransfer::stalled(const CSession& session) {
    // Each wait is short so that the cancel flag is seen; the session's time-out bounds how long
    // the stream may stand still in all. Without one (-1) only the caller's cancel ends it.
    if (session.timeout < 0 ||
        platform::GetTickCount() - lastMoved_ < static_cast<uint32_t>(session.timeout)) {
        return false;
    }
    finalError_ = TAVIK_ERR_SOCKET;
    timedOut_ = true;
    return true;
}

void CTransfer::notify() {
    progress_.dwElapsed = platform::GetTickCount() - startTick_;
    notifyProgress(transfer_->hNotifyWnd, transfer_->uNotifyMsg, transfer_->pfnProgress, progress_);
}

Result<Done> CTransfer::Download() {
    Result<Done> checked = checkRecord();
    if (!checked) {
        return checked;
    }
    startTick_ = platform::GetTickCount();
    progress_.nKind = TAVIK_KIND_DOWNLOAD;
    std::u16string localPath = platform::fromAnsi(transfer_->pszDstPath);
    if (!openLocal(localPath, CLocalFile::Access::Write,
                   transfer_->bTrunc != 0 ? CLocalFile::Disposition::CreateAlways
                                          : CLocalFile::Disposition::OpenAlways)) {
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_LOCAL_FILE));
    }
    Result<Done> announced = announce("download");
    if (!announced) {
        return announced;
    }

    CSession& session = beginDataPhase();
    std::lock_guard<std::recursive_mutex> guard(session.lock);
    session.connection.SetBlocking(false);
    if (receiveData(session) == End::Complete) {
        readClosingReply(session);
    } else {
        // The rest of the stream is still on its way; only a new connection is clean again.
        progress_.dwError = static_cast<DWORD>(finalError_);
        notify();
        session.connection.Close();
    }
    return finish();
}

CTransfer::End CTransfer::receiveData(CSession& session) {
    for (;;) {
        notify();
        if (cancelRequested(cancel_)) {
            return End::Cancelled;
        }
        // A start past the end has nothing to receive, like an empty range.
        uint32_t left =
            progress_.dwPos < transfer_->dwEndPos ? transfer_->dwEndPos - progress_.dwPos : 0;
        uint32_t want = std::min(left, kBufferSize);
        if (want == 0) {
            return End::Complete;
        }
        int got = session.connection.RecvSome(buffer_.data(), static_cast<int>(want),
                                              roundWait(session, kDownloadWaitMs));
        if (got < 0) {
            finalError_ = TAVIK_ERR_SOCKET;
            return End::Failed;
        }
        if (got == 0) {
            if (stalled(session)) {
                return End::Failed;
            }
            continue; // nothing within the wait: notify again and look at the flag
        }
        lastMoved_ = platform::GetTickCount();
        if (transfer_->pfnData != nullptr) {
            transfer_->pfnData(buffer_.data(), static_cast<DWORD>(got), progress_.dwPos,
                               transfer_->dwUser);
        }
        if (local_.Write(buffer_.data(), static_cast<size_t>(got)) < 0) {
            finalError_ = TAVIK_ERR_LOCAL_FILE;
            return End::Failed;
        }
        progress_.dwPos += static_cast<uint32_t>(got);
    }
}

Result<Done> CTransfer::Upload() {
    Result<Done> checked = checkRecord();
    if (!checked) {
        return checked;
    }
    startTick_ = platform::GetTickCount();
    progress_.nKind = TAVIK_KIND_UPLOAD;
    std::u16string localPath = platform::fromAnsi(transfer_->pszSrcPath);
    if (!openLocal(localPath, CLocalFile::Access::Read, CLocalFile::Disposition::OpenExisting)) {
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_LOCAL_FILE));
    }
    Result<Done> announced = announce("upload");
    if (!announced) {
        return announced;
    }

    CSession& session = beginDataPhase();
    std::lock_guard<std::recursive_mutex> guard(session.lock);
    session.connection.SetBlocking(false);
    if (sendData(session) == End::Complete) {
        if (readClosingReply(session)) {
            progress_.dwError = static_cast<DWORD>(finalError_);
            notify();
        }
    } else {
        session.connection.Close();
        progress_.dwError = static_cast<DWORD>(finalError_);
        notify();
    }
    return finish();
}

CTransfer::End CTransfer::sendData(CSession& session) {
    uint32_t pending = 0; // read from the file, not yet taken by the connection
    while (progress_.dwPos < transfer_->dwEndPos) {
        uint32_t want =
            std::min(transfer_->dwEndPos - progress_.dwPos - pending, kBufferSize - pending);
        int64_t got = want == 0 ? 0 : local_.Read(buffer_.data() + pending, want);
        // A file that ends before the range with nothing left to send can make no progress:
        // the server would wait for bytes that never come.
        if (got < 0 || (got == 0 && pending == 0)) {
            finalError_ = TAVIK_ERR_LOCAL_FILE;
            return End::Failed;
        }
        if (got > 0 && transfer_->pfnData != nullptr) {
            // The hook sees only this round's bytes, at their own file position; the unsent rest
            // before them has been through it already.
            transfer_->pfnData(buffer_.data() + pending, static_cast<DWORD>(got),
                               progress_.dwPos + pending, transfer_->dwUser);
        }
        pending += static_cast<uint32_t>(got);
        int sent = session.connection.SendSome(buffer_.data(), static_cast<int>(pending),
                                               roundWait(session, kUploadWaitMs));
        if (sent < 0) {
            finalError_ = TAVIK_ERR_SOCKET;
            return End::Failed;
        }
        if (sent > 0) {
            pending -= static_cast<uint32_t>(sent);
            std::memmove(buffer_.data(), buffer_.data() + sent, pending);
            lastMoved_ = platform::GetTickCount();
        } else if (stalled(session)) {
            return End::Failed;
        }
        notify();
        if (cancelRequested(cancel_)) {
            return End::Cancelled;
        }
        progress_.dwPos += static_cast<uint32_t>(sent);
    }
    return End::Complete;
}

bool CTransfer::readClosingReply(CSession& session) {
    session.connection.SetBlocking(true);
    CPacket reply(kScrambledRequest);
    if (session.connection.ReceivePacket(reply, session.timeout) < 0) {
        finalError_ = TAVIK_ERR_SOCKET; // the failed receive has closed the connection
        return false;
    }
    finalError_ = reply.GetInt("error", 0);
    return true;
}

Result<Done> CTransfer::finish() const {
    TAVIK_TRACE(1, u"transfer",
                kindName(progress_.nKind) + rangeText(*transfer_) + " ended at " +
                    std::to_string(progress_.dwPos) +
                    (cancelRequested(cancel_) ? ", cancelled" : "") + ", error " +
                    std::to_string(finalError_));
    // A stream that stood still names its cause; other ends keep the first reply's text.
    ErrorReport report{finalError_,
                       timedOut_ ? std::optional<std::u16string>(kTimeOutText) : firstReplyText_};
    if (finalError_ != 0) {
        return Result<Done>::fail(std::move(report));
    }
    return Result<Done>::ok(Done{}, std::move(report));
}

} // namespace tavik
