#include "platform/HostAddress.h"

#include <netdb.h>

#include <algorithm>
#include <cstring>

namespace tavik::platform {

namespace {

std::optional<HostAndPort> refuse(const char** why, const char* reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return std::nullopt;
}

bool sameAddress(const SocketAddress& a, const SocketAddress& b) {
    return a.length == b.length && std::memcmp(&a.address, &b.address, a.length) == 0;
}

} // namespace

std::optional<uint16_t> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    unsigned port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(port);
}

std::optional<HostAndPort> splitHostPort(std::string_view text, const char** why) {
    std::string_view host = text;
    std::string_view port;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        // The brackets keep the address's colons apart from the port's.
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return refuse(why, "unclosed '[' in the server address");
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return refuse(why, "unexpected text after ']' in the server address");
            }
            hasPort = true;
            port = rest.substr(1);
        }
    } else if (const size_t colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        // Exactly one colon separates host and port; more than one is a bare IPv6 address.
        host = text.substr(0, colon);
        hasPort = true;
        port = text.substr(colon + 1);
    }
    if (hasPort && port.empty()) {
        return refuse(why, "empty port in the server address");
    }
    if (host.empty()) {
        return refuse(why, "empty host in the server address");
    }
    HostAndPort result{std::string(host), std::nullopt};
    if (hasPort) {
        result.port = parsePort(port);
        if (!result.port) {
            return refuse(why, "the port must be a number from 1 to 65535");
        }
    }
    return result;
}

std::vector<SocketAddress> lookupHost(const std::string& host, uint16_t port, bool numericOnly) {
    std::vector<SocketAddress> found;
    if (host.empty()) {
        return found;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) {
        return found;
    }
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        SocketAddress address;
        if (entry->ai_addrlen > sizeof address.address) {
            continue;
        }
        std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        const bool seen = std::any_of(found.begin(), found.end(), [&](const SocketAddress& a) {
            return sameAddress(a, address);
        });
        if (!seen) {
            found.push_back(address);
        }
    }
    ::freeaddrinfo(list);
    return found;
}

} // namespace tavik::platform
