// A small table carried inside one text value of a text map. Text form:
//   each column name followed by "|", then "&", the row count in decimal, "&", then the cells
//   row by row, in column order, each escaped (MsgText.h) and followed by "|".
// Column names are normalised like text-map keys (and escaped like cells, which leaves ordinary
// names as they are).
//
// Writing: AddColumn while the column list is open, CloseColumns, then for each row SetCell for
// its columns and AddRow. A cell keeps its value from one row to the next until set again.
// Reading: Parse, then NextRow per row and GetCell by column name.
// A value type; one thread at a time per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

class CMsgTextTable {
public:
    // False once the list is closed, for a name empty after normalisation, or for a name
    // already present.
    bool AddColumn(std::u16string_view name);
    void CloseColumns();
    // Set the current value of a column; false for a column that does not exist.
    bool SetCell(std::u16string_view column, std::u16string_view text);
    bool SetCellInt(std::u16string_view column, int32_t value);
    // Appends the current values as one row; false while the column list is still open.
    bool AddRow();

    // The text form, as far as the table has been written.
    std::u16string Format() const;
    // Replaces the table with the one in the text, ready for NextRow from its first row. False,
    // leaving the table empty, when the text lacks the "&count&" part, the count is not a
    // non-negative decimal number, or a column name is empty or repeated.
    bool Parse(std::u16string_view text);
    // Makes the next row's cells current. False after the last row, and when the text ends
    // before the row's first cell; cells missing at the very end of the text read as empty (a
    // missing trailing "|" ends the last cell at the end of the text).
    bool NextRow();
    // The current value of a column; false for an unknown column.
    bool GetCell(std::u16string_view column, std::u16string& text) const;

    const std::vector<std::u16string>& Columns() const { return columns_; }
    size_t RowCount() const { return rowCount_; }

private:
    int columnIndex(std::u16string_view column) const;

    std::vector<std::u16string> columns_;
    std::vector<std::u16string> cells_;
    bool closed_ = false;
    size_t rowCount_ = 0;
    // The rows' text as it travels, and where the next row starts in it when reading.
    std::u16string rowsText_;
    size_t readAt_ = 0;
    size_t rowsRead_ = 0;
};

} // namespace tavik::app
