// A record set: a small table of named, typed columns carried as a type-3 value of a typed body.
// Image, all numbers big-endian:
//   image length - 4 (32 bits), column count (16), row count (16);
//   per column, in ascending order of name bytes: type (8), size (16), name length M (16),
//     M name bytes (ANSI), NUL;
//   the rows: per column in the same order, value length (16) and the value bytes.
// Column types: 1 string of at most `size` bytes with its NUL (stored with it), 2 bytes of at most
// `size` bytes, 3 and 4 a 32-bit integer (size 4; the format keeps two codes for it).
//
// Writing: AddColumn ..., WriteHeader, then per row Set... and AddRow, finally Finish. A cell
// keeps its value from one row to the next until set again; before the first Set a string cell
// is empty, a bytes cell holds nothing and an integer cell is 0.
// Reading: Load checks the whole image, then NextRow per row and Get... by column name.
// Column names are compared by their ANSI bytes, exactly. A value type; one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

class CMsgRecordSet {
public:
    enum ColumnType : uint8_t {
        kColumnString = 1,
        kColumnBytes = 2,
        kColumnInt = 3,
        kColumnInt4 = 4,
    };

    // False after WriteHeader or after Load, for an unknown type, an empty or repeated name, a
    // name longer than 65,535 ANSI bytes, a size of 0 for types 1 and 2, and a size other than 4
    // for types 3 and 4.
    bool AddColumn(std::u16string_view name, uint8_t type, uint16_t size);
    // Sorts the columns by name and writes their definitions; false when already written, after
    // Load, or without any column.
    bool WriteHeader();

    // Set a current cell; false for an unknown column, a column of another type, or a value that
    // does not fit the column's size (for a string: its ANSI bytes plus NUL).
    bool SetString(std::u16string_view column, std::u16string_view text);
    bool SetBytes(std::u16string_view column, std::span<const uint8_t> bytes);
    bool SetInt(std::u16string_view column, int32_t value);
    // Appends the current cells as one row; false before WriteHeader, after Finish, at 65,535 rows,
    // or when the image would pass 4 GiB.
    bool AddRow();
    // Fills in the row count and length; false before WriteHeader. The image stays available.
    bool Finish();
    bool IsFinished() const { return finished_; }
    // The image so far; complete once Finish or Load succeeded.
    const std::vector<uint8_t>& Image() const { return image_; }

    // Takes a copy of the image and checks it whole: first field equal to the image length - 4,
    // known column types, every definition and every cell inside the image, no cell longer than
    // its column's size, and no byte after the last row. False leaves the set empty.
    bool Load(std::span<const uint8_t> image);
    // Makes the next row's cells current; false after the last row.
    bool NextRow();
    // The current cell of a column; false for an unknown column or a column of another type
    // (integers: also when the cell is not 4 bytes). A string is read up to its first NUL.
    bool GetString(std::u16string_view column, std::u16string& text) const;
    bool GetBytes(std::u16string_view column, std::vector<uint8_t>& bytes) const;
    bool GetInt(std::u16string_view column, int32_t& value) const;

    size_t ColumnCount() const { return columns_.size(); }
    // Name, type and size of a column, in image order (by name once the header is written);
    // the index must be below ColumnCount().
    std::u16string ColumnName(size_t index) const;
    uint8_t ColumnType(size_t index) const { return columns_[index].type; }
    uint16_t ColumnSize(size_t index) const { return columns_[index].size; }
    size_t RowCount() const { return rowCount_; }

private:
    struct Column {
        std::string name;
        uint8_t type;
        uint16_t size;
        std::vector<uint8_t> cell;
    };

    Column* findColumn(std::u16string_view name, uint8_t type);
    const Column* findColumn(std::u16string_view name, uint8_t type) const;
    // The column of that name when its type matches (either integer code matches the other).
    int columnIndex(std::u16string_view name, uint8_t type) const;
    bool readColumns(size_t& at);
    bool skipRows(size_t at) const;

    std::vector<Column> columns_;
    std::vector<uint8_t> image_;
    bool headerWritten_ = false;
    bool finished_ = false;
    bool loaded_ = false;
    size_t rowCount_ = 0;
    // Reading: where the next row starts in the image.
    size_t readAt_ = 0;
    size_t rowsRead_ = 0;
};

} // namespace tavik::app
