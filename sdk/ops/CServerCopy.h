// A copy that this session's server makes to another server by itself. After the announcing
// round trip the server reports each copied position as a raw 4-byte little-endian word on this
// connection, and a closing reply once the end is reached. The session's lock is held from the
// first word to the end; the connection's blocking mode is left as it is.
//
// The report carries the final error (0 also for a cancel) with the first reply's text: 21002
// when a word does not come within 10 s or the closing reply cannot be read (connection closed).
// The closing reply's own "error" is not used.
//
// Described by a TAVIK_TRANSFER64 on a session that agreed on 64-bit positions, the range also
// travels in 64 bits and the words are 8 bytes long; without the agreement a range ending past
// 0xFFFFFFFF is refused with 24001 before anything is sent.
#pragma once

#include "sdk/core/Result.h"
#include "sdk/include/TavikLargeFiles.h"
#include "sdk/include/TavikTransfer.h"

#include <cstdint>

namespace tavik {

class CSession;

class CServerCopy {
public:
    static constexpr int32_t kPositionWaitMs = 10000;

    // cancel may be null; host and transfer are checked by Run (24001).
    CServerCopy(TAVIK_SESSION session, const TAVIK_COPYHOST* host, TAVIK_TRANSFER* transfer,
                int* cancel);
    CServerCopy(TAVIK_SESSION session, const TAVIK_COPYHOST* host, TAVIK_TRANSFER64* transfer,
                int* cancel);

    Result<Done> Run();

private:
    Result<Done> checkArguments() const;
    Result<Done> announce();
    // Reads position words until the end, a cancel or a failure; returns the final error.
    int32_t followPositions(CSession& session);
    // One position word (4 or 8 bytes); false when it did not come.
    bool readPosition(CSession& session, uint64_t& position);
    void notify(uint64_t position, uint32_t elapsedMs);
    bool wide() const { return wide_ != nullptr; }

    TAVIK_SESSION sessionHandle_;
    const TAVIK_COPYHOST* host_;
    TAVIK_TRANSFER* transfer_ = nullptr; // one of the two records is set
    TAVIK_TRANSFER64* wide_ = nullptr;
    const char* source_ = nullptr;
    const char* destination_ = nullptr;
    uint64_t start_ = 0;
    uint64_t end_ = 0;
    BOOL truncate_ = 0;
    bool wideWords_ = false; // the range went in 64 bits: 8-byte words
    int* cancel_;
    TAVIK_PROGRESS progress_{};
    TAVIK_PROGRESS64 progress64_{};
};

} // namespace tavik
