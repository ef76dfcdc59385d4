#include "sdk/core/CHostAddresses.h"

#include <netdb.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tavik {

namespace {

// Brackets only ever hold an address, never a name to look up.
bool bracketed(const std::string& text) {
    return text.size() >= 2 && text.front() == '[' && text.back() == ']';
}

bool sameAddress(const CHostAddresses::Candidate& a, const CHostAddresses::Candidate& b) {
    return a.length == b.length && std::memcmp(&a.address, &b.address, a.length) == 0;
}

} // namespace

std::vector<CHostAddresses::Candidate> CHostAddresses::resolve(const char* host, uint16_t port) {
    std::vector<Candidate> candidates;
    if (host == nullptr || *host == '\0') {
        return candidates;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    std::string name(host);
    if (bracketed(name)) {
        name = name.substr(1, name.size() - 2);
        hints.ai_flags |= AI_NUMERICHOST;
    } else if (name.front() == '[') {
        return candidates;
    }
    const std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &found) != 0) {
        return candidates;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        Candidate candidate;
        if (entry->ai_addrlen > sizeof candidate.address) {
            continue;
        }
        std::memcpy(&candidate.address, entry->ai_addr, entry->ai_addrlen);
        candidate.length = entry->ai_addrlen;
        const bool seen =
            std::any_of(candidates.begin(), candidates.end(),
                        [&](const Candidate& c) { return sameAddress(c, candidate); });
        if (!seen) {
            candidates.push_back(candidate);
        }
    }
    ::freeaddrinfo(found);
    return candidates;
}

int32_t CHostAddresses::attemptBudget(int32_t remainingMs, size_t attemptsLeft) {
    if (remainingMs < 0) {
        return -1;
    }
    if (attemptsLeft <= 1) {
        return remainingMs;
    }
    return static_cast<int32_t>(remainingMs / static_cast<int64_t>(attemptsLeft));
}

} // namespace tavik
