#include "app/socket/CHostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <mutex>

namespace tavik::app {

namespace {

std::mutex lookupLock;
CHostResolver::Lookup replacedLookup;
std::atomic<uint64_t> lookups{0};

std::optional<uint32_t> systemLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

} // namespace

std::optional<uint32_t> CHostResolver::Resolve(std::string_view ansiHost) {
    std::string host(ansiHost);
    if (host.empty()) {
        return std::nullopt;
    }
    in_addr dotted{};
    if (inet_aton(host.c_str(), &dotted) != 0) {
        return dotted.s_addr;
    }
    Lookup lookup;
    {
        std::lock_guard<std::mutex> guard(lookupLock);
        lookup = replacedLookup;
    }
    ++lookups;
    return lookup ? lookup(host) : systemLookup(host);
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
