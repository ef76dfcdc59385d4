#include "server/CSessionKeyStore.h"

#include "server/CSqliteFile.h"
#include "server/CSqliteStatement.h"

#include <sodium.h>
#include <sqlite3.h>

namespace tavik::server {

namespace {

constexpr size_t kKeyBytes = 32;

} // namespace

std::string CSessionKeyStore::hashOf(std::string_view key) {
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(key.data()),
                       key.size(), nullptr, 0);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string CSessionKeyStore::newKey() {
    unsigned char random[kKeyBytes];
    randombytes_buf(random, sizeof random);
    char text[sodium_base64_ENCODED_LEN(kKeyBytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(text, sizeof text, random, sizeof random,
                      sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    return std::string(text);
}

CSessionKeyStore::~CSessionKeyStore() {
    sqlite3_close(db_);
}

std::unique_ptr<CSessionKeyStore> CSessionKeyStore::open(const std::filesystem::path& file,
                                                         std::string& error) {
    if (sodium_init() < 0) {
        error = "libsodium cannot start";
        return nullptr;
    }
    sqlite3* db = CSqliteFile::open(file, error);
    if (db == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CSessionKeyStore> store(new CSessionKeyStore(db));
    if (!store->execute("CREATE TABLE IF NOT EXISTS session_key ("
                        " hash BLOB PRIMARY KEY, account TEXT NOT NULL, expires INTEGER NOT NULL)",
                        error)) {
        error = "state database " + file.string() + ": " + error;
        return nullptr;
    }
    return store;
}

bool CSessionKeyStore::execute(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        error = message != nullptr ? message : "database error";
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::optional<std::string> CSessionKeyStore::issue(std::string_view account,
                                                   std::chrono::seconds lifetime,
                                                   int64_t nowSeconds, std::string& error) {
    const std::string key = newKey();
    CSqliteStatement purge(db_, "DELETE FROM session_key WHERE expires <= ?1");
    if (purge.valid()) {
        purge.bind(1, nowSeconds);
        purge.step();
    }
    CSqliteStatement insert(db_,
                            "INSERT INTO session_key (hash, account, expires) VALUES (?1, ?2, ?3)");
    if (!insert.valid()) {
        error = sqlite3_errmsg(db_);
        return std::nullopt;
    }
    insert.bindBlob(1, hashOf(key));
    insert.bind(2, account);
    insert.bind(3, nowSeconds + lifetime.count());
    if (insert.step() != SQLITE_DONE) {
        error = sqlite3_errmsg(db_);
        return std::nullopt;
    }
    return key;
}

bool CSessionKeyStore::consume(std::string_view account, std::string_view key, int64_t nowSeconds) {
    // One DELETE both checks and spends the key, so no second check can see it afterwards; the
    // returned row (rather than a change count) keeps the answer per statement across threads.
    CSqliteStatement remove(db_, "DELETE FROM session_key WHERE hash = ?1 AND account = ?2 AND "
                                 "expires > ?3 RETURNING expires");
    if (!remove.valid()) {
        return false;
    }
    remove.bindBlob(1, hashOf(key));
    remove.bind(2, account);
    remove.bind(3, nowSeconds);
    return remove.step() == SQLITE_ROW;
}

} // namespace tavik::server
