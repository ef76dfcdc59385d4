// The items of one packet: names (ANSI, as written on the wire) with their value bytes, kept in
// the order each name was first set and found by name through a hash index. Setting a name
// again replaces its value in place. Not thread-safe; owned by its packet.
//
// Names and values live in a few large blocks instead of one heap block each: a listing reply
// carries tens of thousands of items, and allocating, indexing and freeing them one by one cost
// more than the listing itself. Blocks never move, so the bytes of an item stay where they are
// until that item is set again or the table is cleared; setting or adding other items leaves
// them alone.
#pragma once

#include "sdk/core/CByteArena.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tavik {

class CItemTable {
public:
    // A view of one item, valid as long as the item's bytes are (see above).
    struct Item {
        std::string_view name;
        std::span<const uint8_t> bytes;
    };

    CItemTable() = default;
    CItemTable(const CItemTable&) = delete;
    CItemTable& operator=(const CItemTable&) = delete;

    // Stores a copy of the bytes under the name: in place of the item of that name, or as a
    // new item at the end. Returns the length of the value it replaced (0 for a new item).
    size_t set(std::string_view name, std::span<const uint8_t> bytes);
    // False when no item has that name; otherwise fills item.
    bool find(std::string_view name, Item& item) const;
    // Removes the item of that name; false when there is none. Costs a pass over the table.
    bool erase(std::string_view name);
    void clear();
    // Room for that many items and bytes of names and values, taken before a packet is decoded.
    void reserve(size_t items, size_t bytes);

    size_t size() const { return slots_.size(); }
    // The item at a position in the order of first setting; position < size().
    Item at(size_t position) const;

private:
    struct Slot {
        const char* name;
        uint8_t* value;
        uint32_t nameLength;
        uint32_t valueLength;
        uint32_t capacity; // bytes reserved for the value; a shorter new value reuses them
        uint32_t hash;
    };

    static uint32_t hashOf(std::string_view name);
    static bool sameName(const Slot& slot, std::string_view name);
    // The bucket holding the item of that name, or else the empty bucket where it would go.
    size_t locate(std::string_view name, uint32_t hash) const;
    // The slot's position, or -1: by a scan while the table has no index, else through it.
    std::ptrdiff_t scan(std::string_view name, uint32_t hash) const;
    std::ptrdiff_t position(std::string_view name) const;
    size_t replace(Slot& slot, std::span<const uint8_t> bytes);
    void append(std::string_view name, std::span<const uint8_t> bytes, uint32_t hash);
    void growIndex(size_t items);
    void reindex();

    std::vector<Slot> slots_;
    // Open addressing with linear probing: position + 1 of a slot, 0 for an empty bucket. The
    // size is a power of two and at most half the buckets are used. Empty while the table is
    // small enough to scan.
    std::vector<uint32_t> index_;
    CByteArena bytes_;
    // Where the last found item's successor sits: readers nearly always ask for the items in the
    // order they were sent, so the next lookup usually needs no hashing at all.
    mutable size_t next_ = 0;
};

} // namespace tavik
