#include "sdk/core/CByteArena.h"

namespace tavik {

namespace {

// Small enough not to waste much on a one-item request; bulk users reserve what they need.
constexpr size_t kBlockBytes = 4096;
// A piece above this gets a block of its own, so that it never leaves most of a block unused.
constexpr size_t kOwnBlockBytes = kBlockBytes / 4;

} // namespace

uint8_t* CByteArena::allocate(size_t count, size_t alignment) {
    // new[] blocks are aligned to 16, so only the cut inside a block needs rounding.
    const size_t skip = static_cast<size_t>(-reinterpret_cast<uintptr_t>(free_)) & (alignment - 1);
    if (free_ != nullptr && skip + count <= freeCount_) {
        uint8_t* at = free_ + skip;
        free_ += skip + count;
        freeCount_ -= skip + count;
        return at;
    }
    if (count > kOwnBlockBytes) {
        blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(count));
        return blocks_.back().get();
    }
    blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kBlockBytes));
    free_ = blocks_.back().get() + count;
    freeCount_ = kBlockBytes - count;
    return blocks_.back().get();
}

void CByteArena::reserve(size_t bytes) {
    if (bytes > freeCount_) {
        blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(bytes));
        free_ = blocks_.back().get();
        freeCount_ = bytes;
    }
}

void CByteArena::clear() {
    blocks_.clear();
    free_ = nullptr;
    freeCount_ = 0;
}

} // namespace tavik
