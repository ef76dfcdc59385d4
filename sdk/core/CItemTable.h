// The items of one packet: names (ANSI, as written on the wire) with their value bytes, kept in
// the order each name was first set and found by name through a hash index. Setting a name
// again replaces its value in place. Not thread-safe; owned by its packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavik {

class CItemTable {
public:
    struct Item {
        std::string name;
        std::vector<uint8_t> bytes;
    };

    CItemTable() = default;
    CItemTable(const CItemTable&) = delete;
    CItemTable& operator=(const CItemTable&) = delete;

    // The item of that name, created empty at the end when there is none.
    Item& obtain(std::string_view name);
    // Null when no item has that name.
    const Item* find(std::string_view name) const;
    // Removes the item of that name; false when there is none. Costs a pass over the table.
    bool erase(std::string_view name);
    void clear();

    size_t size() const { return items_.size(); }
    std::deque<Item>::const_iterator begin() const { return items_.begin(); }
    std::deque<Item>::const_iterator end() const { return items_.end(); }

private:
    void reindex();

    // A deque never moves its elements when one is appended, so the index may point into the
    // names it holds.
    std::deque<Item> items_;
    std::unordered_map<std::string_view, size_t> index_;
};

} // namespace tavik
