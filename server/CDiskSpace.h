// Space of one disk for "getquota" and for the checks before writes. With a configured quota
// the disk's size is the quota and its use is the sum of the sizes of the regular files below
// its root (links not followed); the free space is also capped by the file system's. Without a
// quota the file system's own numbers are reported.
#pragma once

#include "server/CServerConfig.h"
#include "server/Outcome.h"

#include <cstdint>
#include <filesystem>

namespace tavik::server {

// The three 32-bit words of "getquota": free bytes = block x free.
struct SpaceWords {
    uint32_t block = 0;
    uint32_t free = 0;
    uint32_t total = 0;
};

class CDiskSpace {
public:
    explicit CDiskSpace(const DiskConfig& disk) : disk_(disk) {}

    // Bytes that writes may still add; 23004 when the file system cannot be asked.
    Outcome<uint64_t> freeBytes() const;
    Outcome<SpaceWords> words() const;

    static uint64_t usedBytes(const std::filesystem::path& root);
    // Scales the block size up (doubling) until the total fits 32 bits.
    static SpaceWords toWords(uint64_t blockSize, uint64_t freeBytes, uint64_t totalBytes);

private:
    const DiskConfig& disk_;
};

} // namespace tavik::server
