// Numeric IPv4 and IPv6 addresses as the server reads them from its configuration and shows
// them in logs. An IPv4 client reaching an IPv6 socket arrives as ::ffff:a.b.c.d; it is turned
// back into a.b.c.d here, so that limits, throttles and logs count it as the IPv4 client it is.
// Stateless; every function is safe from any thread.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::server {

class CNetAddress {
public:
    // A socket address for literal:port. The literal is dotted IPv4 or IPv6 text, optionally in
    // brackets ("[::1]"); host names are not looked up. nullopt when it is neither.
    struct Bound {
        sockaddr_storage address{};
        socklen_t length = 0;
        int family = AF_UNSPEC;
    };
    static std::optional<Bound> parseLiteral(std::string_view literal, uint16_t port);
    // The client's address as bare text (IPv4-mapped shown as IPv4) and its port.
    static std::string hostText(const sockaddr_storage& address);
    static uint16_t port(const sockaddr_storage& address);
    // "a.b.c.d:port" or "[v6]:port".
    static std::string withPort(std::string_view host, uint16_t port);
    // The host of "a.b.c.d:port", "[v6]:port" or a bare literal, without brackets.
    static std::string hostOf(std::string_view peer);
    // 127.0.0.0/8, ::1 and ::ffff:127.0.0.0/104; anything else (:: and 0.0.0.0 too) is
    // reachable from other machines.
    static bool isLoopback(std::string_view literal);
    // 0.0.0.0 or ::, which name no one host.
    static bool isWildcard(std::string_view literal);
};

} // namespace tavik::server
