#include "server/CServiceStore.h"

#include "server/CEmbeddedStore.h"
#include "server/CPostgresStore.h"

#include <algorithm>
#include <cctype>

namespace tavik::server {

std::optional<std::string> canonicalIdentifier(std::string_view identifier) {
    const size_t at = identifier.rfind('@');
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string canonical(identifier);
    std::transform(canonical.begin() + static_cast<std::ptrdiff_t>(at) + 1, canonical.end(),
                   canonical.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return canonical;
}

std::unique_ptr<CServiceStore> openServiceStore(const ServiceConfig& service, std::string& error) {
    const std::chrono::seconds window(service.diskInfoWindowSeconds);
    if (!service.postgresql.empty()) {
        return CPostgresStore::open(service.postgresql, window, error);
    }
    return CEmbeddedStore::open(service.stateDatabase, window, error);
}

bool seedAccounts(CServiceStore& store, const ServiceConfig& service, std::string& error,
                  std::vector<std::string>* removed) {
    auto done = store.seedFileAccounts(service.accounts);
    if (!done) {
        error = "cannot write the configuration's accounts to the store: " + done.error();
        return false;
    }
    if (removed != nullptr) {
        *removed = std::move(*done);
    }
    return true;
}

} // namespace tavik::server
