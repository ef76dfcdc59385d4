#include "app/socket/CHostResolver.h"

#include "platform/HostAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>

namespace tavik::app {

namespace {

std::mutex lookupLock;
CHostResolver::Lookup replacedLookup;
std::atomic<uint64_t> lookups{0};

CHostResolver::Address ipv4(in_addr address, uint16_t port) {
    CHostResolver::Address result;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage);
    v4->sin_family = AF_INET;
    v4->sin_addr = address;
    v4->sin_port = htons(port);
    result.length = sizeof(sockaddr_in);
    return result;
}

std::optional<CHostResolver::Address> ipv6Literal(const std::string& host, uint16_t port) {
    std::string text = host;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    CHostResolver::Address result;
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
    if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) != 1) {
        return std::nullopt;
    }
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    result.length = sizeof(sockaddr_in6);
    return result;
}

std::vector<CHostResolver::Address> systemLookup(const std::string& name, uint16_t port) {
    std::vector<CHostResolver::Address> found;
    for (const platform::SocketAddress& address : platform::lookupHost(name, port, false)) {
        found.push_back(CHostResolver::Address{address.address, address.length});
    }
    return found;
}

} // namespace

std::vector<CHostResolver::Address> CHostResolver::Resolve(std::string_view ansiHost,
                                                           uint16_t port) {
    std::string host(ansiHost);
    if (host.empty()) {
        return {};
    }
    in_addr dotted{};
    if (inet_aton(host.c_str(), &dotted) != 0) {
        return {ipv4(dotted, port)};
    }
    if (auto literal = ipv6Literal(host, port)) {
        return {*literal};
    }
    if (host.front() == '[') {
        return {}; // brackets hold an address, never a name to look up
    }
    Lookup lookup;
    {
        std::lock_guard<std::mutex> guard(lookupLock);
        lookup = replacedLookup;
    }
    ++lookups;
    if (!lookup) {
        return systemLookup(host, port);
    }
    std::vector<Address> found;
    for (const std::string& literal : lookup(host)) {
        in_addr v4{};
        if (inet_pton(AF_INET, literal.c_str(), &v4) == 1) {
            found.push_back(ipv4(v4, port));
        } else if (auto v6 = ipv6Literal(literal, port)) {
            found.push_back(*v6);
        }
    }
    return found;
}

CHostResolver::Lookup CHostResolver::SetLookup(Lookup lookup) {
    std::lock_guard<std::mutex> guard(lookupLock);
    std::swap(replacedLookup, lookup);
    return lookup;
}

uint64_t CHostResolver::LookupCount() {
    return lookups.load();
}

} // namespace tavik::app
