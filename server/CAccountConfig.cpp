#include "server/CAccountConfig.h"

#include "server/CConfigReader.h"
#include "server/CNetAddress.h"
#include "server/CPasswordHash.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace tavik::server {

namespace {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

template <class T>
bool readPort(CConfigReader& reader, const toml::table& table, std::string_view key, T& out) {
    int value = out;
    if (!reader.readInt(table, key, 0, 65535, value)) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool readServiceTable(const toml::table& table, const std::filesystem::path& baseDir,
                      ServiceConfig& service, CConfigReader& reader) {
    std::string stateDatabase;
    std::string installationKey;
    const bool ok = CConfigReader::all(
        {reader.onlyKnownKeys(table,
                              {"auth_port", "diskinfo_port", "state_database", "installation_key",
                               "capability_lifetime_hours", "diskinfo_window_seconds",
                               "diskinfo_address_rule", "max_connections", "max_per_address",
                               "idle_timeout_ms", "frame_timeout_ms", "login_timeout_ms"},
                              "[service]"),
         readPort(reader, table, "auth_port", service.authPort),
         readPort(reader, table, "diskinfo_port", service.diskInfoPort),
         reader.readInt(table, "capability_lifetime_hours", 24, 24 * 365,
                        service.capabilityLifetimeHours),
         reader.readInt(table, "diskinfo_window_seconds", 1, 86400, service.diskInfoWindowSeconds),
         reader.readBool(table, "diskinfo_address_rule", service.diskInfoAddressRule),
         reader.readInt(table, "max_connections", 1, 100000, service.maxConnections),
         reader.readInt(table, "max_per_address", 1, 100000, service.maxPerAddress),
         reader.readInt(table, "idle_timeout_ms", 1, INT32_MAX, service.idleTimeoutMs),
         reader.readInt(table, "frame_timeout_ms", 1, INT32_MAX, service.frameTimeoutMs),
         reader.readInt(table, "login_timeout_ms", 1, INT32_MAX, service.loginTimeoutMs),
         reader.readString(table, "state_database", stateDatabase),
         reader.readString(table, "installation_key", installationKey)});
    if (!stateDatabase.empty()) {
        service.stateDatabase = baseDir / stateDatabase;
    }
    if (!installationKey.empty()) {
        service.installationKey = baseDir / installationKey;
    }
    return ok;
}

// The disk list travels as "|"-separated fields: a "|" inside a value would shift every later
// field of the list.
bool fitsDiskList(std::string_view text) {
    return !text.empty() && text.find('|') == std::string_view::npos;
}

bool readAccountDisk(const toml::table& table, const std::string& defaultServer, AccountDisk& disk,
                     CConfigReader& reader) {
    if (!CConfigReader::all(
            {reader.onlyKnownKeys(table, {"id", "name", "server"}, "[[account.disk]]"),
             reader.readString(table, "id", disk.diskId),
             reader.readString(table, "name", disk.name),
             reader.readString(table, "server", disk.server)})) {
        return false;
    }
    if (disk.name.empty()) {
        disk.name = disk.diskId;
    }
    if (disk.server.empty()) {
        disk.server = defaultServer;
    }
    if (!fitsDiskList(disk.diskId) || disk.diskId.find('/') != std::string::npos ||
        !fitsDiskList(disk.name) || !fitsDiskList(disk.server)) {
        return reader.fail(&table, "[[account.disk]] needs an id without '/', and its id, name "
                                   "and server hold no '|'");
    }
    if (CNetAddress::isWildcard(disk.server)) {
        return reader.fail(&table, "[[account.disk]] " + disk.diskId +
                                       " needs its server: this server listens on every address");
    }
    return true;
}

bool readAccountDisks(const toml::table& table, const std::string& defaultServer,
                      AccountConfig& account, CConfigReader& reader) {
    const toml::node* node = table.get("disk");
    if (node == nullptr) {
        return true;
    }
    const toml::array* list = node->as_array();
    if (list == nullptr) {
        return reader.fail(node, "an account's disks are given as [[account.disk]] tables");
    }
    bool ok = true;
    for (const toml::node& entry : *list) {
        AccountDisk disk;
        if (!entry.is_table()) {
            return reader.fail(&entry, "an account's disks are given as [[account.disk]] tables");
        }
        if (readAccountDisk(*entry.as_table(), defaultServer, disk, reader)) {
            account.disks.push_back(std::move(disk));
        } else {
            ok = false;
        }
    }
    return ok;
}

bool readAccount(const toml::table& table, const std::string& defaultServer, AccountConfig& account,
                 CConfigReader& reader) {
    if (!CConfigReader::all(
            {reader.onlyKnownKeys(
                 table, {"user", "domain", "password_hash", "display_name", "user_number", "disk"},
                 "[[account]]"),
             reader.readString(table, "user", account.user),
             reader.readString(table, "domain", account.domain),
             reader.readString(table, "password_hash", account.passwordHash),
             reader.readString(table, "display_name", account.displayName),
             reader.readInt64(table, "user_number", 0, INT32_MAX, account.userNumber)})) {
        return false;
    }
    account.domain = lowerCase(account.domain);
    if (account.user.empty() || account.user.find('@') != std::string::npos ||
        account.domain.empty()) {
        return reader.fail(&table, "[[account]] needs a user without '@' and a domain");
    }
    // Account passwords are never kept in clear: only a hash the server can check is accepted.
    if (!account.passwordHash.empty() && !CPasswordHash::fromHash(account.passwordHash)) {
        return reader.fail(table.get("password_hash"),
                           "account " + account.identifier() +
                               ": password_hash must be an argon2id hash (tavik-server "
                               "hash-password)");
    }
    if (account.displayName.empty()) {
        account.displayName = account.user;
    }
    return readAccountDisks(table, defaultServer, account, reader);
}

bool readStoreTable(const toml::table& document, ServiceConfig& service, CConfigReader& reader) {
    const toml::node* node = document.get("store");
    if (node == nullptr) {
        return true;
    }
    if (!node->is_table()) {
        return reader.fail(node, "store must be a [store] table");
    }
    const toml::table& table = *node->as_table();
    if (!reader.onlyKnownKeys(table, {"postgresql"}, "[store]") ||
        !reader.readString(table, "postgresql", service.postgresql)) {
        return false;
    }
    const bool uri = service.postgresql.starts_with("postgresql://") ||
                     service.postgresql.starts_with("postgres://");
    return uri || reader.fail(table.get("postgresql"),
                              "postgresql must be a URI: postgresql://USER@HOST/DATABASE");
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
                       CConfigReader& reader) {
    service.stateDatabase = baseDir / "tavik-state.db";
    service.installationKey = baseDir / "installation.key";
    bool ok = true;
    if (const toml::node* node = document.get("service")) {
        if (!node->is_table()) {
            ok = reader.fail(node, "service must be a [service] table");
        } else {
            ok = readServiceTable(*node->as_table(), baseDir, service, reader);
            service.serviceTableGiven = true;
        }
    }
    if (!readStoreTable(document, service, reader)) {
        ok = false;
    }
    const toml::node* node = document.get("account");
    if (node == nullptr) {
        return ok;
    }
    const toml::array* list = node->as_array();
    if (list == nullptr) {
        return reader.fail(node, "accounts are given as [[account]] tables");
    }
    std::set<std::string> seen;
    for (const toml::node& entry : *list) {
        AccountConfig account;
        if (!entry.is_table()) {
            return reader.fail(&entry, "accounts are given as [[account]] tables");
        }
        if (!readAccount(*entry.as_table(), defaultServer, account, reader)) {
            ok = false;
        } else if (!seen.insert(account.identifier()).second) {
            ok = reader.fail(&entry, "account given twice: " + account.identifier());
        } else {
            service.accounts.push_back(std::move(account));
        }
    }
    return ok;
}

} // namespace tavik::server
