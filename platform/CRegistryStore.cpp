#include "platform/CRegistryStore.h"

#include "platform/CRegistry.h"
#include "platform/CRegistryStatement.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>

namespace tavik::platform {

namespace {

// How long a call waits for another connection's write lock before it answers 170.
constexpr int kBusyTimeoutMs = 5000;
// Marks a file as ours ("TvRg"), so that another program's database is never taken for an
// empty registry.
constexpr int64_t kApplicationId = 0x54765267;
constexpr int64_t kSchemaVersion = 1;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

thread_local std::string tFailureText;

const char* const kSchema = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name BLOB NOT NULL,
    fold BLOB NOT NULL);
CREATE UNIQUE INDEX keys_by_parent ON keys(parent, fold);
CREATE TABLE vals(
    key INTEGER NOT NULL,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, fold));
INSERT INTO keys(id, parent, name, fold) VALUES
    (1, NULL, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('hkey_current_user' AS BLOB)),
    (2, NULL, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('hkey_local_machine' AS BLOB));
PRAGMA application_id = 1417040487;
PRAGMA user_version = 1;
)sql";

char16_t foldChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c < 0x00C0) {
        return c;
    }
    // Latin-1 capitals (not the multiplication sign), Greek and Cyrillic capitals, full-width
    // Latin capitals: the letters a user of this system may meet in names, folded one to one.
    if ((c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) || (c >= 0x0391 && c <= 0x03AB) ||
        (c >= 0x0410 && c <= 0x042F) || (c >= 0xFF21 && c <= 0xFF3A)) {
        return c == 0x03A2 ? c : static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0400 && c <= 0x040F) {
        return static_cast<char16_t>(c + 0x50);
    }
    return c;
}

std::vector<std::u16string> splitKeyPath(std::u16string_view subKey) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= subKey.size()) {
        size_t end = subKey.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = subKey.size();
        }
        if (end > start) {
            parts.emplace_back(subKey.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

int32_t codeForSqlite(int result) {
    switch (result & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return kRegSuccess;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
        return kRegRegistryCorrupt;
    case SQLITE_CANTOPEN:
        return kRegCantOpen;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return kRegAccessDenied;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kRegBusy;
    case SQLITE_FULL:
        return kRegDiskFull;
    case SQLITE_NOMEM:
        return kRegOutOfMemory;
    default:
        return kRegIoFailed;
    }
}

std::string damagedText(const std::string& path, const std::string& detail) {
    return "the registry store " + path + " is damaged or is not a registry store (" + detail +
           "); it was left as it is";
}

} // namespace

CRegistryStore::CRegistryStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

CRegistryStore::~CRegistryStore() {
    sqlite3_close_v2(db_);
}

int32_t CRegistryStore::noteFailure(int32_t code, const std::string& text) {
    tFailureText = text;
    return code;
}

const std::string& CRegistryStore::failureText() {
    return tFailureText;
}

int64_t CRegistryStore::rootKeyId(uint32_t root) {
    return root == static_cast<uint32_t>(RegistryRoot::LocalMachine) ? 2 : 1;
}

std::u16string CRegistryStore::foldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        c = foldChar(c);
    }
    return folded;
}

int32_t CRegistryStore::open(const std::string& path, bool create,
                             std::shared_ptr<CRegistryStore>& out) {
    out.reset();
    tFailureText.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        int err = errno;
        if (err == ENOENT && !create) {
            return kRegFileNotFound;
        }
        if (err != ENOENT) {
            return noteFailure(err == EACCES ? kRegAccessDenied : kRegCantOpen,
                               "the registry store " + path + " cannot be reached (" +
                                   std::strerror(err) + ")");
        }
        std::error_code ec;
        std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty()) {
            std::filesystem::create_directories(folder, ec);
        }
        if (ec) {
            return noteFailure(kRegCantOpen, "the folder of the registry store " + path +
                                                 " cannot be made (" + ec.message() + ")");
        }
    } else if (S_ISDIR(st.st_mode)) {
        return noteFailure(kRegCantOpen, "the registry store " + path + " is a folder");
    }

    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int result = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (db == nullptr) {
        return noteFailure(kRegOutOfMemory, "no memory to open the registry store " + path);
    }
    auto store = std::make_shared<CRegistryStore>(db, path);
    if (result != SQLITE_OK) {
        return store->fail(result);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    int32_t code = store->prepareSchema();
    if (code == kRegSuccess) {
        out = std::move(store);
    }
    return code;
}

int32_t CRegistryStore::prepareSchema() {
    // Reading the journal mode is the first access to the file: a file that is not an SQLite
    // database fails here, before anything could be written to it.
    if (int32_t code = exec("PRAGMA journal_mode=WAL"); code != kRegSuccess) {
        return code;
    }
    if (int32_t code = exec("PRAGMA synchronous=NORMAL"); code != kRegSuccess) {
        return code;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        int64_t applicationId = 0;
        int64_t version = 0;
        int64_t objects = 0;
        {
            CRegistryStatement query(db_,
                                     "SELECT (SELECT application_id FROM pragma_application_id),"
                                     " (SELECT user_version FROM pragma_user_version),"
                                     " (SELECT count(*) FROM sqlite_master)");
            if (query.prepareResult() != SQLITE_OK) {
                return fail(query.prepareResult());
            }
            int result = query.step();
            if (result != SQLITE_ROW) {
                return fail(result);
            }
            applicationId = query.columnInt64(0);
            version = query.columnInt64(1);
            objects = query.columnInt64(2);
        }
        if (applicationId == kApplicationId && version == kSchemaVersion) {
            return kRegSuccess;
        }
        if (applicationId != 0 || objects != 0) {
            return noteFailure(kRegRegistryCorrupt,
                               damagedText(path_, "unknown format, application id " +
                                                      std::to_string(applicationId) + ", version " +
                                                      std::to_string(version)));
        }
        if (attempt > 0) {
            break;
        }
        // An empty file: give it the schema, unless another connection does so first (the
        // second pass then finds it ready).
        if (int32_t code = begin(true); code != kRegSuccess) {
            return code;
        }
        int64_t objectsNow = 0;
        {
            CRegistryStatement count(db_, "SELECT count(*) FROM sqlite_master");
            int result = count.step();
            if (result != SQLITE_ROW) {
                return finish(fail(result));
            }
            objectsNow = count.columnInt64(0);
        }
        int32_t code = objectsNow == 0 ? exec(kSchema) : kRegSuccess;
        if (int32_t finished = finish(code); finished != kRegSuccess) {
            return finished;
        }
    }
    return noteFailure(kRegRegistryCorrupt, damagedText(path_, "schema could not be read"));
}

int32_t CRegistryStore::fail(int sqliteResult) {
    int32_t code = codeForSqlite(sqliteResult);
    std::string detail = sqlite3_errstr(sqliteResult);
    if (db_ != nullptr && sqlite3_errcode(db_) == sqliteResult) {
        detail = sqlite3_errmsg(db_);
    }
    if (code == kRegRegistryCorrupt) {
        return noteFailure(code, damagedText(path_, detail));
    }
    return noteFailure(code, "the registry store " + path_ + " failed: " + detail);
}

int32_t CRegistryStore::exec(const char* sql) {
    int result = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return result == SQLITE_OK ? kRegSuccess : fail(result);
}

int32_t CRegistryStore::begin(bool write) {
    return exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
}

int32_t CRegistryStore::finish(int32_t code) {
    if (code == kRegSuccess) {
        int result = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (result == SQLITE_OK) {
            return kRegSuccess;
        }
        code = fail(result);
    }
    if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return code;
}

int32_t CRegistryStore::onKey(int64_t key, bool write, const std::function<int32_t()>& body) {
    std::lock_guard lock(mutex_);
    tFailureText.clear();
    int32_t code = begin(write);
    if (code != kRegSuccess) {
        return code;
    }
    code = keyExists(key);
    if (code == kRegSuccess) {
        code = body();
    }
    return finish(code);
}

int32_t CRegistryStore::keyExists(int64_t key) {
    CRegistryStatement query(db_, "SELECT 1 FROM keys WHERE id = ?1");
    if (query.prepareResult() != SQLITE_OK) {
        return fail(query.prepareResult());
    }
    query.bindInt64(1, key);
    int result = query.step();
    if (result == SQLITE_ROW) {
        return kRegSuccess;
    }
    return result == SQLITE_DONE ? kRegKeyDeleted : fail(result);
}

int32_t CRegistryStore::walk(int64_t parent, const std::vector<std::u16string>& parts, bool create,
                             int64_t& id) {
    CRegistryStatement find(db_, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
    CRegistryStatement insert(db_, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
    if (find.prepareResult() != SQLITE_OK || insert.prepareResult() != SQLITE_OK) {
        return fail(find.prepareResult() != SQLITE_OK ? find.prepareResult()
                                                      : insert.prepareResult());
    }
    int64_t current = parent;
    for (const std::u16string& part : parts) {
        std::u16string folded = foldName(part);
        find.reset();
        find.bindInt64(1, current);
        find.bindName(2, folded);
        int result = find.step();
        if (result == SQLITE_ROW) {
            current = find.columnInt64(0);
            continue;
        }
        if (result != SQLITE_DONE) {
            return fail(result);
        }
        if (!create) {
            return kRegFileNotFound;
        }
        insert.reset();
        insert.bindInt64(1, current);
        insert.bindName(2, part);
        insert.bindName(3, folded);
        result = insert.step();
        if (result != SQLITE_DONE) {
            return fail(result);
        }
        current = sqlite3_last_insert_rowid(db_);
    }
    id = current;
    return kRegSuccess;
}

int32_t CRegistryStore::findKey(int64_t parent, std::u16string_view subKey, int64_t& id) {
    std::vector<std::u16string> parts = splitKeyPath(subKey);
    for (const std::u16string& part : parts) {
        if (part.size() > kMaxKeyNameLength) {
            return kRegInvalidParameter;
        }
    }
    return onKey(parent, false, [&] { return walk(parent, parts, false, id); });
}

int32_t CRegistryStore::createKey(int64_t parent, std::u16string_view subKey, int64_t& id) {
    std::vector<std::u16string> parts = splitKeyPath(subKey);
    for (const std::u16string& part : parts) {
        if (part.size() > kMaxKeyNameLength) {
            return kRegInvalidParameter;
        }
    }
    return onKey(parent, !parts.empty(), [&] { return walk(parent, parts, true, id); });
}

int32_t CRegistryStore::deleteKey(int64_t parent, std::u16string_view subKey) {
    std::vector<std::u16string> parts = splitKeyPath(subKey);
    if (parts.empty()) {
        return kRegInvalidParameter;
    }
    int64_t id = 0;
    return onKey(parent, true, [&] {
        int32_t code = walk(parent, parts, false, id);
        if (code == kRegSuccess) {
            // The key and everything below it, values first.
            const char* const statements[] = {
                "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
                " DELETE FROM vals WHERE key IN tree",
                "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
                " DELETE FROM keys WHERE id IN tree",
            };
            for (const char* sql : statements) {
                CRegistryStatement erase(db_, sql);
                if (erase.prepareResult() != SQLITE_OK) {
                    code = fail(erase.prepareResult());
                    break;
                }
                erase.bindInt64(1, id);
                int result = erase.step();
                if (result != SQLITE_DONE) {
                    code = fail(result);
                    break;
                }
            }
        }
        return code;
    });
}

int32_t CRegistryStore::setValue(int64_t key, std::u16string_view name, uint32_t type,
                                 const void* data, size_t size) {
    if (name.size() > kMaxValueNameLength || (type == kRegDword && size != 4) ||
        (data == nullptr && size != 0)) {
        return kRegInvalidParameter;
    }
    return onKey(key, true, [&] {
        int32_t code = kRegSuccess;
        CRegistryStatement upsert(db_, "INSERT INTO vals(key, name, fold, type, data)"
                                       " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key, fold)"
                                       " DO UPDATE SET type = excluded.type,"
                                       " data = excluded.data");
        if (upsert.prepareResult() != SQLITE_OK) {
            code = fail(upsert.prepareResult());
        } else {
            upsert.bindInt64(1, key);
            upsert.bindName(2, name);
            upsert.bindName(3, foldName(name));
            upsert.bindInt64(4, type);
            upsert.bindBytes(5, data, size);
            int result = upsert.step();
            code = result == SQLITE_DONE ? kRegSuccess : fail(result);
        }
        return code;
    });
}

int32_t CRegistryStore::queryValue(int64_t key, std::u16string_view name, RegistryValue& value) {
    return onKey(key, false, [&] {
        int32_t code = kRegSuccess;
        CRegistryStatement query(db_, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        if (query.prepareResult() != SQLITE_OK) {
            code = fail(query.prepareResult());
        } else {
            query.bindInt64(1, key);
            query.bindName(2, foldName(name));
            int result = query.step();
            if (result == SQLITE_ROW) {
                value.type = static_cast<uint32_t>(query.columnInt64(0));
                value.data = query.columnBytes(1);
            } else {
                code = result == SQLITE_DONE ? kRegFileNotFound : fail(result);
            }
        }
        return code;
    });
}

int32_t CRegistryStore::deleteValue(int64_t key, std::u16string_view name) {
    return onKey(key, true, [&] {
        int32_t code = kRegSuccess;
        CRegistryStatement erase(db_, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        if (erase.prepareResult() != SQLITE_OK) {
            code = fail(erase.prepareResult());
        } else {
            erase.bindInt64(1, key);
            erase.bindName(2, foldName(name));
            int result = erase.step();
            if (result != SQLITE_DONE) {
                code = fail(result);
            } else if (sqlite3_changes(db_) == 0) {
                code = kRegFileNotFound;
            }
        }
        return code;
    });
}

int32_t CRegistryStore::listSubKeys(int64_t key, std::vector<std::u16string>& names) {
    return listNames(key, "SELECT name FROM keys WHERE parent = ?1 ORDER BY id", names);
}

int32_t CRegistryStore::listValues(int64_t key, std::vector<std::u16string>& names) {
    return listNames(key, "SELECT name FROM vals WHERE key = ?1 ORDER BY rowid", names);
}

int32_t CRegistryStore::listNames(int64_t key, const char* sql,
                                  std::vector<std::u16string>& names) {
    names.clear();
    return onKey(key, false, [&] {
        int32_t code = kRegSuccess;
        CRegistryStatement query(db_, sql);
        if (query.prepareResult() != SQLITE_OK) {
            code = fail(query.prepareResult());
        } else {
            query.bindInt64(1, key);
            int result = SQLITE_ROW;
            while ((result = query.step()) == SQLITE_ROW) {
                names.push_back(query.columnName(0));
            }
            if (result != SQLITE_DONE) {
                code = fail(result);
            }
        }
        return code;
    });
}

} // namespace tavik::platform
