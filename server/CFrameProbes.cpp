#include "server/CFrameProbes.h"

#include "app/service/MsgWire.h"

#include <algorithm>

namespace tavik::server {

namespace {

uint64_t bigEndian32(std::span<const uint8_t> bytes, size_t at) {
    return (uint64_t{bytes[at]} << 24) | (uint64_t{bytes[at + 1]} << 16) |
           (uint64_t{bytes[at + 2]} << 8) | uint64_t{bytes[at + 3]};
}

uint64_t littleEndian32(std::span<const uint8_t> bytes, size_t at) {
    return uint64_t{bytes[at]} | (uint64_t{bytes[at + 1]} << 8) |
           (uint64_t{bytes[at + 2]} << 16) | (uint64_t{bytes[at + 3]} << 24);
}

constexpr FrameProbe incomplete() {
    return {FrameProbe::Kind::Incomplete, 0};
}
constexpr FrameProbe bad() {
    return {FrameProbe::Kind::Bad, 0};
}

} // namespace

FrameProbe CFrameProbes::message(std::span<const uint8_t> received, size_t maxBytes) {
    const auto& magic = app::msgwire::kFrameMagic;
    const size_t compared = std::min(received.size(), magic.size());
    if (!std::equal(received.begin(), received.begin() + static_cast<long>(compared),
                    magic.begin())) {
        return bad();
    }
    if (received.size() < 12) {
        return incomplete();
    }
    // Lengths are summed in 64 bits: two 32-bit fields near 4 GiB must not wrap to a small total.
    const uint64_t header = bigEndian32(received, 8);
    if (header + 16 > maxBytes) {
        return bad();
    }
    if (received.size() < header + 16) {
        return incomplete();
    }
    const uint64_t total = header + bigEndian32(received, 12 + header) + 16;
    if (total > maxBytes) {
        return bad();
    }
    if (received.size() < total) {
        return incomplete();
    }
    return {FrameProbe::Kind::Complete, static_cast<size_t>(total)};
}

FrameProbe CFrameProbes::form(std::span<const uint8_t> received, size_t maxBytes) {
    if (received.size() < 8) {
        return incomplete();
    }
    const uint64_t total = littleEndian32(received, 0);
    const uint64_t text = littleEndian32(received, 4);
    if (total > maxBytes || text + 8 > total) {
        return bad();
    }
    if (received.size() < total) {
        return incomplete();
    }
    return {FrameProbe::Kind::Complete, static_cast<size_t>(total)};
}

} // namespace tavik::server
