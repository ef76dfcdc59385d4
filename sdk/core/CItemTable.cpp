#include "sdk/core/CItemTable.h"

namespace tavik {

CItemTable::Item& CItemTable::obtain(std::string_view name) {
    auto found = index_.find(name);
    if (found != index_.end()) {
        return items_[found->second];
    }
    Item& item = items_.emplace_back();
    item.name.assign(name);
    index_.emplace(item.name, items_.size() - 1);
    return item;
}

const CItemTable::Item* CItemTable::find(std::string_view name) const {
    auto found = index_.find(name);
    return found == index_.end() ? nullptr : &items_[found->second];
}

bool CItemTable::erase(std::string_view name) {
    auto found = index_.find(name);
    if (found == index_.end()) {
        return false;
    }
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(found->second));
    reindex();
    return true;
}

void CItemTable::clear() {
    index_.clear();
    items_.clear();
}

void CItemTable::reindex() {
    index_.clear();
    for (size_t i = 0; i < items_.size(); ++i) {
        index_.emplace(items_[i].name, i);
    }
}

} // namespace tavik
