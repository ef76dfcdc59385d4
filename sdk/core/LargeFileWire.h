// Items of the large-file extension of the remote-disk protocol, shared with the reference
// server. A client offers the extension with kOfferItem = kOfferVersion in its "setuser" request;
// a server that knows it answers with the same item in the login reply. Only then do the 64-bit
// items below travel, always beside the 32-bit items of the same meaning, which keep their
// clamped values (kClamped32 for a size or position that does not fit), so that a peer reading
// only the 32-bit items sees what it always saw. A peer that knows nothing of the extension
// ignores every item named here.
//
// A 64-bit item is a data item of exactly 8 bytes, little-endian; an item of any other length
// counts as absent. Positions and sizes are unsigned; "offset64" is a signed (two's complement)
// seek offset.
#pragma once

#include <cstdint>
#include <optional>

namespace tavik {

class CPacket;

namespace largefile {

inline constexpr const char* kOfferItem = "largefile";
inline constexpr int32_t kOfferVersion = 1;

// "download", "upload", "copyex": the byte range.
inline constexpr const char* kStartItem = "startpos64";
inline constexpr const char* kEndItem = "endpos64";
// "getlength" and "seekfile" replies: the size or the new position.
inline constexpr const char* kSizeItem = "size64";
// "seekfile" request: the offset.
inline constexpr const char* kOffsetItem = "offset64";
// "getquota" reply: free and total bytes of the disk.
inline constexpr const char* kFreeBytesItem = "freebytes64";
inline constexpr const char* kTotalBytesItem = "totalbytes64";
// "getfileinfo" reply: the prefix of the per-entry size items "s64_%d" (numbered as "s%d"),
// present only for entries whose size does not fit 32 bits.
inline constexpr const char* kEntrySizePrefix = "s64_";

inline constexpr int kItemBytes = 8;
// What a 32-bit size item carries for a size that does not fit it.
inline constexpr uint32_t kClamped32 = 0xFFFFFFFFu;
// The copy's raw position words are this long when the extension was agreed (else 4 bytes).
inline constexpr int kPositionWordBytes = 8;

// The 32-bit value that stands for value beside its 64-bit item.
inline uint32_t clamp32(uint64_t value) {
    return value > kClamped32 ? kClamped32 : static_cast<uint32_t>(value);
}

void setU64(CPacket& packet, const char* name, uint64_t value);
std::optional<uint64_t> getU64(const CPacket& packet, const char* name);
// The per-entry size item name of listing entry number (from 1): "s64_<number>".
void entrySizeName(char (&name)[24], int number);

} // namespace largefile
} // namespace tavik
