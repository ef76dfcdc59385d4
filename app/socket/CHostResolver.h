// Host text to the socket addresses to try, for both socket classes. An IPv4 address
// ("127.0.0.1", and the short forms inet_aton accepts) or an IPv6 address (also in brackets,
// "[::1]") is converted without any lookup; any other text goes through the name lookup, which
// yields the name's IPv6 and IPv4 addresses in the order the system's resolver prefers. Tests may
// replace the lookup so that no name ever leaves the machine, and count how often it ran.
// Threads: Resolve is safe from any thread.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

class CHostResolver {
public:
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
        int family() const { return storage.ss_family; }
        const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    };
    // A replaced lookup: the name's addresses as IPv4 or IPv6 literals, in order; none when there
    // is no such name (a text that is no literal is skipped).
    using Lookup = std::function<std::vector<std::string>(const std::string& name)>;

    // The addresses of host with port, in the order to try them; empty when the host is empty
    // or the name does not resolve.
    static std::vector<Address> Resolve(std::string_view ansiHost, uint16_t port);
    // Replaces the name lookup (an empty function restores the system's); returns the old one.
    static Lookup SetLookup(Lookup lookup);
    // How many name lookups ran in this process.
    static uint64_t LookupCount();
};

} // namespace tavik::app
