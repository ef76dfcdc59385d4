#include "server/CServerConfig.h"

#include <toml++/toml.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace tavik::server {

namespace {

bool readInt(const toml::table& table, const char* key, int minimum, int& out, std::string& error) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return true;
    }
    const auto value = node->value<int64_t>();
    if (!value || *value < minimum || *value > INT32_MAX) {
        error = std::string("server.") + key + " must be an integer of at least " +
                std::to_string(minimum);
        return false;
    }
    out = static_cast<int>(*value);
    return true;
}

bool readServerTable(const toml::table& table, CServerConfig& config, std::string& error) {
    if (const auto address = table["address"].value<std::string>()) {
        config.address = *address;
    }
    int port = config.port;
    if (!readInt(table, "port", 0, port, error)) {
        return false;
    }
    if (port > 65535) {
        error = "server.port must be 0 to 65535";
        return false;
    }
    config.port = static_cast<uint16_t>(port);
    if (!readInt(table, "max_connections", 1, config.maxConnections, error) ||
        !readInt(table, "idle_timeout_ms", 1, config.idleTimeoutMs, error) ||
        !readInt(table, "request_timeout_ms", 1, config.requestTimeoutMs, error) ||
        !readInt(table, "max_open_files", 1, config.maxOpenFiles, error) ||
        !readInt(table, "command_timeout_ms", 1, config.commandTimeoutMs, error)) {
        return false;
    }
    if (const auto log = table["log_commands"].value<bool>()) {
        config.logCommands = *log;
    }
    if (const toml::array* allowed = table["allowed_commands"].as_array()) {
        for (const toml::node& entry : *allowed) {
            const auto name = entry.value<std::string>();
            if (!name || name->empty()) {
                error = "server.allowed_commands must hold program names";
                return false;
            }
            config.allowedCommands.push_back(*name);
        }
    }
    return true;
}

bool validDiskId(const std::string& id) {
    return !id.empty() && id.find('/') == std::string::npos && id != "." && id != "..";
}

std::optional<std::filesystem::path> canonicalFolder(const std::filesystem::path& folder,
                                                     std::string& error) {
    std::error_code ec;
    auto root = std::filesystem::canonical(folder, ec);
    if (ec || !std::filesystem::is_directory(root, ec)) {
        error = "disk root is not a folder: " + folder.string();
        return std::nullopt;
    }
    return root;
}

std::optional<DiskConfig> readDisk(const toml::table& table, const std::filesystem::path& baseDir,
                                   std::string& error) {
    DiskConfig disk;
    disk.id = table["id"].value_or(std::string());
    if (!validDiskId(disk.id)) {
        error = "every [[disk]] needs an id without '/'";
        return std::nullopt;
    }
    disk.name = table["name"].value_or(disk.id);
    const auto root = table["root"].value<std::string>();
    if (!root) {
        error = "disk " + disk.id + " has no root";
        return std::nullopt;
    }
    auto canonical = canonicalFolder(baseDir / *root, error);
    if (!canonical) {
        return std::nullopt;
    }
    disk.root = *canonical;
    if (const auto password = table["password"].value<std::string>()) {
        disk.password = *password;
    }
    if (const toml::node* quota = table.get("quota")) {
        const auto bytes = quota->value<int64_t>();
        if (!bytes || *bytes < 0) {
            error = "disk " + disk.id + ": quota must be a byte count";
            return std::nullopt;
        }
        disk.quota = static_cast<uint64_t>(*bytes);
    }
    if (const toml::node* only = table.get("capability_only")) {
        const auto flag = only->value<bool>();
        if (!flag) {
            error = "disk " + disk.id + ": capability_only must be true or false";
            return std::nullopt;
        }
        disk.capabilityOnly = *flag;
    }
    return disk;
}

bool readDisks(const toml::table& document, const std::filesystem::path& baseDir,
               CServerConfig& config, std::string& error) {
    const toml::array* disks = document["disk"].as_array();
    if (disks == nullptr || disks->empty()) {
        // A server may only authenticate and list disks that live on other hosts.
        if (!config.service.enabled()) {
            error = "no [[disk]] configured";
            return false;
        }
        return true;
    }
    std::set<std::string> ids;
    for (const toml::node& node : *disks) {
        const toml::table* table = node.as_table();
        if (table == nullptr) {
            error = "[[disk]] entries must be tables";
            return false;
        }
        auto disk = readDisk(*table, baseDir, error);
        if (!disk) {
            return false;
        }
        if (!ids.insert(disk->id).second) {
            error = "disk id used twice: " + disk->id;
            return false;
        }
        config.disks.push_back(std::move(*disk));
    }
    return true;
}

// An account disk said to live on this server must be one of its disks, or every client would be
// sent to a disk that does not exist.
bool checkAccountDisks(const CServerConfig& config, std::string& error) {
    for (const AccountConfig& account : config.service.accounts) {
        for (const AccountDisk& disk : account.disks) {
            if (disk.server == config.address && config.findDisk(disk.diskId) == nullptr) {
                error = "account " + account.identifier() + ": no [[disk]] with id " + disk.diskId;
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool CServerConfig::needsCapabilityKey() const {
    return service.enabled() || std::any_of(disks.begin(), disks.end(), [](const DiskConfig& disk) {
               return disk.capabilityOnly;
           });
}

std::optional<CServerConfig> CServerConfig::fromToml(std::string_view text,
                                                     const std::filesystem::path& baseDir,
                                                     std::string& error) {
    // The packaged toml++ reports syntax errors by exception; this is the one place it can
    // throw, so the rest of the server stays exception-free.
    toml::table document;
    try {
        document = toml::parse(text);
    } catch (const toml::parse_error& failure) {
        std::ostringstream message;
        message << failure.description() << " (line " << failure.source().begin.line << ")";
        error = message.str();
        return std::nullopt;
    }
    CServerConfig config;
    if (const toml::table* server = document["server"].as_table()) {
        if (!readServerTable(*server, config, error)) {
            return std::nullopt;
        }
    }
    if (!readServiceConfig(document, baseDir, config.address, config.service, error) ||
        !readDisks(document, baseDir, config, error) || !checkAccountDisks(config, error)) {
        return std::nullopt;
    }
    return config;
}

std::optional<CServerConfig> CServerConfig::fromFile(const std::filesystem::path& file,
                                                     std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read " + file.string();
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto config = fromToml(text.str(), file.parent_path(), error);
    if (config && config->needsCapabilityKey()) {
        config->capabilityKey = CDiskCapability::loadKey(config->service.installationKey, error);
        if (!config->capabilityKey) {
            return std::nullopt;
        }
    }
    return config;
}

std::optional<CServerConfig> CServerConfig::demo(const std::filesystem::path& folder,
                                                 const std::string& diskId, std::string& error) {
    if (!validDiskId(diskId)) {
        error = "bad disk id: " + diskId;
        return std::nullopt;
    }
    auto root = canonicalFolder(folder, error);
    if (!root) {
        return std::nullopt;
    }
    CServerConfig config;
    DiskConfig disk;
    disk.id = diskId;
    disk.name = root->filename().string();
    disk.root = *root;
    config.disks.push_back(std::move(disk));
    return config;
}

const DiskConfig* CServerConfig::findDisk(std::string_view id) const {
    for (const DiskConfig& disk : disks) {
        if (disk.id == id) {
            return &disk;
        }
    }
    return nullptr;
}

} // namespace tavik::server
