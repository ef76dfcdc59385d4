#include "server/CNetAddress.h"

#include <arpa/inet.h>

#include <cstring>

namespace tavik::server {

namespace {

std::string_view unbracketed(std::string_view literal) {
    if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']') {
        return literal.substr(1, literal.size() - 2);
    }
    return literal;
}

} // namespace

std::optional<CNetAddress::Bound> CNetAddress::parseLiteral(std::string_view literal,
                                                            uint16_t port) {
    const bool bracketed = unbracketed(literal).size() != literal.size();
    const std::string text(unbracketed(literal));
    Bound bound;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&bound.address);
    if (!bracketed && ::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        bound.length = sizeof(sockaddr_in);
        bound.family = AF_INET;
        return bound;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&bound.address);
    if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        bound.length = sizeof(sockaddr_in6);
        bound.family = AF_INET6;
        return bound;
    }
    return std::nullopt;
}

std::string CNetAddress::hostText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        return text;
    }
    if (address.ss_family != AF_INET6) {
        return "?";
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        in_addr v4{};
        std::memcpy(&v4, v6.sin6_addr.s6_addr + 12, sizeof v4);
        ::inet_ntop(AF_INET, &v4, text, sizeof text);
        return text;
    }
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    return text;
}

uint16_t CNetAddress::port(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

std::string CNetAddress::withPort(std::string_view host, uint16_t port) {
    const std::string suffix = ":" + std::to_string(port);
    if (host.find(':') != std::string_view::npos) {
        return "[" + std::string(host) + "]" + suffix;
    }
    return std::string(host) + suffix;
}

std::string CNetAddress::hostOf(std::string_view peer) {
    if (!peer.empty() && peer.front() == '[') {
        const size_t close = peer.find(']');
        return std::string(peer.substr(1, close == std::string_view::npos ? peer.npos : close - 1));
    }
    const size_t colon = peer.find(':');
    // More than one colon without brackets: a bare IPv6 literal, which carries no port.
    if (colon == std::string_view::npos || peer.find(':', colon + 1) != std::string_view::npos) {
        return std::string(peer);
    }
    return std::string(peer.substr(0, colon));
}

bool CNetAddress::isLoopback(std::string_view literal) {
    const auto bound = parseLiteral(literal, 0);
    if (!bound) {
        return false;
    }
    if (bound->family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(bound->address);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(bound->address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        return v6.sin6_addr.s6_addr[12] == 127;
    }
    return IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr);
}

bool CNetAddress::isWildcard(std::string_view literal) {
    const auto bound = parseLiteral(literal, 0);
    if (!bound) {
        return false;
    }
    if (bound->family == AF_INET) {
        return reinterpret_cast<const sockaddr_in&>(bound->address).sin_addr.s_addr == INADDR_ANY;
    }
    return IN6_IS_ADDR_UNSPECIFIED(
        &reinterpret_cast<const sockaddr_in6&>(bound->address).sin6_addr);
}

} // namespace tavik::server
