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
#pragma once

#include "platform/CLocalFile.h"
#include "sdk/core/Result.h"
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

    Result<Done> Download();
    Result<Done> Upload();

private:
    enum class End { Complete, Cancelled, Failed };

    Result<Done> checkRecord() const;
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
    TAVIK_TRANSFER* transfer_;
    int* cancel_;
    uint32_t startTick_ = 0;
    platform::CLocalFile local_;
    std::vector<uint8_t> buffer_;
    TAVIK_PROGRESS progress_{};
    uint32_t lastMoved_ = 0; // tick of the last byte received or sent
    bool timedOut_ = false;
    int32_t finalError_ = 0;
    std::optional<std::u16string> firstReplyText_;
};

} // namespace tavik
