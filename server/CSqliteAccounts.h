// The accounts of the embedded store, in the SQLite state database (the file that holds the
// session keys): one row per account and one per account disk, in the disk list's order.
// Each change is one transaction. Thread-safe (one connection, calls serialised).
#pragma once

#include "server/CServiceStore.h"

#include <filesystem>
#include <memory>
#include <mutex>

struct sqlite3;

namespace tavik::server {

class CSqliteAccounts {
public:
    ~CSqliteAccounts();
    CSqliteAccounts(const CSqliteAccounts&) = delete;
    CSqliteAccounts& operator=(const CSqliteAccounts&) = delete;

    // Opens (creating when missing, mode 0600) the database; ":memory:" makes a private one.
    // nullptr with error when it cannot be opened or set up.
    static std::unique_ptr<CSqliteAccounts> open(const std::filesystem::path& file,
                                                 std::string& error);

    StoreResult<std::optional<AccountConfig>> find(std::string_view identifier);
    StoreResult<std::vector<AccountConfig>> list();
    StoreResult<CServiceStore::Done> upsert(const AccountConfig& account);
    StoreResult<bool> remove(std::string_view identifier);
    StoreResult<bool> setPasswordHash(std::string_view identifier, std::string_view hash);
    StoreResult<bool> putDisk(std::string_view identifier, const AccountDisk& disk);
    StoreResult<bool> removeDisk(std::string_view identifier, std::string_view diskId);

private:
    explicit CSqliteAccounts(sqlite3* db) : db_(db) {}
    bool execute(const char* sql);
    std::string failure() const;
    // Reads one account's row and disks; nullopt when there is none. Under the lock.
    std::optional<AccountConfig> read(const std::string& identifier, bool& ok);
    bool writeDisks(const std::string& identifier, const std::vector<AccountDisk>& disks);

    std::mutex mutex_;
    sqlite3* db_;
};

} // namespace tavik::server
