#include "codec/CFormRecordTable.h"

#include "codec/CFormMessage.h"

namespace tavik::app {

namespace {

std::vector<std::u16string_view> splitItems(std::u16string_view list) {
    std::vector<std::u16string_view> items;
    while (!list.empty()) {
        size_t bar = list.find(u'|');
        items.push_back(list.substr(0, bar));
        list = bar == std::u16string_view::npos ? std::u16string_view() : list.substr(bar + 1);
    }
    return items;
}

} // namespace

bool CFormRecordTable::Load(std::u16string_view names, std::u16string_view values) {
    records_.clear();
    const std::vector<std::u16string_view> fields = splitItems(names);
    const std::vector<std::u16string_view> items = splitItems(values);
    if (fields.empty() || items.size() % fields.size() != 0) {
        return false;
    }
    records_.resize(items.size() / fields.size());
    for (size_t i = 0; i < items.size(); ++i) {
        records_[i / fields.size()][std::u16string(fields[i % fields.size()])] = items[i];
    }
    return true;
}

bool CFormRecordTable::Load(const CFormMessage& message, std::u16string_view namesKey,
                            std::u16string_view valuesKey) {
    std::u16string names;
    std::u16string values;
    if (!message.GetValue(namesKey, names) || !message.GetValue(valuesKey, values)) {
        records_.clear();
        return false;
    }
    return Load(names, values);
}

bool CFormRecordTable::GetValue(size_t record, std::u16string_view field,
                                std::u16string& value) const {
    if (record >= records_.size()) {
        return false;
    }
    auto found = records_[record].find(field);
    if (found == records_[record].end()) {
        return false;
    }
    value = found->second;
    return true;
}

} // namespace tavik::app
