// The data phases that follow the first reply of "download", "upload" and "copyex": raw bytes
// on the client's connection outside any packet, then one closing reply packet. A phase that
// cannot finish cleanly (client gone or stalled, source file shrunk, the other server failing)
// returns false and the connection is closed: the client then sees a connection error rather
// than a success for a transfer that did not happen.
#pragma once

#include "server/CCopyClient.h"
#include "server/CServerConfig.h"
#include "server/CServerStats.h"
#include "server/CSocketStream.h"
#include "server/TransferPlan.h"

#include <atomic>
#include <cstdint>

namespace tavik::server {

class CTransferPhases {
public:
    static constexpr size_t kCopyBlock = 65536;

    CTransferPhases(CSocketStream& client, const CServerConfig& config, CServerStats& stats,
                    const std::atomic<bool>& stopping);

    // For "copyex", before the first reply: reaches the other server (0 or the reply's error).
    int32_t prepareCopy(const TransferPlan& plan);
    // Why prepareCopy could not secure the connection to the other server; empty otherwise.
    const std::string& copyFailure() const { return remote_.failure(); }
    // Runs the plan's data phase and sends the closing reply; false when the connection must
    // be closed instead. The closing reply's error is stored in finalError.
    bool run(TransferPlan& plan, int32_t& finalError);

private:
    bool download(TransferPlan& plan);
    bool upload(TransferPlan& plan, int32_t& finalError);
    bool copy(TransferPlan& plan);
    // The data phases proper, counted in the server's statistics while they run.
    bool sendRange(TransferPlan& plan);
    bool receiveRange(TransferPlan& plan, int32_t& finalError);
    bool copyRange(TransferPlan& plan);
    // Receives up to count bytes within one request time-out; fewer when the client went
    // away or stalled.
    size_t receiveBlock(uint8_t* buffer, size_t count);
    // committed: the closing reply also says that the upload took its final name.
    bool sendClosingReply(int32_t error, bool committed = false);
    // A raw position word: 4 bytes, or 8 when the plan says so.
    bool sendPosition(const TransferPlan& plan, uint64_t position);

    CSocketStream& client_;
    const CServerConfig& config_;
    CServerStats& stats_;
    const std::atomic<bool>& stopping_;
    CCopyClient remote_;
};

} // namespace tavik::server
