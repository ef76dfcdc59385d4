#include "sdk/core/CHostAddresses.h"

#include "platform/HostAddress.h"

#include <string>

namespace tavik {

std::vector<CHostAddresses::Candidate> CHostAddresses::resolve(const char* host, uint16_t port) {
    std::vector<Candidate> candidates;
    if (host == nullptr || *host == '\0') {
        return candidates;
    }
    std::string name(host);
    // Brackets only ever hold an address, never a name to look up.
    const bool bracketed = name.size() >= 2 && name.front() == '[' && name.back() == ']';
    if (bracketed) {
        name = name.substr(1, name.size() - 2);
    } else if (name.front() == '[') {
        return candidates;
    }
    for (const platform::SocketAddress& found : platform::lookupHost(name, port, bracketed)) {
        candidates.push_back(Candidate{found.address, found.length});
    }
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
