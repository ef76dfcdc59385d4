// The order the panes show their rows in, ascending by one column:
//   - text sort: folder rows (column 1 "폴더") before every other row; within each group by the
//     column's text in the user's locale collation;
//   - numeric sort: the key of a folder row is -1, of any other row the integer value of the
//     column's text after dropping its last two characters and every ","; so with plain byte
//     sizes files order by size with the last two digits ignored (100, 250, 1000 → 1, 2, 10).
// Both are O(n log n) on any input (already sorted included) and stable, so rows with equal keys
// keep the order they were listed in.
// Threads: any; no shared state.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace tavik::app {

// What the sorts read of one row.
struct SortInput {
    QString sizeText; // column 1: "폴더" marks a folder row
    QString keyText;  // the sort column's text
};

// The numeric key of a row's sort-column text (not for folder rows, whose key is -1): leading
// blanks skipped, an optional sign, then the decimal digits up to the first other character, as
// the C library's atoi reads; 0 when there are none. Values beyond 64 bits saturate.
int64_t NumericSortKey(const QString& keyText);

// The new order of the rows: element k is the index of the row that goes to position k.
std::vector<int> SortOrder(const std::vector<SortInput>& rows, bool numeric);

} // namespace tavik::app
