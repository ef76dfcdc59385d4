// Service message frames on arbitrary bytes, as a receive buffer holds them: the frame check,
// Attach, the header, either body, and text tables in header values. A frame is never longer
// than the buffer or the limit, Attach agrees with Check, every text map that parses formats to
// a text that parses to the same map, and a typed body framed again reads again.
#include "codec/CMsgPacket.h"
#include "codec/CMsgTextMap.h"
#include "codec/CMsgTextTable.h"
#include "codec/CMsgTypedBody.h"
#include "codec/MsgWire.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

using namespace tavik::app;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkRoundTrip(const CMsgTextMap& map) {
    CMsgTextMap again;
    again.Parse(map.Format());
    check(again == map);
}

void readTables(const CMsgTextMap& map) {
    for (const auto& [key, value] : map.Pairs()) {
        CMsgTextTable table;
        if (!table.Parse(value)) {
            continue;
        }
        std::u16string cell;
        for (size_t row = 0; row <= table.RowCount() && table.NextRow(); ++row) {
            for (const std::u16string& column : table.Columns()) {
                check(table.GetCell(column, cell));
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> buffer(data, size);
    MsgFrameCheck frame = CMsgPacket::Check(buffer);
    CMsgPacket packet;
    size_t taken = packet.Attach(buffer, (size & 1) != 0);
    check(taken == (frame.status == MsgFrameCheck::kComplete ? frame.length : 0));
    if (taken == 0) {
        return 0;
    }
    check(taken <= size && taken <= msgwire::kMaxFrameBytes && packet.GetLength() == taken);

    CMsgTextMap header;
    check(packet.GetHeader(header));
    checkRoundTrip(header);
    readTables(header);
    CMsgTextMap textBody;
    if (packet.GetTextBody(textBody)) {
        checkRoundTrip(textBody);
        readTables(textBody);
    }
    CMsgTypedBody typed;
    if (packet.GetTypedBody(typed)) {
        // Re-escaping can make a header longer than it came, so the rebuilt frame may not fit.
        CMsgPacket rebuilt;
        if (rebuilt.BuildTypedBody(header, typed, true)) {
            CMsgPacket reread;
            check(reread.Attach(rebuilt.GetBytes()) == rebuilt.GetLength());
            CMsgTypedBody again;
            check(reread.GetTypedBody(again));
        }
    }
    return 0;
}
