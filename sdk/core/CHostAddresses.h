// The socket addresses a host name or literal stands for, in the order to try them. IPv6
// literals may come in brackets ("[::1]"); a name yields its IPv6 and IPv4 addresses in the
// order the system's resolver prefers (its address-selection rules), each address once.
// Stateless; safe from any thread.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <vector>

namespace tavik {

class CHostAddresses {
public:
    struct Candidate {
        sockaddr_storage address{};
        socklen_t length = 0;
    };
    // Empty when the host does not resolve (or is null).
    static std::vector<Candidate> resolve(const char* host, uint16_t port);
    // The time one attempt may take out of what is left of a connect's budget, so that an
    // unreachable first address cannot use up the time of the ones after it: an equal share of
    // remainingMs among the attempts left (the last takes all). -1 (no limit) stays -1.
    static int32_t attemptBudget(int32_t remainingMs, size_t attemptsLeft);
};

} // namespace tavik
