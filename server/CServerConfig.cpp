#include "server/CServerConfig.h"

#include "server/CConfigReader.h"
#include "server/CMetricsEndpoint.h"
#include "server/CNetAddress.h"
#include "tls/Fingerprint.h"

#include <toml++/toml.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace tavik::server {

namespace {

// "address" is one literal or a list of them.
bool readAddresses(const toml::table& table, CServerConfig& config, CConfigReader& reader) {
    const toml::node* node = table.get("address");
    if (node == nullptr) {
        return true;
    }
    std::vector<std::string> list;
    if (node->is_string()) {
        list.push_back(node->as_string()->get());
    } else if (!reader.readStringList(table, "address", list)) {
        return false;
    }
    std::string error;
    if (!CServerConfig::validAddresses(list, error)) {
        return reader.fail(node, error);
    }
    config.addresses.clear();
    for (const std::string& address : list) {
        config.addresses.push_back(CNetAddress::hostOf(address));
    }
    config.addressesDefaulted = false;
    return true;
}

// tls_certificate and tls_key (relative to the file's folder) name one PEM pair: both or neither.
bool readTls(const toml::table& table, const std::filesystem::path& baseDir, CServerConfig& config,
             CConfigReader& reader) {
    std::string certificate;
    std::string key;
    if (!reader.readString(table, "tls_certificate", certificate) ||
        !reader.readString(table, "tls_key", key) ||
        !reader.readBool(table, "require_tls", config.requireTls)) {
        return false;
    }
    if (certificate.empty() != key.empty()) {
        return reader.fail(table.get(certificate.empty() ? "tls_key" : "tls_certificate"),
                           "tls_certificate and tls_key go together");
    }
    if (certificate.empty()) {
        return !config.requireTls || reader.fail(table.get("require_tls"),
                                                 "require_tls needs tls_certificate and tls_key");
    }
    std::string error;
    config.tls = tls::CTlsContext::forServer((baseDir / certificate).string(),
                                             (baseDir / key).string(), error);
    return config.tls != nullptr || reader.fail(table.get("tls_certificate"), error);
}

// copy_tls ("off", "preferred", "required") and copy_fingerprints, each a SHA-256 fingerprint.
bool readCopySecurity(const toml::table& table, CopySecurity& security, CConfigReader& reader) {
    std::string mode = "preferred";
    std::vector<std::string> fingerprints;
    if (!reader.readString(table, "copy_tls", mode) ||
        !reader.readStringList(table, "copy_fingerprints", fingerprints)) {
        return false;
    }
    if (mode == "off") {
        security.mode = CopySecurity::Mode::Off;
    } else if (mode == "preferred") {
        security.mode = CopySecurity::Mode::Preferred;
    } else if (mode == "required") {
        security.mode = CopySecurity::Mode::Required;
    } else {
        return reader.fail(table.get("copy_tls"),
                           "copy_tls must be \"off\", \"preferred\" or \"required\"");
    }
    security.fingerprints.clear();
    for (const std::string& text : fingerprints) {
        const auto fingerprint = tls::parseFingerprint(text);
        if (!fingerprint) {
            return reader.fail(table.get("copy_fingerprints"),
                               "copy_fingerprints: not a SHA-256 fingerprint: " + text);
        }
        security.fingerprints.push_back(*fingerprint);
    }
    return true;
}

bool readMetricsAddress(const toml::table& table, CServerConfig& config, CConfigReader& reader) {
    if (!reader.readString(table, "metrics_address", config.metricsAddress)) {
        return false;
    }
    if (!config.metricsAddress.empty() && !CMetricsEndpoint::parse(config.metricsAddress)) {
        return reader.fail(table.get("metrics_address"),
                           "metrics_address must be \"host:port\" (\"[v6]:port\" for IPv6)");
    }
    return true;
}

bool readLogSettings(const toml::table& table, CServerConfig& config, CConfigReader& reader) {
    std::string level = "info";
    std::string format = "text";
    if (!reader.readString(table, "log_level", level) ||
        !reader.readString(table, "log_format", format)) {
        return false;
    }
    const auto parsedLevel = CLogOutput::parseLevel(level);
    const auto parsedFormat = CLogOutput::parseFormat(format);
    if (!parsedLevel) {
        return reader.fail(table.get("log_level"),
                           "log_level must be \"error\", \"warning\", \"info\" or \"debug\"");
    }
    if (!parsedFormat) {
        return reader.fail(table.get("log_format"), "log_format must be \"text\" or \"json\"");
    }
    config.logLevel = *parsedLevel;
    config.logFormat = *parsedFormat;
    return true;
}

bool readServerTable(const toml::table& table, const std::filesystem::path& baseDir,
                     CServerConfig& config, CConfigReader& reader) {
    int port = config.port;
    const bool ok = CConfigReader::all(
        {reader.onlyKnownKeys(table,
                              {"address",
                               "port",
                               "max_connections",
                               "idle_timeout_ms",
                               "request_timeout_ms",
                               "max_open_files",
                               "allowed_commands",
                               "command_timeout_ms",
                               "log_commands",
                               "login_timeout_ms",
                               "max_connections_per_address",
                               "copy_targets",
                               "drain_timeout_ms",
                               "log_level",
                               "log_format",
                               "metrics_address",
                               "tls_certificate",
                               "tls_key",
                               "require_tls",
                               "copy_tls",
                               "copy_fingerprints"},
                              "[server]"),
         readTls(table, baseDir, config, reader),
         readAddresses(table, config, reader) && reader.readInt(table, "port", 0, 65535, port),
         reader.readInt(table, "max_connections", 1, INT32_MAX, config.maxConnections),
         reader.readInt(table, "idle_timeout_ms", 1, INT32_MAX, config.idleTimeoutMs),
         reader.readInt(table, "request_timeout_ms", 1, INT32_MAX, config.requestTimeoutMs),
         reader.readInt(table, "max_open_files", 1, 65536, config.maxOpenFiles),
         reader.readInt(table, "login_timeout_ms", 1, INT32_MAX, config.loginTimeoutMs),
         reader.readInt(table, "max_connections_per_address", 1, INT32_MAX,
                        config.maxConnectionsPerAddress),
         reader.readStringList(table, "copy_targets", config.copyTargets),
         readCopySecurity(table, config.copySecurity, reader),
         reader.readInt(table, "command_timeout_ms", 1, INT32_MAX, config.commandTimeoutMs),
         reader.readInt(table, "drain_timeout_ms", 0, INT32_MAX, config.drainTimeoutMs),
         reader.readBool(table, "log_commands", config.logCommands),
         readLogSettings(table, config, reader), readMetricsAddress(table, config, reader),
         reader.readStringList(table, "allowed_commands", config.allowedCommands)});
    config.port = static_cast<uint16_t>(port);
    return ok;
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

bool readPassword(const toml::table& table, DiskConfig& disk, CServerConfig& config,
                  CConfigReader& reader) {
    std::string text;
    const toml::node* node = table.get("password");
    if (node == nullptr) {
        return true;
    }
    if (!reader.readString(table, "password", text)) {
        return false;
    }
    if (!CPasswordHash::looksLikeHash(text)) {
        disk.password = CPasswordHash::fromPlain(text);
        config.warnings.push_back(reader.source() + ":" +
                                  std::to_string(node->source().begin.line) + ": disk " + disk.id +
                                  ": password kept in clear; store the output of "
                                  "\"tavik-server hash-password\" instead");
        return true;
    }
    disk.password = CPasswordHash::fromHash(text);
    if (!disk.password) {
        return reader.fail(node, "disk " + disk.id + ": password is not a valid argon2id hash");
    }
    if (disk.password->needsRehash()) {
        config.warnings.push_back(
            reader.source() + ":" + std::to_string(node->source().begin.line) + ": disk " +
            disk.id +
            ": password hash of another cost; it is made again at the current cost in "
            "memory on the next good login, and \"tavik-server hash-password\" makes one "
            "for the file");
    }
    return true;
}

std::optional<DiskConfig> readDisk(const toml::table& table, const std::filesystem::path& baseDir,
                                   CServerConfig& config, CConfigReader& reader) {
    DiskConfig disk;
    std::string root;
    int64_t quota = -1;
    const bool known = reader.onlyKnownKeys(
        table, {"id", "name", "root", "password", "quota", "capability_only", "read_only"},
        "[[disk]]");
    if (!reader.readString(table, "id", disk.id)) {
        return std::nullopt;
    }
    if (!validDiskId(disk.id)) {
        reader.fail(&table, "every [[disk]] needs an id without '/'");
        return std::nullopt;
    }
    disk.name = disk.id;
    const bool values = CConfigReader::all(
        {known, reader.readString(table, "name", disk.name), reader.readString(table, "root", root),
         reader.readInt64(table, "quota", 0, INT64_MAX, quota),
         readPassword(table, disk, config, reader),
         reader.readBool(table, "capability_only", disk.capabilityOnly),
         reader.readBool(table, "read_only", disk.readOnly)});
    if (root.empty()) {
        reader.fail(&table, "disk " + disk.id + " has no root");
        return std::nullopt;
    }
    std::string error;
    auto canonical = canonicalFolder(baseDir / root, error);
    if (!canonical) {
        reader.fail(table.get("root"), error);
        return std::nullopt;
    }
    if (!values) {
        return std::nullopt;
    }
    disk.root = *canonical;
    if (quota >= 0) {
        disk.quota = static_cast<uint64_t>(quota);
    }
    return disk;
}

bool readDisks(const toml::table& document, const std::filesystem::path& baseDir,
               CServerConfig& config, CConfigReader& reader) {
    const toml::node* node = document.get("disk");
    const toml::array* disks = node == nullptr ? nullptr : node->as_array();
    if (node != nullptr && disks == nullptr) {
        return reader.fail(node, "disks are given as [[disk]] tables");
    }
    if (disks == nullptr || disks->empty()) {
        // A server may only authenticate and list disks that live on other hosts.
        return config.service.enabled() || reader.fail(nullptr, "no [[disk]] configured");
    }
    std::set<std::string> ids;
    bool ok = true;
    for (const toml::node& entry : *disks) {
        const toml::table* table = entry.as_table();
        if (table == nullptr) {
            return reader.fail(&entry, "[[disk]] entries must be tables");
        }
        auto disk = readDisk(*table, baseDir, config, reader);
        if (!disk) {
            ok = false;
        } else if (!ids.insert(disk->id).second) {
            ok = reader.fail(table, "disk id used twice: " + disk->id);
        } else {
            config.disks.push_back(std::move(*disk));
        }
    }
    return ok;
}

// An account disk said to live on this server must be one of its disks, or every client would be
// sent to a disk that does not exist.
bool checkAccountDisks(const CServerConfig& config, CConfigReader& reader) {
    bool ok = true;
    for (const AccountConfig& account : config.service.accounts) {
        for (const AccountDisk& disk : account.disks) {
            if (disk.server == config.primaryAddress() && config.findDisk(disk.diskId) == nullptr) {
                ok = reader.fail(nullptr, "account " + account.identifier() +
                                              ": no [[disk]] with id " + disk.diskId);
            }
        }
    }
    return ok;
}

} // namespace

bool CServerConfig::needsCapabilityKey() const {
    return service.enabled() || std::any_of(disks.begin(), disks.end(), [](const DiskConfig& disk) {
               return disk.capabilityOnly;
           });
}

std::optional<CServerConfig> CServerConfig::fromToml(std::string_view text,
                                                     const std::filesystem::path& baseDir,
                                                     std::string& error, std::string_view source) {
    CConfigReader reader{std::string(source)};
    // The packaged toml++ reports syntax errors by exception; this is the one place it can
    // throw, so the rest of the server stays exception-free.
    toml::table document;
    try {
        document = toml::parse(text, source);
    } catch (const toml::parse_error& failure) {
        reader.failAtLine(failure.source().begin.line, failure.description());
        error = reader.error();
        return std::nullopt;
    }
    CServerConfig config;
    bool ok = reader.onlyKnownKeys(document, {"server", "disk", "service", "account", "store"}, "");
    const toml::node* server = document.get("server");
    if (ok && server != nullptr) {
        ok = server->is_table() ? readServerTable(*server->as_table(), baseDir, config, reader)
                                : reader.fail(server, "server must be a [server] table");
    }
    // Every part is read even after a failure, so that one reading names every problem; only
    // the cross-check needs its parts whole.
    const bool service =
        readServiceConfig(document, baseDir, config.primaryAddress(), config.service, reader);
    const bool disks = readDisks(document, baseDir, config, reader);
    if (!CConfigReader::all({ok, service, disks}) || !checkAccountDisks(config, reader)) {
        error = reader.error();
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
    auto config = fromToml(text.str(), file.parent_path(), error, file.string());
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

bool CServerConfig::servesHere(const AccountDisk& disk) const {
    const std::string& here = primaryAddress();
    const bool onThisServer = disk.server == here || disk.server.rfind(here + ":", 0) == 0 ||
                              disk.server.rfind("[" + here + "]:", 0) == 0;
    return onThisServer && findDisk(disk.diskId) != nullptr;
}

std::string CServerConfig::accountsOf(std::string_view diskId) const {
    std::string owners;
    for (const AccountConfig& account : service.accounts) {
        const bool owns =
            std::any_of(account.disks.begin(), account.disks.end(), [&](const AccountDisk& disk) {
                return disk.diskId == diskId && servesHere(disk);
            });
        if (owns) {
            owners.append(owners.empty() ? "" : ",").append(account.identifier());
        }
    }
    return owners;
}

bool CServerConfig::copyTargetAllowed(std::string_view ip, uint16_t port) const {
    const std::string withPort = CNetAddress::withPort(ip, port);
    for (const std::string& target : copyTargets) {
        if (target == ip || target == withPort) {
            return true;
        }
    }
    return false;
}

bool CServerConfig::validAddresses(const std::vector<std::string>& list, std::string& error) {
    if (list.empty()) {
        error = "address lists no address";
        return false;
    }
    std::set<std::string> seen;
    for (const std::string& address : list) {
        if (!CNetAddress::parseLiteral(address, 0)) {
            error = "address is not an IPv4 or IPv6 address: " + address;
            return false;
        }
        if (!seen.insert(CNetAddress::hostOf(address)).second) {
            error = "address listed twice: " + address;
            return false;
        }
    }
    return true;
}

const DiskConfig* CServerConfig::openDiskExposed() const {
    if (std::all_of(addresses.begin(), addresses.end(),
                    [](const std::string& address) { return CNetAddress::isLoopback(address); })) {
        return nullptr;
    }
    // A capability-only disk is protected by its capability ids, which only the installation's
    // servers can make.
    for (const DiskConfig& disk : disks) {
        if (!disk.password && !disk.capabilityOnly) {
            return &disk;
        }
    }
    return nullptr;
}

} // namespace tavik::server
