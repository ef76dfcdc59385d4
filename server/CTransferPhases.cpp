#include "server/CTransferPhases.h"

#include "server/CCommandHandlers.h"
#include "server/CFileOperations.h"

#include "sdk/core/CPacket.h"
#include "sdk/core/UploadCommitWire.h"
#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace tavik::server {

namespace {

constexpr size_t kSendfileChunk = 1 << 20;
// The unit of the data phases' deadlines: each block must pass within the request time-out.
constexpr size_t kDataBlock = 64 * 1024;

int32_t writeError(int err) {
    const int32_t error = CFileOperations::errorFromErrno(err);
    return error == TAVIK_ERR_DISK_FULL ? error : TAVIK_ERR_REMOTE_FILE;
}

// Writes all bytes at offset; 0 or the errno of the failure.
int writeAt(int fd, const uint8_t* bytes, size_t count, uint64_t offset) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : ENOSPC;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

CTransferPhases::CTransferPhases(CSocketStream& client, const CServerConfig& config,
                                 CServerStats& stats, const std::atomic<bool>& stopping)
    : client_(client), config_(config), stats_(stats), stopping_(stopping) {}

int32_t CTransferPhases::prepareCopy(const TransferPlan& plan) {
    return remote_.open(plan.copy, config_.copySecurity, plan.start, plan.end,
                        config_.requestTimeoutMs);
}

bool CTransferPhases::run(TransferPlan& plan, int32_t& finalError) {
    finalError = 0;
    switch (plan.kind) {
    case TransferPlan::Kind::Download:
        return download(plan);
    case TransferPlan::Kind::Upload:
        return upload(plan, finalError);
    case TransferPlan::Kind::Copy:
        return copy(plan);
    }
    return false;
}

bool CTransferPhases::sendClosingReply(int32_t error, bool committed) {
    CPacket reply(2);
    CCommandHandlers::setError(reply, error);
    if (committed) {
        reply.SetInt(uploadcommit::kDoneItem, 1);
    }
    return client_.sendPacket(reply, config_.requestTimeoutMs);
}

bool CTransferPhases::sendPosition(const TransferPlan& plan, uint64_t position) {
    uint8_t word[8];
    const size_t length = plan.wideWords ? 8 : 4;
    for (size_t i = 0; i < length; ++i) {
        word[i] = static_cast<uint8_t>(position >> (8 * i));
    }
    return client_.sendAll(word, length, config_.requestTimeoutMs);
}

bool CTransferPhases::download(TransferPlan& plan) {
    // Counted while bytes flow; the closing reply goes out after the count drops, so a client
    // that asks right after its transfer no longer sees it.
    if (!sendRange(plan)) {
        return false;
    }
    return sendClosingReply(0);
}

bool CTransferPhases::sendRange(TransferPlan& plan) {
    CServerStats::CGuard counted(stats_.downloads);
    off_t offset = static_cast<off_t>(plan.start);
    const off_t end = static_cast<off_t>(plan.end);
    off_t blockStart = offset;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.requestTimeoutMs);
    while (offset < end) {
        if (stopping_) {
            return false;
        }
        if (offset - blockStart >= static_cast<off_t>(kDataBlock)) {
            // A client that reads a little now and then gets no longer per block for that.
            blockStart = offset;
            deadline = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(config_.requestTimeoutMs);
        }
        const size_t want = std::min<size_t>(kSendfileChunk, static_cast<size_t>(end - offset));
        const long n = client_.sendFileSome(plan.file.get(), offset, want);
        if (n > 0) {
            continue;
        }
        if (n == 0) {
            // The file shrank after the range was checked: the promised bytes cannot come.
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || left <= 0 ||
            client_.waitFor(POLLOUT, static_cast<int>(left)) != CSocketStream::Wait::Ready) {
            return false;
        }
    }
    return true;
}

bool CTransferPhases::upload(TransferPlan& plan, int32_t& finalError) {
    const bool received = receiveRange(plan, finalError);
    // The bytes are on the disk now (or never will be): the promise goes before the client
    // hears the upload is done, so that its next write does not find the space counted twice.
    plan.reservation.release();
    if (!received) {
        return false;
    }
    bool committed = false;
    if (finalError == 0 && plan.commit) {
        finalError = plan.commit(plan.file.get());
        committed = finalError == 0;
    }
    return sendClosingReply(finalError, committed);
}

bool CTransferPhases::receiveRange(TransferPlan& plan, int32_t& finalError) {
    CServerStats::CGuard counted(stats_.uploads);
    std::vector<uint8_t> buffer(kDataBlock);
    uint64_t position = plan.start;
    while (position < plan.end) {
        if (stopping_) {
            return false;
        }
        // Each block must arrive whole within the request time-out.
        const size_t want = std::min<uint64_t>(kDataBlock, plan.end - position);
        const size_t n = receiveBlock(buffer.data(), want);
        // After a failed write the rest is still read, so that the closing reply can tell.
        if (finalError == 0 && position + static_cast<uint64_t>(n) > plan.writeLimit) {
            finalError = TAVIK_ERR_DISK_FULL;
        }
        if (finalError == 0) {
            const int err =
                writeAt(plan.file.get(), buffer.data(), static_cast<size_t>(n), position);
            finalError = err == 0 ? 0 : writeError(err);
        }
        position += static_cast<uint64_t>(n);
        if (n < want) {
            // Gone or stalled: the bytes received so far stay, nothing else happens.
            return false;
        }
    }
    return true;
}

size_t CTransferPhases::receiveBlock(uint8_t* buffer, size_t count) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.requestTimeoutMs);
    size_t done = 0;
    while (done < count && !stopping_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        const long n =
            left <= 0 ? 0 : client_.recvSome(buffer + done, count - done, static_cast<int>(left));
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

bool CTransferPhases::copy(TransferPlan& plan) {
    if (!copyRange(plan)) {
        return false;
    }
    return sendPosition(plan, plan.end) && sendClosingReply(0);
}

bool CTransferPhases::copyRange(TransferPlan& plan) {
    CServerStats::CGuard counted(stats_.downloads);
    std::vector<uint8_t> buffer(kCopyBlock);
    uint64_t position = plan.start;
    while (position < plan.end) {
        // The copy stops as soon as the client that asked for it has gone away.
        if (stopping_ || client_.peerGone()) {
            return false;
        }
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(buffer.size(), plan.end - position));
        const ssize_t n =
            ::pread(plan.file.get(), buffer.data(), want, static_cast<off_t>(position));
        if (n <= 0 ||
            !remote_.send(buffer.data(), static_cast<size_t>(n), config_.requestTimeoutMs)) {
            return false;
        }
        position += static_cast<uint64_t>(n);
        // The word equal to the end tells the client the copy is done, so it waits for the
        // other server's verdict below.
        if (position < plan.end && !sendPosition(plan, position)) {
            return false;
        }
    }
    // The client reads no error after the last word: closing is the only way to tell it that
    // the copy failed.
    return remote_.finish(config_.requestTimeoutMs) == 0;
}

} // namespace tavik::server
