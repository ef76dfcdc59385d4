#include "sdk/core/LargeFileWire.h"

#include "sdk/core/CPacket.h"

#include <cstdio>

namespace tavik::largefile {

void setU64(CPacket& packet, const char* name, uint64_t value) {
    uint8_t bytes[kItemBytes];
    for (int i = 0; i < kItemBytes; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    packet.SetData(name, bytes, kItemBytes);
}

std::optional<uint64_t> getU64(const CPacket& packet, const char* name) {
    const auto bytes = packet.Find(name);
    if (bytes.size() != kItemBytes) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (int i = kItemBytes - 1; i >= 0; --i) {
        value = (value << 8) | bytes[static_cast<size_t>(i)];
    }
    return value;
}

void entrySizeName(char (&name)[24], int number) {
    std::snprintf(name, sizeof name, "%s%d", kEntrySizePrefix, number);
}

} // namespace tavik::largefile
