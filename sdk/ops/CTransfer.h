// One whole-file transfer: the announcing round trip, the raw data phase on the same connection
// and the closing reply. Download and Upload share the set-up (record checks, local file, the
// 64 KiB buffer allocated once, the progress record) and the rules of the end: a transfer that got
// its closing reply leaves the connection open and blocking; every other end closes it so that
// the next command logs in again.
//
// The report of a finished transfer carries the final error as the last error code and the text
// the first reply left (the closing reply's text is not kept). A cancel is a success with code 0.
// When the session has a time-out and no byte moved for that long in the data phase, the transfer
// gives up with 21002 and the text kTimeOutText, and closes the connection; without a time-out
// (-1) it waits until cancelled. The session's lock is held for the whole data phase.
//
// Positions are 64-bit inside. A transfer described by a TAVIK_TRANSFER (the original record)
// notifies with TAVIK_PROGRESS and sends only the 32-bit range; one described by a
// TAVIK_TRANSFER64 notifies with TAVIK_PROGRESS64 and, on a session that agreed on 64-bit
// positions, sends the 64-bit range beside the clamped 32-bit one. On a session that did not, a
// range ending past 0xFFFFFFFF is refused with 24001 before anything is opened or sent.
#pragma once

#include "platform/CLocalFile.h"
#include "sdk/core/Result.h"
#include "sdk/include/TavikLargeFiles.h"
#include "sdk/include/TavikTransfer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavik {

class CSession;

class CTransfer {
public:
    static constexpr uint32_t kBufferSize = 65536;
    static constexpr int32_t kDownloadWaitMs = 5000;
    static constexpr int32_t kUploadWaitMs = 10000;
    static constexpr const char16_t* kTimeOutText = u"time-out";

    // session may be null (reported by the first round trip, after the local file was opened);
    // cancel may be null.
    CTransfer(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel);
    CTransfer(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer, int* cancel);

    Result<Done> Download();
    Result<Done> Upload();

    // Before Upload: on a session that agreed on upload commits, the request asks the server to
    // give the finished file modifiedTime (0: leave it) and rename it to finalPath (ANSI; a file
    // there is replaced only when replace is set). Ignored on other sessions.
    void commitAs(const char* finalPath, uint32_t modifiedTime, bool replace);
    // After Upload: whether the closing reply confirmed that commit.
    bool committed() const { return committed_; }

private:
    enum class End { Complete, Cancelled, Failed };

    // The parts of either record the transfer works with.
    struct Range {
        const char* source = nullptr;
        const char* destination = nullptr;
        uint64_t start = 0;
        uint64_t end = 0;
        BOOL truncate = 0;
        DWORD user = 0;
    };

    Result<Done> checkRecord() const;
    bool recordPresent() const { return transfer_ != nullptr || wide_ != nullptr; }
    Range range() const;
    void setKind(int kind);
    void dataHook(void* buffer, size_t count, uint64_t position) const;
    bool openLocal(std::u16string_view path, platform::CLocalFile::Access access,
                   platform::CLocalFile::Disposition disposition);
    Result<Done> announce(const char* command);
    // Allocates the buffer and fills the progress record; the caller then takes the lock.
    CSession& beginDataPhase();
    void notify();
    // The data phases; each returns how the loop ended and leaves a failure's code in
    // finalError_.
    End receiveData(CSession& session);
    End sendData(CSession& session);
    // One round's wait: the fixed one, or the session's time-out when that is shorter.
    static int32_t roundWait(const CSession& session, int32_t wait);
    // True (final error set) when nothing has moved for the session's time-out.
    bool stalled(const CSession& session);
    // The closing reply, read in blocking mode with the session's time-out; false when it could
    // not be received (final error 21002, connection closed).
    bool readClosingReply(CSession& session);
    Result<Done> finish() const;

    TAVIK_SESSION sessionHandle_;
    TAVIK_TRANSFER* transfer_ = nullptr; // one of the two records is set
    TAVIK_TRANSFER64* wide_ = nullptr;
    Range range_;
    int* cancel_;
    uint64_t position_ = 0; // absolute position in the file
    uint32_t startTick_ = 0;
    platform::CLocalFile local_;
    std::vector<uint8_t> buffer_;
    TAVIK_PROGRESS progress_{};
    TAVIK_PROGRESS64 progress64_{};
    uint32_t lastMoved_ = 0; // tick of the last byte received or sent
    bool timedOut_ = false;
    int32_t finalError_ = 0;
    std::optional<std::u16string> firstReplyText_;
    struct Commit {
        const char* path = nullptr;
        uint32_t time = 0;
        bool replace = false;
    };
    std::optional<Commit> commit_;
    bool commitAsked_ = false; // the request carried the commit items
    bool committed_ = false;
};

} // namespace tavik
