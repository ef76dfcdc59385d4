// Record-set images on arbitrary bytes: Load checks the whole image, so every row it accepts
// must read without leaving the image, and a set rebuilt from what was read loads again with the
// same shape.
#include "codec/CMsgRecordSet.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using namespace tavik::app;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMsgRecordSet read;
    if (!read.Load(std::span<const uint8_t>(data, size))) {
        check(read.ColumnCount() == 0 && !read.NextRow());
        return 0;
    }
    check(read.Image().size() == size);

    // Columns whose names survive the code page and are unique can be written again.
    CMsgRecordSet rebuilt;
    bool rebuildable = read.ColumnCount() > 0;
    for (size_t i = 0; i < read.ColumnCount(); ++i) {
        rebuildable =
            rebuilt.AddColumn(read.ColumnName(i), read.ColumnType(i), read.ColumnSize(i)) &&
            rebuildable;
    }
    rebuildable = rebuildable && rebuilt.WriteHeader();
    size_t rows = 0;
    while (read.NextRow()) {
        ++rows;
        for (size_t i = 0; i < read.ColumnCount(); ++i) {
            std::u16string name = read.ColumnName(i);
            std::u16string text;
            std::vector<uint8_t> bytes;
            int32_t number = 0;
            if (read.GetString(name, text) && rebuildable) {
                rebuilt.SetString(name, text);
            }
            if (read.GetBytes(name, bytes) && rebuildable) {
                rebuilt.SetBytes(name, bytes);
            }
            if (read.GetInt(name, number) && rebuildable) {
                rebuilt.SetInt(name, number);
            }
        }
        if (rebuildable) {
            check(rebuilt.AddRow());
        }
    }
    check(rows == read.RowCount());
    if (rebuildable) {
        check(rebuilt.Finish());
        CMsgRecordSet again;
        check(again.Load(rebuilt.Image()));
        check(again.RowCount() == rows && again.ColumnCount() == read.ColumnCount());
    }
    return 0;
}
