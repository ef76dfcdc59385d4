// Addresses the program keeps built in: the service's own domain, the authentication/message
// server, the disk-information server's default, the service's web site and the disk servers'
// port. The defaults reach the reference service on this machine; each can be overridden by an
// environment variable, read once, the first time the constants are asked for:
//   TAVIK_DOMAIN           the service's own domain            default "tavik.local"
//   TAVIK_AUTH_SERVER      "host[:port]" of the auth server     default 127.0.0.1:10020
//   TAVIK_DISKINFO_SERVER  "host[:port]" of the disk-info server default 127.0.0.1:22222
//                          (the registry's server\ip still overrides the host)
//   TAVIK_WEBSITE          the service's web site               default http://127.0.0.1:8080/
// A variable that is set but empty or malformed (a port that is not 1..65535) is ignored with a
// warning on standard error, and the default stays.
// Threads: ProgramConstants() is safe from any thread; the object never changes after.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::app {

inline constexpr uint16_t kAuthServerPort = 10020;
inline constexpr uint16_t kDiskInfoServerPort = 22222;
inline constexpr uint16_t kDiskServerPort = 9553;

struct HostPort {
    std::string host;
    uint16_t port = 0;
    bool operator==(const HostPort&) const = default;
};

struct ProgramConstantValues {
    std::u16string domain;
    HostPort authServer;
    HostPort diskInfoServer;
    std::string website;
    uint16_t diskServerPort = kDiskServerPort;
};

// "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address ("::1", default port);
// nullopt for an empty host, an unclosed bracket or a port that is not 1..65535.
std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort);

// The values from the given environment lookup (a null answer means "not set"); used once by
// ProgramConstants() with getenv, and by tests with their own tables.
ProgramConstantValues ReadProgramConstants(const char* (*lookup)(const char* name));

// The process's constants, read on first use.
const ProgramConstantValues& ProgramConstants();

} // namespace tavik::app
