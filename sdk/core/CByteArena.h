// Memory for many small pieces that all live as long as their owner: pieces are cut from a few
// large blocks and freed together. Blocks never move, so a piece stays where it is until clear()
// or the arena's end. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tavik {

class CByteArena {
public:
    CByteArena() = default;
    CByteArena(const CByteArena&) = delete;
    CByteArena& operator=(const CByteArena&) = delete;

    // count bytes (uninitialised), at an address that is a multiple of alignment (a power of two
    // up to 16).
    uint8_t* allocate(size_t count, size_t alignment = 1);
    // Room for that many bytes in one block, ahead of many allocations.
    void reserve(size_t bytes);
    // Frees every piece at once.
    void clear();

private:
    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
    uint8_t* free_ = nullptr; // the unused tail of the block pieces are cut from
    size_t freeCount_ = 0;
};

} // namespace tavik
