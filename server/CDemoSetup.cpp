#include "server/CDemoSetup.h"

#include <sodium.h>

#include <cstdlib>
#include <sys/stat.h>

namespace tavik::server {

namespace {

std::filesystem::path stateHome() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return state;
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".local" /
           "state";
}

// 16 hex digits of a hash of the path: the same folder always finds the same state.
std::string folderTag(const std::filesystem::path& root) {
    const std::string text = root.string();
    unsigned char digest[8];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size(), nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

} // namespace

std::string CDemoSetup::domain() {
    const char* domain = std::getenv("TAVIK_DOMAIN");
    return domain != nullptr && *domain != '\0' ? domain : "tavik.local";
}

std::optional<std::filesystem::path> CDemoSetup::stateFolder(const std::filesystem::path& root,
                                                             std::string& error) {
    const std::filesystem::path folder = stateHome() / "tavik-server" / ("demo-" + folderTag(root));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        error = "cannot make the demo's state folder " + folder.string();
        return std::nullopt;
    }
    // The installation key lives here: only this user may read it.
    ::chmod(folder.c_str(), 0700);
    return folder;
}

bool CDemoSetup::addAccount(CServerConfig& config, const std::string& passwordHash,
                            std::string& error) {
    const DiskConfig& disk = config.disks.front();
    const auto folder = stateFolder(disk.root, error);
    if (!folder) {
        return false;
    }
    AccountConfig account;
    account.user = "demo";
    account.domain = domain();
    account.passwordHash = passwordHash;
    account.displayName = "Demo";
    account.userNumber = 1;
    account.disks.push_back({disk.id, disk.name, config.primaryAddress()});
    config.service.accounts.push_back(std::move(account));
    config.service.stateDatabase = *folder / "tavik-state.db";
    config.service.installationKey = *folder / "installation.key";
    config.capabilityKey = CDiskCapability::loadKey(config.service.installationKey, error);
    return config.capabilityKey.has_value();
}

void CDemoSetup::removeState(const CServerConfig& config) {
    const std::filesystem::path folder = config.service.stateDatabase.parent_path();
    if (folder.filename().string().rfind("demo-", 0) == 0) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
}

} // namespace tavik::server
