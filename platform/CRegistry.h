// The registry of the handheld platform, emulated in an SQLite file shared by every process of
// the user: the library (drive icons) and the explorer program (settings and accounts).
//
// Store: the file named by TAVIK_REGISTRY, else $XDG_CONFIG_HOME/tavik/registry.db, else
// ~/.config/tavik/registry.db (the variables are read whenever a key is opened from a root, so a
// test may point each case at its own file). The file and its folder are created by the first
// create(); open() and reads of a missing store answer kRegFileNotFound. The store runs in WAL
// mode with a busy time-out, so handles in this and other processes see each other's committed
// writes; every write is one transaction, so a crash never leaves half a value.
//
// A damaged store (not an SQLite file, or not ours, or corrupt pages) is reported as
// kRegRegistryCorrupt and left exactly as it is: it is never replaced or repaired. A store the
// user cannot read or write gives kRegCantOpen or kRegAccessDenied. lastFailureText() then
// describes the problem with the file's path.
//
// Keys: paths below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE, components separated by '\' (empty
// components are skipped). Key and value names compare case-insensitively: ASCII letters and the
// letters of the Latin-1, Greek, Cyrillic and full-width Latin blocks fold to lower case; other
// characters (Hangul has no case) compare as they are. A name keeps the spelling it was first
// created with. The empty value name is the key's default value.
//
// Values keep their type and bytes: kRegSz (UTF-16 with terminator), kRegDword (4 bytes,
// little-endian), kRegBinary, or any other type number as given.
//
// Every call returns a Win32 error code: 0 success, 2 not found, 5 access denied, 6 key not
// open, 87 bad argument (a component longer than 255 characters, a REG_DWORD not of 4 bytes,
// an empty key name to delete), 112 disk full, 170 store busy beyond the time-out, 234 buffer too
// small, 1011 store cannot be opened, 1015 store damaged, 1016 store I/O failure, 1018 the key was
// deleted meanwhile, 1630 value of another type than asked for.
//
// Threads: one CRegistry object is used by one thread at a time; different objects may be used
// on different threads (each key opened from a root has its own connection; keys opened from a
// parent share the parent's, which is locked per call).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::platform {

class CRegistryStore;

enum class RegistryRoot : uint32_t { CurrentUser = 0x80000001u, LocalMachine = 0x80000002u };
inline constexpr RegistryRoot HKEY_CURRENT_USER = RegistryRoot::CurrentUser;
inline constexpr RegistryRoot HKEY_LOCAL_MACHINE = RegistryRoot::LocalMachine;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

inline constexpr int32_t kRegSuccess = 0;
inline constexpr int32_t kRegFileNotFound = 2;
inline constexpr int32_t kRegAccessDenied = 5;
inline constexpr int32_t kRegInvalidHandle = 6;
inline constexpr int32_t kRegOutOfMemory = 14;
inline constexpr int32_t kRegInvalidParameter = 87;
inline constexpr int32_t kRegDiskFull = 112;
inline constexpr int32_t kRegBusy = 170;
inline constexpr int32_t kRegMoreData = 234;
inline constexpr int32_t kRegCantOpen = 1011;
inline constexpr int32_t kRegRegistryCorrupt = 1015;
inline constexpr int32_t kRegIoFailed = 1016;
inline constexpr int32_t kRegKeyDeleted = 1018;
inline constexpr int32_t kRegUnsupportedType = 1630;

// One value as stored: its type and its bytes.
struct RegistryValue {
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

// An open registry key. RAII: closed by close() or the destructor. Movable, not copyable.
class CRegistry {
public:
    CRegistry();
    ~CRegistry();
    CRegistry(CRegistry&& other) noexcept;
    CRegistry& operator=(CRegistry&& other) noexcept;
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // RegCreateKeyEx: opens the key, creating it and any missing parents (one transaction). An
    // empty subKey opens the root or parent itself. Closes any key this object held first.
    int32_t create(RegistryRoot root, std::u16string_view subKey);
    int32_t create(const CRegistry& parent, std::u16string_view subKey);
    // RegOpenKeyEx: opens an existing key (2 when it or the store is missing).
    int32_t open(RegistryRoot root, std::u16string_view subKey);
    int32_t open(const CRegistry& parent, std::u16string_view subKey);
    void close();
    bool isOpen() const { return store_ != nullptr; }

    // RegSetValueEx: creates or replaces the value (its first spelling is kept).
    int32_t setValue(std::u16string_view name, uint32_t type, const void* data, uint32_t size);
    // REG_SZ: the text and its terminator.
    int32_t setString(std::u16string_view name, std::u16string_view text);
    int32_t setDword(std::u16string_view name, uint32_t value);
    int32_t setBinary(std::u16string_view name, const std::vector<uint8_t>& bytes);

    // RegQueryValueEx: type and size may be null. With data null, *size receives the size. With
    // a buffer of *size bytes too small, *size receives the size needed and the answer is 234.
    int32_t queryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) const;
    int32_t queryValue(std::u16string_view name, RegistryValue& value) const;
    // Typed reads: 1630 when the value has another type. A REG_SZ is cut at its first null.
    int32_t queryString(std::u16string_view name, std::u16string& text) const;
    int32_t queryDword(std::u16string_view name, uint32_t& value) const;
    int32_t queryBinary(std::u16string_view name, std::vector<uint8_t>& bytes) const;

    // RegDeleteValue.
    int32_t deleteValue(std::u16string_view name);
    // RegDeleteKey: deletes subKey (not empty) of this key with all its subkeys and values.
    int32_t deleteKey(std::u16string_view subKey);
    static int32_t deleteKey(RegistryRoot root, std::u16string_view subKey);

    // RegEnumKeyEx / RegEnumValue: the names of the subkeys and of the values, in the order
    // they were created.
    int32_t enumSubKeys(std::vector<std::u16string>& names) const;
    int32_t enumValues(std::vector<std::u16string>& names) const;

    // The store file in force (see above).
    static std::string storePath();
    // What went wrong with the store in this thread's last call, with the store's path; empty
    // after a success or a failure that needs no explanation (a missing key or value).
    static std::string lastFailureText();

private:
    int32_t openFrom(std::shared_ptr<CRegistryStore> store, int64_t parentId,
                     std::u16string_view subKey, bool create);
    int32_t openRoot(RegistryRoot root, std::u16string_view subKey, bool create);

    std::shared_ptr<CRegistryStore> store_;
    int64_t keyId_ = 0;
};

} // namespace tavik::platform
