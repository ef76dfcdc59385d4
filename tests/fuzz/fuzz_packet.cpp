// Packet parsing on arbitrary bytes. Whatever parses must serialise again, and the re-serialised
// packet must parse to the same packet (same flags, same items, byte-identical serialisation).
#include "sdk/core/CPacket.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<uint8_t> serialize(tavik::CPacket& packet) {
    // Text escaping can triple a body; the binary form needs exactly SizeBound.
    std::vector<uint8_t> out(static_cast<size_t>(packet.SizeBound()) * 3 + 4096);
    int written = packet.Serialize(out.data(), static_cast<int>(out.size()));
    check(written >= 16);
    out.resize(static_cast<size_t>(written));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    tavik::CPacket packet;
    int consumed = packet.Parse(data, static_cast<int>(size));
    check(consumed <= static_cast<int>(size));
    if (consumed < 0) {
        check(consumed >= -7);
        return 0;
    }
    packet.Describe();

    std::vector<uint8_t> first = serialize(packet);
    tavik::CPacket again;
    check(again.Parse(first.data(), static_cast<int>(first.size())) ==
          static_cast<int>(first.size()));
    check(again.IsText() == packet.IsText() && again.IsCrypt() == packet.IsCrypt() &&
          again.IsReserved() == packet.IsReserved());
    check(again.Count() == packet.Count());
    check(serialize(again) == first);
    return 0;
}
