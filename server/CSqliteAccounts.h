// The accounts of the embedded store, in the SQLite state database (the file that holds the
// session keys): one row per account and one per account disk, in the disk list's order.
// Each account row remembers where the account came from: the configuration file ("config") or a
// command ("command"). Each change is one transaction. Thread-safe (one connection, calls
// serialised).
#pragma once

#include "server/CServiceStore.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

struct sqlite3;
struct sqlite3_stmt;

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
    // Writes the account; one it creates counts as made by command.
    StoreResult<CServiceStore::Done> upsert(const AccountConfig& account);
    // Writes the file's accounts and removes the file's accounts it no longer names, in one
    // transaction; the identifiers removed (CServiceStore::seedFileAccounts).
    StoreResult<std::vector<std::string>> seedFromFile(const std::vector<AccountConfig>& accounts);
    StoreResult<bool> remove(std::string_view identifier);
    StoreResult<bool> setPasswordHash(std::string_view identifier, std::string_view hash);
    StoreResult<bool> putDisk(std::string_view identifier, const AccountDisk& disk);
    StoreResult<bool> removeDisk(std::string_view identifier, std::string_view diskId);

private:
    static constexpr char kOriginFile[] = "config";
    static constexpr char kOriginCommand[] = "command";
    static constexpr size_t kCachedAccounts = 4096;

    explicit CSqliteAccounts(sqlite3* db) : db_(db) {}
    bool execute(const char* sql);
    bool addOriginColumn();
    // The account's row and disks, inside the caller's transaction and lock; a new row gets origin.
    bool write(const AccountConfig& account, std::string_view origin);
    // The account's row and disks gone, inside the caller's transaction and lock.
    bool erase(const std::string& identifier);
    std::string failure() const;
    // Reads one account's row and disks; nullopt when there is none. Under the lock.
    std::optional<AccountConfig> read(const std::string& identifier, bool& ok);
    bool writeDisks(const std::string& identifier, const std::vector<AccountDisk>& disks);

    // True when no other connection changed the file since the cache was filled; else empties it.
    bool cacheCurrent();

    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };

    std::mutex mutex_;
    sqlite3* db_;
    // Accounts found since the file last changed. A disk list asks for its account on every
    // request, and reading it from the file costs more than the rest of the request. Our own
    // writes empty it; other connections' commits move the file's data version.
    std::map<std::string, AccountConfig, std::less<>> cache_;
    int64_t cacheVersion_ = -1;
    std::unique_ptr<sqlite3_stmt, Finalizer> dataVersion_;
};

} // namespace tavik::server
