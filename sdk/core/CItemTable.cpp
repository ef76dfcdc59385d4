#include "sdk/core/CItemTable.h"

#include <algorithm>
#include <cstring>

namespace tavik {

namespace {

constexpr size_t kMinIndexSize = 16;
// Up to this many items a table has no index: a scan of a few slots beats hashing into a table
// allocated for it, and nearly every request and reply is that small.
constexpr size_t kScanLimit = 8;

} // namespace

uint32_t CItemTable::hashOf(std::string_view name) {
    // FNV-1a: names are short, and this needs no setup.
    uint32_t hash = 2166136261u;
    for (char c : name) {
        hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    }
    return hash;
}

bool CItemTable::sameName(const Slot& slot, std::string_view name) {
    return slot.nameLength == name.size() && std::memcmp(slot.name, name.data(), name.size()) == 0;
}

size_t CItemTable::locate(std::string_view name, uint32_t hash) const {
    const size_t mask = index_.size() - 1;
    size_t bucket = hash & mask;
    for (; index_[bucket] != 0; bucket = (bucket + 1) & mask) {
        const Slot& slot = slots_[index_[bucket] - 1];
        if (slot.hash == hash && sameName(slot, name)) {
            break;
        }
    }
    return bucket;
}

void CItemTable::growIndex(size_t items) {
    size_t size = std::max(index_.size(), kMinIndexSize);
    while (size < 2 * items) {
        size *= 2;
    }
    if (size != index_.size()) {
        index_.resize(size);
        reindex();
    }
}

void CItemTable::reindex() {
    std::fill(index_.begin(), index_.end(), 0);
    const size_t mask = index_.size() - 1;
    for (size_t i = 0; i < slots_.size(); ++i) {
        // Names are unique, so each goes to the first empty bucket of its chain.
        size_t bucket = slots_[i].hash & mask;
        while (index_[bucket] != 0) {
            bucket = (bucket + 1) & mask;
        }
        index_[bucket] = static_cast<uint32_t>(i + 1);
    }
}

std::ptrdiff_t CItemTable::scan(std::string_view name, uint32_t hash) const {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].hash == hash && sameName(slots_[i], name)) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

size_t CItemTable::replace(Slot& slot, std::span<const uint8_t> bytes) {
    const size_t replaced = slot.valueLength;
    if (bytes.size() > slot.capacity) {
        // Doubling keeps a value that keeps growing from wasting more than it holds.
        const size_t capacity = std::max(bytes.size(), size_t{slot.capacity} * 2);
        slot.value = bytes_.allocate(capacity);
        slot.capacity = static_cast<uint32_t>(capacity);
    }
    // The new bytes may be the item's own (set from what find gave): memmove, not memcpy.
    std::memmove(slot.value, bytes.data(), bytes.size());
    slot.valueLength = static_cast<uint32_t>(bytes.size());
    return replaced;
}

void CItemTable::append(std::string_view name, std::span<const uint8_t> bytes, uint32_t hash) {
    uint8_t* at = bytes_.allocate(name.size() + bytes.size());
    std::memcpy(at, name.data(), name.size());
    std::memcpy(at + name.size(), bytes.data(), bytes.size());
    if (slots_.capacity() == 0) {
        slots_.reserve(kScanLimit);
    }
    slots_.push_back(Slot{reinterpret_cast<const char*>(at), at + name.size(),
                          static_cast<uint32_t>(name.size()), static_cast<uint32_t>(bytes.size()),
                          static_cast<uint32_t>(bytes.size()), hash});
}

size_t CItemTable::set(std::string_view name, std::span<const uint8_t> bytes) {
    const uint32_t hash = hashOf(name);
    if (index_.empty() && slots_.size() < kScanLimit) {
        const std::ptrdiff_t found = scan(name, hash);
        if (found >= 0) {
            return replace(slots_[static_cast<size_t>(found)], bytes);
        }
        append(name, bytes, hash);
        return 0;
    }
    growIndex(slots_.size() + 1);
    const size_t bucket = locate(name, hash);
    if (index_[bucket] != 0) {
        return replace(slots_[index_[bucket] - 1], bytes);
    }
    append(name, bytes, hash);
    index_[bucket] = static_cast<uint32_t>(slots_.size());
    return 0;
}

bool CItemTable::find(std::string_view name, Item& item) const {
    if (next_ < slots_.size() && sameName(slots_[next_], name)) {
        item = at(next_++);
        return true;
    }
    const std::ptrdiff_t found = position(name);
    if (found < 0) {
        return false;
    }
    next_ = static_cast<size_t>(found) + 1;
    item = at(static_cast<size_t>(found));
    return true;
}

std::ptrdiff_t CItemTable::position(std::string_view name) const {
    const uint32_t hash = hashOf(name);
    if (index_.empty()) {
        return scan(name, hash);
    }
    const uint32_t entry = index_[locate(name, hash)];
    return entry == 0 ? -1 : static_cast<std::ptrdiff_t>(entry - 1);
}

bool CItemTable::erase(std::string_view name) {
    const std::ptrdiff_t found = position(name);
    if (found < 0) {
        return false;
    }
    // The bytes stay in the arena until the table is cleared; a removal is rare.
    slots_.erase(slots_.begin() + found);
    if (!index_.empty()) {
        reindex();
    }
    next_ = 0;
    return true;
}

void CItemTable::clear() {
    slots_.clear();
    index_.clear();
    bytes_.clear();
    next_ = 0;
}

void CItemTable::reserve(size_t items, size_t bytes) {
    slots_.reserve(slots_.size() + items);
    if (slots_.size() + items > kScanLimit) {
        growIndex(slots_.size() + items);
    }
    bytes_.reserve(bytes);
}

CItemTable::Item CItemTable::at(size_t position) const {
    const Slot& slot = slots_[position];
    return Item{std::string_view(slot.name, slot.nameLength), {slot.value, slot.valueLength}};
}

} // namespace tavik
