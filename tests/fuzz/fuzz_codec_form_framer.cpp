// Disk-information frames on arbitrary bytes, fed in pieces as a socket delivers them. Byte 0
// picks the framer's mode (bit 0 scrambling, bit 1 binary) and byte 1 the piece size. Every
// frame the framer reports whole must extract; the records of its first two values load or fail
// cleanly; and once a message has been framed and read back, doing so again changes nothing.
#include "codec/CFormFramer.h"
#include "codec/CFormMessage.h"
#include "codec/CFormRecordTable.h"
#include "codec/FormWire.h"

#include <algorithm>
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

CFormMessage throughWire(const CFormMessage& message, bool scramble, bool binary) {
    CFormFramer out(scramble, binary);
    CFormMessage back;
    if (!out.Append(message)) {
        return back;
    }
    CFormFramer in(scramble, binary);
    check(in.Feed(out.Bytes()) == CFormFramer::kComplete);
    check(in.Extract(back));
    return back;
}

void readRecords(const CFormMessage& message) {
    if (message.Count() < 2) {
        return;
    }
    auto first = message.Pairs().begin();
    auto second = std::next(first);
    CFormRecordTable table;
    if (table.Load(message, first->first, second->first)) {
        std::u16string value;
        for (size_t i = 0; i < table.RecordCount(); ++i) {
            table.GetValue(i, u"diskid", value);
        }
    } else {
        check(table.RecordCount() == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool scramble = (data[0] & 1) != 0;
    const bool binary = (data[0] & 2) != 0;
    const size_t piece = size_t{data[1]} * 8 + 1;
    std::span<const uint8_t> wire(data + 2, size - 2);

    CFormFramer in(scramble, binary);
    for (size_t at = 0; at < wire.size(); at += piece) {
        CFormFramer::Status status = in.Feed(wire.subspan(at, std::min(piece, wire.size() - at)));
        check(status == in.Check());
        while (in.Check() == CFormFramer::kComplete) {
            check(in.FrameLength() <= formwire::kMaxBufferBytes);
            CFormMessage message;
            check(in.Extract(message));
            readRecords(message);
            CFormMessage once = throughWire(message, scramble, binary);
            check(throughWire(once, scramble, binary) == once);
            size_t before = in.Size();
            in.Consume();
            check(in.Size() < before);
        }
        if (in.Check() == CFormFramer::kTooLarge || in.Check() == CFormFramer::kMalformed) {
            break;
        }
    }
    return 0;
}
