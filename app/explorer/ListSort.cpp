#include "app/explorer/ListSort.h"

#include "app/explorer/ListRow.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>
#include <limits>
#include <numeric>

namespace tavik::app {

int64_t NumericSortKey(const QString& keyText) {
    QString text = keyText;
    text.chop(2);
    text.remove(QLatin1Char(','));
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        const int digit = text[i].unicode() - u'0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

namespace {

std::vector<int> Identity(size_t count) {
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    return order;
}

std::vector<int> NumericOrder(const std::vector<SortInput>& rows) {
    std::vector<int64_t> keys;
    keys.reserve(rows.size());
    for (const SortInput& row : rows) {
        keys.push_back(row.sizeText == kFolderSizeText ? -1 : NumericSortKey(row.keyText));
    }
    std::vector<int> order = Identity(rows.size());
    std::stable_sort(order.begin(), order.end(),
                     [&keys](int a, int b) { return keys[a] < keys[b]; });
    return order;
}

std::vector<int> TextOrder(const std::vector<SortInput>& rows) {
    // Collation keys are computed once per row, so each comparison is a plain byte compare.
    QCollator collator;
    std::vector<QCollatorSortKey> keys;
    std::vector<char> folder;
    keys.reserve(rows.size());
    folder.reserve(rows.size());
    for (const SortInput& row : rows) {
        keys.push_back(collator.sortKey(row.keyText));
        folder.push_back(row.sizeText == kFolderSizeText ? 1 : 0);
    }
    std::vector<int> order = Identity(rows.size());
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (folder[a] != folder[b]) {
            return folder[a] > folder[b];
        }
        return keys[a].compare(keys[b]) < 0;
    });
    return order;
}

} // namespace

std::vector<int> SortOrder(const std::vector<SortInput>& rows, bool numeric) {
    return numeric ? NumericOrder(rows) : TextOrder(rows);
}

} // namespace tavik::app
