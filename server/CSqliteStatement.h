// A prepared SQLite statement that finalises itself. A statement that did not prepare is not
// valid: binding it does nothing and stepping it gives SQLITE_ERROR, so callers may check once,
// at the step. Used by one thread at a time (the connection's owner holds its lock).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tavik::server {

class CSqliteStatement {
public:
    CSqliteStatement(sqlite3* db, const char* sql);
    ~CSqliteStatement();
    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;

    bool valid() const { return statement_ != nullptr; }
    // Parameters count from 1; the values are copied.
    CSqliteStatement& bind(int index, std::string_view text);
    CSqliteStatement& bind(int index, int64_t value);
    CSqliteStatement& bindBlob(int index, std::string_view bytes);
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step();
    // A column of the current row; "" for NULL.
    std::string text(int column) const;
    int64_t integer(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
};

} // namespace tavik::server
