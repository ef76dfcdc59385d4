// Session keys for launch parameters: a web page starts the explorer with a key instead of a
// password, and the authentication server accepts that key once. Keys are issued by
// "tavik-server session-key" and checked by the running server; both open the same small SQLite
// state database beside the configuration, so they agree without talking to each other.
//
// Only a hash of each key is stored (BLAKE2b-256 of the key text: keys are 32 random bytes, so a
// fast hash is enough; a stolen database yields no usable key). A key is bound to one account
// ("user@domain", domain in lower case), has an expiry, and is consumed by the first check that
// finds it, atomically: two servers or two connections cannot both accept it.
//
// One store may be used from several threads (SQLite serialises them; every call is one short
// statement). Errors are returned, never thrown.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace tavik::server {

class CSessionKeyStore {
public:
    ~CSessionKeyStore();
    CSessionKeyStore(const CSessionKeyStore&) = delete;
    CSessionKeyStore& operator=(const CSessionKeyStore&) = delete;

    // Opens (creating when missing, mode 0600) the state database (":memory:": one private to
    // this store, for a demo); nullptr with a description in
    // error when it cannot be opened or set up.
    static std::unique_ptr<CSessionKeyStore> open(const std::filesystem::path& file,
                                                  std::string& error);

    // A new key (43 characters of URL-safe base64) for the account, valid for lifetime from
    // nowSeconds; nullopt with error when the database cannot be written. Expired keys are
    // dropped on the way.
    std::optional<std::string> issue(std::string_view account, std::chrono::seconds lifetime,
                                     int64_t nowSeconds, std::string& error);
    // True exactly once for a key issued for this account that has not expired; the key is gone
    // afterwards. False for anything else, including a database failure.
    bool consume(std::string_view account, std::string_view key, int64_t nowSeconds);

    // A new random key, and the digest under which a key is stored (both shared with the other
    // stores, so that a key means the same wherever it is kept).
    static std::string newKey();
    static std::string hashOf(std::string_view key);

private:
    explicit CSessionKeyStore(sqlite3* db) : db_(db) {}
    bool execute(const char* sql, std::string& error);

    sqlite3* db_;
};

} // namespace tavik::server
