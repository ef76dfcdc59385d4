#include "server/CAccountConfig.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <set>

namespace tavik::server {

namespace {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// A misspelt key would silently fall back to a default (an account without its disks, a
// password hash that is never read): refuse every key this table does not know.
bool onlyKnownKeys(const toml::table& table, std::string_view where,
                   std::initializer_list<std::string_view> known, std::string& error) {
    for (const auto& [key, node] : table) {
        if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
            error = "unknown key '" + std::string(key.str()) + "' in " + std::string(where) +
                    " (line " + std::to_string(key.source().begin.line) + ")";
            return false;
        }
    }
    return true;
}

bool readText(const toml::table& table, const char* key, std::string_view where, bool required,
              std::string& out, std::string& error) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        if (required) {
            error = std::string(where) + " needs " + key;
        }
        return !required;
    }
    const auto value = node->value<std::string>();
    if (!value) {
        error = std::string(where) + "." + key + " must be text";
        return false;
    }
    out = *value;
    return true;
}

bool readNumber(const toml::table& table, const char* key, int64_t minimum, int64_t maximum,
                int64_t& out, std::string& error) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return true;
    }
    const auto value = node->value<int64_t>();
    if (!value || *value < minimum || *value > maximum) {
        error = std::string(key) + " must be an integer from " + std::to_string(minimum) + " to " +
                std::to_string(maximum);
        return false;
    }
    out = *value;
    return true;
}

template <class T>
bool readSetting(const toml::table& table, const char* key, int64_t minimum, int64_t maximum,
                 T& out, std::string& error) {
    int64_t value = out;
    if (!readNumber(table, key, minimum, maximum, value, error)) {
        error = "service." + error;
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool readServiceTable(const toml::table& table, const std::filesystem::path& baseDir,
                      ServiceConfig& service, std::string& error) {
    if (!onlyKnownKeys(table, "[service]",
                       {"auth_port", "diskinfo_port", "state_database", "installation_key",
                        "capability_lifetime_hours", "diskinfo_window_seconds", "max_connections",
                        "max_per_address", "idle_timeout_ms", "frame_timeout_ms"},
                       error)) {
        return false;
    }
    std::string stateDatabase;
    std::string installationKey;
    if (!readSetting(table, "auth_port", 0, 65535, service.authPort, error) ||
        !readSetting(table, "diskinfo_port", 0, 65535, service.diskInfoPort, error) ||
        !readSetting(table, "capability_lifetime_hours", 24, 24 * 365,
                     service.capabilityLifetimeHours, error) ||
        !readSetting(table, "diskinfo_window_seconds", 1, 86400, service.diskInfoWindowSeconds,
                     error) ||
        !readSetting(table, "max_connections", 1, 100000, service.maxConnections, error) ||
        !readSetting(table, "max_per_address", 1, 100000, service.maxPerAddress, error) ||
        !readSetting(table, "idle_timeout_ms", 1, INT32_MAX, service.idleTimeoutMs, error) ||
        !readSetting(table, "frame_timeout_ms", 1, INT32_MAX, service.frameTimeoutMs, error) ||
        !readText(table, "state_database", "[service]", false, stateDatabase, error) ||
        !readText(table, "installation_key", "[service]", false, installationKey, error)) {
        return false;
    }
    if (!stateDatabase.empty()) {
        service.stateDatabase = baseDir / stateDatabase;
    }
    if (!installationKey.empty()) {
        service.installationKey = baseDir / installationKey;
    }
    return true;
}

// The disk list travels as "|"-separated fields and the capability uses "~" as its separator:
// names with "|" would shift every later field, and an id is never split apart.
bool fitsDiskList(std::string_view text) {
    return text.find('|') == std::string_view::npos;
}

bool readAccountDisk(const toml::table& table, const std::string& where,
                     const std::string& defaultServer, AccountDisk& disk, std::string& error) {
    if (!onlyKnownKeys(table, where, {"id", "name", "server"}, error) ||
        !readText(table, "id", where, true, disk.diskId, error) ||
        !readText(table, "name", where, false, disk.name, error) ||
        !readText(table, "server", where, false, disk.server, error)) {
        return false;
    }
    if (disk.name.empty()) {
        disk.name = disk.diskId;
    }
    if (disk.server.empty()) {
        disk.server = defaultServer;
    }
    if (disk.diskId.empty() || disk.diskId.find('/') != std::string::npos ||
        !fitsDiskList(disk.diskId) || !fitsDiskList(disk.name) || !fitsDiskList(disk.server)) {
        error = where + ": id, name and server must be non-empty and hold no '|' (id no '/')";
        return false;
    }
    if (disk.server == "0.0.0.0") {
        error = where + ": give its server (this server listens on every address)";
        return false;
    }
    return true;
}

bool readAccount(const toml::table& table, const std::string& defaultServer, AccountConfig& account,
                 std::string& error) {
    const std::string where = "[[account]]";
    if (!onlyKnownKeys(table, where,
                       {"user", "domain", "password_hash", "display_name", "user_number", "disk"},
                       error) ||
        !readText(table, "user", where, true, account.user, error) ||
        !readText(table, "domain", where, true, account.domain, error) ||
        !readText(table, "password_hash", where, false, account.passwordHash, error) ||
        !readText(table, "display_name", where, false, account.displayName, error) ||
        !readNumber(table, "user_number", 0, INT32_MAX, account.userNumber, error)) {
        return false;
    }
    account.domain = lowerCase(account.domain);
    if (account.user.empty() || account.user.find('@') != std::string::npos ||
        account.domain.empty()) {
        error = "[[account]] needs a user without '@' and a domain";
        return false;
    }
    const std::string name = "account " + account.identifier();
    if (!account.passwordHash.empty() && account.passwordHash.rfind("$argon2id$", 0) != 0) {
        error = name + ": password_hash must be an argon2id hash (tavik-server hash-password)";
        return false;
    }
    if (account.displayName.empty()) {
        account.displayName = account.user;
    }
    const toml::node* disks = table.get("disk");
    if (disks == nullptr) {
        return true;
    }
    const toml::array* list = disks->as_array();
    if (list == nullptr) {
        error = name + ": disks are given as [[account.disk]]";
        return false;
    }
    for (const toml::node& node : *list) {
        const toml::table* entry = node.as_table();
        AccountDisk disk;
        if (entry == nullptr) {
            error = name + ": disks are given as [[account.disk]]";
            return false;
        }
        if (!readAccountDisk(*entry, name + " disk", defaultServer, disk, error)) {
            return false;
        }
        account.disks.push_back(std::move(disk));
    }
    return true;
}

} // namespace

const AccountConfig* ServiceConfig::findAccount(std::string_view identifier) const {
    const size_t at = identifier.rfind('@');
    if (at == std::string_view::npos) {
        return nullptr;
    }
    const std::string_view user = identifier.substr(0, at);
    const std::string domain = lowerCase(identifier.substr(at + 1));
    for (const AccountConfig& account : accounts) {
        if (account.user == user && account.domain == domain) {
            return &account;
        }
    }
    return nullptr;
}

bool readServiceConfig(const toml::table& document, const std::filesystem::path& baseDir,
                       const std::string& defaultServer, ServiceConfig& service,
                       std::string& error) {
    service.stateDatabase = baseDir / "tavik-state.db";
    service.installationKey = baseDir / "installation.key";
    if (const toml::node* node = document.get("service")) {
        const toml::table* table = node->as_table();
        if (table == nullptr) {
            error = "[service] must be a table";
            return false;
        }
        if (!readServiceTable(*table, baseDir, service, error)) {
            return false;
        }
    }
    const toml::node* accounts = document.get("account");
    if (accounts == nullptr) {
        return true;
    }
    const toml::array* list = accounts->as_array();
    if (list == nullptr) {
        error = "accounts are given as [[account]]";
        return false;
    }
    std::set<std::string> seen;
    for (const toml::node& node : *list) {
        const toml::table* table = node.as_table();
        AccountConfig account;
        if (table == nullptr) {
            error = "accounts are given as [[account]]";
            return false;
        }
        if (!readAccount(*table, defaultServer, account, error)) {
            return false;
        }
        if (!seen.insert(account.identifier()).second) {
            error = "account given twice: " + account.identifier();
            return false;
        }
        service.accounts.push_back(std::move(account));
    }
    return true;
}

} // namespace tavik::server
