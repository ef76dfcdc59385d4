#include "sdk/ops/CTransfer.h"

#include "platform/AnsiCodePage.h"
#include "platform/Tick.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "sdk/core/CTrace.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/core/UploadCommitWire.h"
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

std::string rangeText(const char* source, const char* destination, uint64_t start, uint64_t end) {
    return std::string(source) + " -> " + destination + " [" + std::to_string(start) + ", " +
           std::to_string(end) + ")";
}

bool largeFilesAgreed(TAVIK_SESSION session) {
    return session != nullptr && static_cast<CSession*>(session)->largeFiles;
}

bool uploadCommitAgreed(TAVIK_SESSION session) {
    return session != nullptr && static_cast<CSession*>(session)->uploadCommit;
}

} // namespace

CTransfer::CTransfer(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel)
    : sessionHandle_(session), transfer_(transfer), cancel_(cancel) {
    range_ = range();
}

CTransfer::CTransfer(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer, int* cancel)
    : sessionHandle_(session), wide_(transfer), cancel_(cancel) {
    range_ = range();
}

CTransfer::Range CTransfer::range() const {
    if (transfer_ != nullptr) {
        return {transfer_->pszSrcPath, transfer_->pszDstPath, transfer_->dwStartPos,
                transfer_->dwEndPos,   transfer_->bTrunc,     transfer_->dwUser};
    }
    if (wide_ != nullptr) {
        return {wide_->pszSrcPath, wide_->pszDstPath, wide_->qwStartPos,
                wide_->qwEndPos,   wide_->bTrunc,     wide_->dwUser};
    }
    return {};
}

void CTransfer::commitAs(const char* finalPath, uint32_t modifiedTime, bool replace) {
    commit_ = Commit{finalPath, modifiedTime, replace};
}

Result<Done> CTransfer::checkRecord() const {
    if (!recordPresent()) {
        // The library names no text for a missing record: the previous text stays.
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_WRONG_PARAMETER));
    }
    // Paths travel through 512-byte conversion buffers on either side; a longer one is refused
    // rather than cut short, which would name another file.
    if (!pathFits(range_.source) || !pathFits(range_.destination) ||
        (commit_ && !pathFits(commit_->path))) {
        return Result<Done>::fail(wrongParameter());
    }
    if (sessionHandle_ == nullptr) {
        // Checked before the local file is touched: a call that cannot reach a server must not
        // truncate the caller's file.
        return Result<Done>::fail(
            ErrorReport::withText(TAVIK_ERR_INVALID_HANDLE, u"invalid session handle"));
    }
    // A server that knows only 32-bit positions would move the wrong bytes.
    if (range_.end > largefile::kClamped32 && !largeFilesAgreed(sessionHandle_)) {
        return Result<Done>::fail(wrongParameter());
    }
    return Result<Done>::ok(Done{});
}

void CTransfer::setKind(int kind) {
    progress_.nKind = kind;
    progress64_.nKind = kind;
}

void CTransfer::dataHook(void* buffer, size_t count, uint64_t position) const {
    if (transfer_ != nullptr && transfer_->pfnData != nullptr) {
        transfer_->pfnData(buffer, static_cast<DWORD>(count), static_cast<DWORD>(position),
                           range_.user);
    } else if (wide_ != nullptr && wide_->pfnData != nullptr) {
        wide_->pfnData(buffer, static_cast<DWORD>(count), position, range_.user);
    }
}

bool CTransfer::openLocal(std::u16string_view path, CLocalFile::Access access,
                          CLocalFile::Disposition disposition) {
    // A transfer from the start does not seek: a pipe or FIFO cannot, and needs not.
    return local_.Open(path, access, disposition) &&
           (range_.start == 0 ||
            local_.Seek(static_cast<int64_t>(range_.start), CLocalFile::Origin::Begin) >= 0);
}

Result<Done> CTransfer::announce(const char* command) {
    CRequest request(command);
    const char* remotePath =
        progress_.nKind == TAVIK_KIND_DOWNLOAD ? range_.source : range_.destination;
    request.packet().SetString("path", remotePath);
    request.addInt("startpos", static_cast<int32_t>(largefile::clamp32(range_.start)));
    request.addInt("endpos", static_cast<int32_t>(largefile::clamp32(range_.end)));
    if (wide_ != nullptr && largeFilesAgreed(sessionHandle_)) {
        largefile::setU64(request.packet(), largefile::kStartItem, range_.start);
        largefile::setU64(request.packet(), largefile::kEndItem, range_.end);
    }
    if (progress_.nKind == TAVIK_KIND_UPLOAD) {
        request.addInt("istrunc", range_.truncate);
        if (commit_ && uploadCommitAgreed(sessionHandle_)) {
            request.packet().SetString(uploadcommit::kPathItem, commit_->path);
            request.addInt(uploadcommit::kTimeItem, static_cast<int32_t>(commit_->time));
            request.addInt(uploadcommit::kReplaceItem, commit_->replace ? 1 : 0);
            commitAsked_ = true;
        }
    }
    CPacket reply(kScrambledRequest);
    Result<Done> announced = request.run(sessionHandle_, reply);
    if (announced && announced.report()) {
        firstReplyText_ = announced.report()->text;
    }
    return announced;
}

CSession& CTransfer::beginDataPhase() {
    TAVIK_TRACE(1, u"transfer",
                kindName(progress_.nKind) +
                    rangeText(range_.source, range_.destination, range_.start, range_.end) +
                    " started");
    buffer_.resize(kBufferSize); // the transfer's one buffer, for every block
    progress_.hSession = sessionHandle_;
    progress_.pTransfer = transfer_;
    progress_.dwUser = range_.user;
    progress64_.hSession = sessionHandle_;
    progress64_.pTransfer = wide_;
    progress64_.dwUser = range_.user;
    position_ = range_.start;
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
    const DWORD elapsed = platform::GetTickCount() - startTick_;
    if (transfer_ != nullptr) {
        progress_.dwElapsed = elapsed;
        progress_.dwPos = static_cast<DWORD>(position_);
        notifyProgress(transfer_->hNotifyWnd, transfer_->uNotifyMsg, transfer_->pfnProgress,
                       progress_);
    } else {
        progress64_.dwElapsed = elapsed;
        progress64_.qwPos = position_;
        progress64_.dwError = progress_.dwError;
        notifyProgress64(wide_->hNotifyWnd, wide_->uNotifyMsg, wide_->pfnProgress, progress64_);
    }
}

Result<Done> CTransfer::Download() {
    Result<Done> checked = checkRecord();
    if (!checked) {
        return checked;
    }
    startTick_ = platform::GetTickCount();
    setKind(TAVIK_KIND_DOWNLOAD);
    std::u16string localPath = platform::fromAnsi(range_.destination);
    if (!openLocal(localPath, CLocalFile::Access::Write,
                   range_.truncate != 0 ? CLocalFile::Disposition::CreateAlways
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
        const uint64_t left = position_ < range_.end ? range_.end - position_ : 0;
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left, kBufferSize));
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
        dataHook(buffer_.data(), static_cast<size_t>(got), position_);
        if (local_.Write(buffer_.data(), static_cast<size_t>(got)) < 0) {
            finalError_ = TAVIK_ERR_LOCAL_FILE;
            return End::Failed;
        }
        position_ += static_cast<uint64_t>(got);
    }
}

Result<Done> CTransfer::Upload() {
    Result<Done> checked = checkRecord();
    if (!checked) {
        return checked;
    }
    startTick_ = platform::GetTickCount();
    setKind(TAVIK_KIND_UPLOAD);
    std::u16string localPath = platform::fromAnsi(range_.source);
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
    while (position_ < range_.end) {
        const uint32_t want = static_cast<uint32_t>(
            std::min<uint64_t>(range_.end - position_ - pending, kBufferSize - pending));
        int64_t got = want == 0 ? 0 : local_.Read(buffer_.data() + pending, want);
        // A file that ends before the range with nothing left to send can make no progress:
        // the server would wait for bytes that never come.
        if (got < 0 || (got == 0 && pending == 0)) {
            finalError_ = TAVIK_ERR_LOCAL_FILE;
            return End::Failed;
        }
        if (got > 0) {
            // The hook sees only this round's bytes, at their own file position; the unsent rest
            // before them has been through it already.
            dataHook(buffer_.data() + pending, static_cast<size_t>(got), position_ + pending);
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
        position_ += static_cast<uint64_t>(sent);
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
    // A server that lost the agreement on a re-login in between ignored the items: only its
    // word counts.
    committed_ = commitAsked_ && finalError_ == 0 && reply.GetInt(uploadcommit::kDoneItem, 0) == 1;
    return true;
}

Result<Done> CTransfer::finish() const {
    TAVIK_TRACE(1, u"transfer",
                kindName(progress_.nKind) +
                    rangeText(range_.source, range_.destination, range_.start, range_.end) +
                    " ended at " + std::to_string(position_) +
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
