// Host text to IPv4 address, for both socket families. A dotted address ("127.0.0.1", and the
// short forms inet_addr accepts) is converted without any lookup; any other text goes through
// the name lookup (the first IPv4 address of getaddrinfo). Tests may replace the lookup so that
// no name ever leaves the machine, and count how often it ran.
// Threads: Resolve is safe from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::app {

class CHostResolver {
public:
    // Address in network byte order, or nullopt (the name does not resolve, or is empty).
    using Lookup = std::function<std::optional<uint32_t>(const std::string& name)>;

    static std::optional<uint32_t> Resolve(std::string_view ansiHost);
    // Replaces the name lookup (an empty function restores the system's); returns the old one.
    static Lookup SetLookup(Lookup lookup);
    // How many name lookups ran in this process.
    static uint64_t LookupCount();
};

} // namespace tavik::app
