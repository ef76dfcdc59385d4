// One prepared SQLite statement of the registry store (RAII: finalized by the destructor).
// Names travel as raw UTF-16 blobs so that every code unit, even an unpaired surrogate, is kept
// exactly. Used under the store's lock only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tavik::platform {

class CRegistryStatement {
public:
    CRegistryStatement(sqlite3* db, const char* sql);
    ~CRegistryStatement();
    CRegistryStatement(const CRegistryStatement&) = delete;
    CRegistryStatement& operator=(const CRegistryStatement&) = delete;

    // The SQLite result of preparing the statement (SQLITE_OK when usable).
    int prepareResult() const { return prepareResult_; }

    // Parameters are numbered from 1, as in SQLite.
    void bindInt64(int index, int64_t value);
    void bindNull(int index);
    void bindBytes(int index, const void* data, size_t size);
    void bindName(int index, std::u16string_view name);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Makes the statement ready to run again with new parameters.
    void reset();

    int64_t columnInt64(int column);
    std::vector<uint8_t> columnBytes(int column);
    std::u16string columnName(int column);

private:
    sqlite3_stmt* statement_ = nullptr;
    int prepareResult_ = 0;
};

} // namespace tavik::platform
