#include "server/CSqliteFile.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

namespace tavik::server {

namespace {

constexpr int kBusyWaitMs = 5000;

void createPrivate(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace

sqlite3* CSqliteFile::open(const std::filesystem::path& file, std::string& error) {
    if (file != ":memory:") {
        createPrivate(file);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = "cannot open the state database " + file.string() + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyWaitMs);
    return db;
}

} // namespace tavik::server
