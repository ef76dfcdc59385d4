#include "server/CSqliteAccounts.h"

#include "server/CSqliteFile.h"
#include "server/CSqliteStatement.h"

#include <sqlite3.h>

#include <algorithm>

namespace tavik::server {

namespace {

// Rolls back unless committed.
class CTransaction {
public:
    explicit CTransaction(sqlite3* db) : db_(db) {
        began_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~CTransaction() {
        if (began_ && !done_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;
    bool began() const { return began_; }
    bool commit() {
        done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return done_;
    }

private:
    sqlite3* db_;
    bool began_ = false;
    bool done_ = false;
};

} // namespace

CSqliteAccounts::~CSqliteAccounts() {
    dataVersion_.reset(); // a statement must go before its connection
    sqlite3_close(db_);
}

void CSqliteAccounts::Finalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

bool CSqliteAccounts::cacheCurrent() {
    if (!dataVersion_) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &statement, nullptr) != SQLITE_OK) {
            cache_.clear();
            return false;
        }
        dataVersion_.reset(statement);
    }
    const bool read = sqlite3_step(dataVersion_.get()) == SQLITE_ROW;
    const int64_t version = read ? sqlite3_column_int64(dataVersion_.get(), 0) : -1;
    sqlite3_reset(dataVersion_.get());
    if (!read || version != cacheVersion_) {
        cache_.clear();
        cacheVersion_ = version;
        return false;
    }
    return true;
}

std::unique_ptr<CSqliteAccounts> CSqliteAccounts::open(const std::filesystem::path& file,
                                                       std::string& error) {
    sqlite3* db = CSqliteFile::open(file, error);
    if (db == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CSqliteAccounts> accounts(new CSqliteAccounts(db));
    if (!accounts->execute("CREATE TABLE IF NOT EXISTS account ("
                           " identifier TEXT PRIMARY KEY, user TEXT NOT NULL,"
                           " domain TEXT NOT NULL, password_hash TEXT NOT NULL,"
                           " display_name TEXT NOT NULL, user_number INTEGER NOT NULL);"
                           "CREATE TABLE IF NOT EXISTS account_disk ("
                           " identifier TEXT NOT NULL, position INTEGER NOT NULL,"
                           " disk_id TEXT NOT NULL, name TEXT NOT NULL, server TEXT NOT NULL,"
                           " PRIMARY KEY (identifier, disk_id))") ||
        !accounts->addOriginColumn()) {
        error = "state database " + file.string() + ": " + accounts->failure();
        return nullptr;
    }
    return accounts;
}

// A database written before accounts knew their origin holds the file's accounts and perhaps a
// few made by command; it cannot tell which, so they all count as the file's: a revoked account
// must not outlive its entry, and one removed by mistake is named in the log at start and can be
// added again.
bool CSqliteAccounts::addOriginColumn() {
    CSqliteStatement column(db_,
                            "SELECT 1 FROM pragma_table_info('account') WHERE name = 'origin'");
    const int state = column.step();
    if (state == SQLITE_ROW) {
        return true;
    }
    return state == SQLITE_DONE &&
           execute("ALTER TABLE account ADD COLUMN origin TEXT NOT NULL DEFAULT 'config'");
}

bool CSqliteAccounts::execute(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string CSqliteAccounts::failure() const {
    return std::string("state database: ") + sqlite3_errmsg(db_);
}

std::optional<AccountConfig> CSqliteAccounts::read(const std::string& identifier, bool& ok) {
    ok = true;
    CSqliteStatement row(db_, "SELECT user, domain, password_hash, display_name, user_number"
                              " FROM account WHERE identifier = ?1");
    const int state = row.bind(1, identifier).step();
    if (state != SQLITE_ROW) {
        ok = state == SQLITE_DONE;
        return std::nullopt;
    }
    AccountConfig account{row.text(0), row.text(1), row.text(2), row.text(3), row.integer(4), {}};
    CSqliteStatement disks(db_, "SELECT disk_id, name, server FROM account_disk"
                                " WHERE identifier = ?1 ORDER BY position");
    disks.bind(1, identifier);
    int step = SQLITE_ERROR;
    while ((step = disks.step()) == SQLITE_ROW) {
        account.disks.push_back({disks.text(0), disks.text(1), disks.text(2)});
    }
    ok = step == SQLITE_DONE;
    return account;
}

StoreResult<std::optional<AccountConfig>> CSqliteAccounts::find(std::string_view identifier) {
    const auto canonical = canonicalIdentifier(identifier);
    if (!canonical) {
        return StoreResult<std::optional<AccountConfig>>::ok(std::nullopt);
    }
    std::lock_guard lock(mutex_);
    if (cacheCurrent()) {
        if (const auto hit = cache_.find(*canonical); hit != cache_.end()) {
            return StoreResult<std::optional<AccountConfig>>::ok(hit->second);
        }
    }
    bool ok = false;
    auto account = read(*canonical, ok);
    if (!ok) {
        return StoreResult<std::optional<AccountConfig>>::fail(failure());
    }
    // Only accounts that exist are kept, and only so many: names that do not exist cost a read
    // each rather than memory.
    if (account && cache_.size() < kCachedAccounts) {
        cache_.emplace(*canonical, *account);
    }
    return StoreResult<std::optional<AccountConfig>>::ok(std::move(account));
}

StoreResult<std::vector<AccountConfig>> CSqliteAccounts::list() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> identifiers;
    CSqliteStatement rows(db_, "SELECT identifier FROM account ORDER BY identifier");
    int step = SQLITE_ERROR;
    while ((step = rows.step()) == SQLITE_ROW) {
        identifiers.push_back(rows.text(0));
    }
    std::vector<AccountConfig> accounts;
    bool ok = step == SQLITE_DONE;
    for (const std::string& identifier : identifiers) {
        if (auto account = ok ? read(identifier, ok) : std::nullopt) {
            accounts.push_back(std::move(*account));
        }
    }
    return ok ? StoreResult<std::vector<AccountConfig>>::ok(std::move(accounts))
              : StoreResult<std::vector<AccountConfig>>::fail(failure());
}

bool CSqliteAccounts::writeDisks(const std::string& identifier,
                                 const std::vector<AccountDisk>& disks) {
    CSqliteStatement clear(db_, "DELETE FROM account_disk WHERE identifier = ?1");
    if (clear.bind(1, identifier).step() != SQLITE_DONE) {
        return false;
    }
    int64_t position = 0;
    for (const AccountDisk& disk : disks) {
        CSqliteStatement insert(db_,
                                "INSERT INTO account_disk (identifier, position, disk_id, name,"
                                " server) VALUES (?1, ?2, ?3, ?4, ?5)");
        insert.bind(1, identifier).bind(2, position++).bind(3, disk.diskId).bind(4, disk.name);
        if (insert.bind(5, disk.server).step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

bool CSqliteAccounts::write(const AccountConfig& account, std::string_view origin) {
    // An account keeps the origin it was made with: the file that names one made by command
    // overwrites it but cannot take it away.
    CSqliteStatement row(db_,
                         "INSERT INTO account (identifier, user, domain, password_hash,"
                         " display_name, user_number, origin) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"
                         " ON CONFLICT (identifier) DO UPDATE SET password_hash = ?4,"
                         " display_name = ?5, user_number = ?6");
    row.bind(1, account.identifier()).bind(2, account.user).bind(3, account.domain);
    row.bind(4, account.passwordHash).bind(5, account.displayName).bind(6, account.userNumber);
    row.bind(7, origin);
    return row.step() == SQLITE_DONE && writeDisks(account.identifier(), account.disks);
}

StoreResult<CServiceStore::Done> CSqliteAccounts::upsert(const AccountConfig& account) {
    std::lock_guard lock(mutex_);
    cache_.clear();
    CTransaction transaction(db_);
    if (!transaction.began() || !write(account, kOriginCommand) || !transaction.commit()) {
        return StoreResult<CServiceStore::Done>::fail(failure());
    }
    return StoreResult<CServiceStore::Done>::ok({});
}

StoreResult<std::vector<std::string>>
CSqliteAccounts::seedFromFile(const std::vector<AccountConfig>& accounts) {
    using Result = StoreResult<std::vector<std::string>>;
    std::lock_guard lock(mutex_);
    cache_.clear();
    CTransaction transaction(db_);
    bool ok = transaction.began();
    std::vector<std::string> named;
    for (const AccountConfig& account : accounts) {
        ok = ok && write(account, kOriginFile);
        named.push_back(account.identifier());
    }
    std::vector<std::string> removed;
    CSqliteStatement rows(db_,
                          "SELECT identifier FROM account WHERE origin = ?1 ORDER BY identifier");
    rows.bind(1, std::string_view(kOriginFile));
    int step = ok ? SQLITE_ROW : SQLITE_ERROR;
    while (ok && (step = rows.step()) == SQLITE_ROW) {
        if (std::find(named.begin(), named.end(), rows.text(0)) == named.end()) {
            removed.push_back(rows.text(0));
        }
    }
    ok = ok && step == SQLITE_DONE;
    for (const std::string& identifier : removed) {
        ok = ok && erase(identifier);
    }
    if (!ok || !transaction.commit()) {
        return Result::fail(failure());
    }
    return Result::ok(std::move(removed));
}

bool CSqliteAccounts::erase(const std::string& identifier) {
    CSqliteStatement disks(db_, "DELETE FROM account_disk WHERE identifier = ?1");
    CSqliteStatement row(db_, "DELETE FROM account WHERE identifier = ?1");
    return disks.bind(1, identifier).step() == SQLITE_DONE &&
           row.bind(1, identifier).step() == SQLITE_DONE;
}

StoreResult<bool> CSqliteAccounts::remove(std::string_view identifier) {
    const std::string canonical = canonicalIdentifier(identifier).value_or("");
    std::lock_guard lock(mutex_);
    cache_.clear();
    CTransaction transaction(db_);
    if (!transaction.began() || !erase(canonical)) {
        return StoreResult<bool>::fail(failure());
    }
    const bool existed = sqlite3_changes(db_) > 0;
    return transaction.commit() ? StoreResult<bool>::ok(existed)
                                : StoreResult<bool>::fail(failure());
}

StoreResult<bool> CSqliteAccounts::setPasswordHash(std::string_view identifier,
                                                   std::string_view hash) {
    const std::string canonical = canonicalIdentifier(identifier).value_or("");
    std::lock_guard lock(mutex_);
    cache_.clear();
    CSqliteStatement row(db_, "UPDATE account SET password_hash = ?2 WHERE identifier = ?1");
    if (row.bind(1, canonical).bind(2, hash).step() != SQLITE_DONE) {
        return StoreResult<bool>::fail(failure());
    }
    return StoreResult<bool>::ok(sqlite3_changes(db_) > 0);
}

StoreResult<bool> CSqliteAccounts::putDisk(std::string_view identifier, const AccountDisk& disk) {
    const std::string canonical = canonicalIdentifier(identifier).value_or("");
    std::lock_guard lock(mutex_);
    cache_.clear();
    CTransaction transaction(db_);
    bool ok = transaction.began();
    auto account = ok ? read(canonical, ok) : std::nullopt;
    if (!ok) {
        return StoreResult<bool>::fail(failure());
    }
    if (!account) {
        return StoreResult<bool>::ok(false);
    }
    auto& disks = account->disks;
    const auto same = std::find_if(disks.begin(), disks.end(), [&](const AccountDisk& own) {
        return own.diskId == disk.diskId;
    });
    if (same != disks.end()) {
        *same = disk;
    } else {
        disks.push_back(disk);
    }
    if (!writeDisks(canonical, disks) || !transaction.commit()) {
        return StoreResult<bool>::fail(failure());
    }
    return StoreResult<bool>::ok(true);
}

StoreResult<bool> CSqliteAccounts::removeDisk(std::string_view identifier,
                                              std::string_view diskId) {
    const std::string canonical = canonicalIdentifier(identifier).value_or("");
    std::lock_guard lock(mutex_);
    cache_.clear();
    CSqliteStatement row(db_, "DELETE FROM account_disk WHERE identifier = ?1 AND disk_id = ?2");
    if (row.bind(1, canonical).bind(2, diskId).step() != SQLITE_DONE) {
        return StoreResult<bool>::fail(failure());
    }
    return StoreResult<bool>::ok(sqlite3_changes(db_) > 0);
}

} // namespace tavik::server
