#include "server/CSqliteStatement.h"

#include <sqlite3.h>

namespace tavik::server {

CSqliteStatement::CSqliteStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

CSqliteStatement::~CSqliteStatement() {
    sqlite3_finalize(statement_);
}

CSqliteStatement& CSqliteStatement::bind(int index, std::string_view text) {
    if (valid()) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

CSqliteStatement& CSqliteStatement::bind(int index, int64_t value) {
    if (valid()) {
        sqlite3_bind_int64(statement_, index, value);
    }
    return *this;
}

CSqliteStatement& CSqliteStatement::bindBlob(int index, std::string_view bytes) {
    if (valid()) {
        sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

int CSqliteStatement::step() {
    return valid() ? sqlite3_step(statement_) : SQLITE_ERROR;
}

std::string CSqliteStatement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes != nullptr ? reinterpret_cast<const char*>(bytes) : "";
}

int64_t CSqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

} // namespace tavik::server
