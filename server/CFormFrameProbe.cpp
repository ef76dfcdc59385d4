#include "server/CFormFrameProbe.h"

namespace tavik::server {

namespace {

uint64_t littleEndian32(std::span<const uint8_t> bytes, size_t at) {
    return uint64_t{bytes[at]} | (uint64_t{bytes[at + 1]} << 8) | (uint64_t{bytes[at + 2]} << 16) |
           (uint64_t{bytes[at + 3]} << 24);
}

constexpr FrameProbe incomplete() {
    return {FrameProbe::Kind::Incomplete, 0};
}
constexpr FrameProbe bad() {
    return {FrameProbe::Kind::Bad, 0};
}

} // namespace

FrameProbe CFormFrameProbe::probe(std::span<const uint8_t> received, size_t maxBytes) {
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
