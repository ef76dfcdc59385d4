#include "cli/core/CServerAddress.h"

namespace tavik::cli {

std::optional<int> CServerAddress::parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

std::optional<CServerAddress> CServerAddress::parse(std::string_view text, std::string* why) {
    auto fail = [why](const char* reason) {
        if (why != nullptr) {
            *why = reason;
        }
        return std::nullopt;
    };
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return fail("unclosed '[' in the server address");
        }
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return fail("unexpected text after ']' in the server address");
            }
            port = rest.substr(1);
            if (port.empty()) {
                return fail("empty port in the server address");
            }
        }
    } else if (const size_t colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        // Exactly one colon separates host and port; more than one is a bare IPv6 address.
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) {
            return fail("empty port in the server address");
        }
    }
    if (host.empty()) {
        return fail("empty host in the server address");
    }
    int number = kDefaultPort;
    if (!port.empty()) {
        const auto parsed = parsePort(port);
        if (!parsed) {
            return fail("the port must be a number from 1 to 65535");
        }
        number = *parsed;
    }
    return CServerAddress(std::string(host), number);
}

} // namespace tavik::cli
