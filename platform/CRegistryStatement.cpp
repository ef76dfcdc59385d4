#include "platform/CRegistryStatement.h"

#include <cstring>
#include <sqlite3.h>

namespace tavik::platform {

CRegistryStatement::CRegistryStatement(sqlite3* db, const char* sql) {
    prepareResult_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

CRegistryStatement::~CRegistryStatement() {
    sqlite3_finalize(statement_);
}

void CRegistryStatement::bindInt64(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
}

void CRegistryStatement::bindNull(int index) {
    sqlite3_bind_null(statement_, index);
}

void CRegistryStatement::bindBytes(int index, const void* data, size_t size) {
    // SQLite binds a null pointer as NULL, not as an empty blob; empty data must stay a blob.
    if (size == 0) {
        sqlite3_bind_zeroblob(statement_, index, 0);
        return;
    }
    sqlite3_bind_blob64(statement_, index, data, size, SQLITE_TRANSIENT);
}

void CRegistryStatement::bindName(int index, std::u16string_view name) {
    bindBytes(index, name.data(), name.size() * sizeof(char16_t));
}

int CRegistryStatement::step() {
    return sqlite3_step(statement_);
}

void CRegistryStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

int64_t CRegistryStatement::columnInt64(int column) {
    return sqlite3_column_int64(statement_, column);
}

std::vector<uint8_t> CRegistryStatement::columnBytes(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    std::vector<uint8_t> bytes(static_cast<size_t>(size > 0 ? size : 0));
    if (!bytes.empty() && data != nullptr) {
        std::memcpy(bytes.data(), data, bytes.size());
    }
    return bytes;
}

std::u16string CRegistryStatement::columnName(int column) {
    std::vector<uint8_t> bytes = columnBytes(column);
    std::u16string name(bytes.size() / sizeof(char16_t), u'\0');
    if (!name.empty()) {
        std::memcpy(name.data(), bytes.data(), name.size() * sizeof(char16_t));
    }
    return name;
}

} // namespace tavik::platform
