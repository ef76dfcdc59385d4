// One connection to the registry store file (see CRegistry.h for the store's contract and the
// error codes). Keys are rows identified by a number that is never reused, so a handle to a
// deleted key cannot reach a key created later. Every call takes the connection's lock and runs
// in one transaction: writes take the write lock at once (BEGIN IMMEDIATE) and wait up to the
// busy time-out for other writers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace tavik::platform {

struct RegistryValue;

class CRegistryStore {
public:
    // Opens the store at path. Without create, a missing file gives 2; with it, the file and
    // its folder are made. A new or empty file receives the schema; a file that is not ours or
    // is damaged gives 1015 and is not touched.
    static int32_t open(const std::string& path, bool create, std::shared_ptr<CRegistryStore>& out);
    // Takes over an open connection; used by open().
    CRegistryStore(sqlite3* db, std::string path);
    ~CRegistryStore();
    CRegistryStore(const CRegistryStore&) = delete;
    CRegistryStore& operator=(const CRegistryStore&) = delete;

    // The key row of a root (HKEY_CURRENT_USER = 1, HKEY_LOCAL_MACHINE = 2).
    static int64_t rootKeyId(uint32_t root);

    int32_t findKey(int64_t parent, std::u16string_view subKey, int64_t& id);
    int32_t createKey(int64_t parent, std::u16string_view subKey, int64_t& id);
    int32_t deleteKey(int64_t parent, std::u16string_view subKey);
    int32_t setValue(int64_t key, std::u16string_view name, uint32_t type, const void* data,
                     size_t size);
    int32_t queryValue(int64_t key, std::u16string_view name, RegistryValue& value);
    int32_t deleteValue(int64_t key, std::u16string_view name);
    int32_t listSubKeys(int64_t key, std::vector<std::u16string>& names);
    int32_t listValues(int64_t key, std::vector<std::u16string>& names);

    // The case-insensitive form of a name, as compared by the store.
    static std::u16string foldName(std::u16string_view name);
    // Sets this thread's failure text (empty to clear) and returns the code, for CRegistry.
    static int32_t noteFailure(int32_t code, const std::string& text);
    static const std::string& failureText();

private:
    int32_t prepareSchema();
    // Maps an SQLite result to the Win32 code and records the failure text.
    int32_t fail(int sqliteResult);
    int32_t exec(const char* sql);
    int32_t begin(bool write);
    int32_t finish(int32_t code);
    int32_t keyExists(int64_t key);
    // The frame of every public operation: under the lock, in one transaction (a write one when
    // asked), runs body once the key is known to exist; the transaction commits when the code
    // comes back 0 and rolls back otherwise.
    int32_t onKey(int64_t key, bool write, const std::function<int32_t()>& body);
    int32_t listNames(int64_t key, const char* sql, std::vector<std::u16string>& names);
    int32_t walk(int64_t parent, const std::vector<std::u16string>& parts, bool create,
                 int64_t& id);

    sqlite3* db_ = nullptr;
    std::string path_;
    std::mutex mutex_;
};

} // namespace tavik::platform
