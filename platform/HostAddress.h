// Host texts as every client of the system takes them: "host", "host:port", "[v6]" or
// "[v6]:port" split apart, and a host turned into the socket addresses to try. Shared by the
// library, the program and the command-line client, so that all of them read a server address
// the same way. Stateless; every function is safe from any thread.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::platform {

struct SocketAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

struct HostAndPort {
    std::string host;             // without brackets
    std::optional<uint16_t> port; // none when the text names no port
};

// A port from 1 to 65535 written in decimal digits only; nullopt otherwise.
std::optional<uint16_t> parsePort(std::string_view text);

// Splits "host", "host:port", "[v6]" and "[v6]:port"; a text with more than one colon and no
// brackets is a bare IPv6 address. On failure nullopt, and *why (when given) says what is wrong:
// "unclosed '[' in the server address", "unexpected text after ']' in the server address",
// "empty port in the server address", "empty host in the server address" or "the port must be
// a number from 1 to 65535".
std::optional<HostAndPort> splitHostPort(std::string_view text, const char** why = nullptr);

// The addresses of a name or a numeric literal with port, IPv6 and IPv4 in the order the
// system's resolver prefers, each once; with numericOnly, names are not looked up. Empty when
// nothing resolves.
std::vector<SocketAddress> lookupHost(const std::string& host, uint16_t port, bool numericOnly);

} // namespace tavik::platform
