#include "cli/core/CServerAddress.h"

#include "platform/HostAddress.h"

namespace tavik::cli {

std::optional<int> CServerAddress::parsePort(std::string_view text) {
    const std::optional<uint16_t> port = platform::parsePort(text);
    return port ? std::optional<int>(*port) : std::nullopt;
}

std::optional<CServerAddress> CServerAddress::parse(std::string_view text, std::string* why) {
    const char* reason = nullptr;
    const std::optional<platform::HostAndPort> split = platform::splitHostPort(text, &reason);
    if (!split) {
        if (why != nullptr) {
            *why = reason;
        }
        return std::nullopt;
    }
    return CServerAddress(split->host, split->port ? *split->port : kDefaultPort);
}

} // namespace tavik::cli
