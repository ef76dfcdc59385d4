// Host names and literals of both families: what they resolve to, and connecting through a list
// of addresses in order, past ones that refuse.
#include "sdk/core/CHostAddresses.h"
#include "sdk/core/CConnection.h"
#include "tests/support/LoopbackIpv6.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik {
namespace {

// A socket bound on a loopback literal; listening or not (a port that refuses connections).
class LoopbackPort {
public:
    LoopbackPort(const char* literal, bool listening) {
        candidate_ = CHostAddresses::resolve(literal, 0).front();
        fd_ = ::socket(candidate_.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        auto* address = reinterpret_cast<sockaddr*>(&candidate_.address);
        if (::bind(fd_, address, candidate_.length) != 0 || (listening && ::listen(fd_, 4) != 0) ||
            ::getsockname(fd_, address, &candidate_.length) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LoopbackPort() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;
    bool valid() const { return fd_ >= 0; }
    const CHostAddresses::Candidate& candidate() const { return candidate_; }

private:
    int fd_ = -1;
    CHostAddresses::Candidate candidate_;
};

std::string textOf(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                    sizeof text);
    } else if (address.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                    sizeof text);
    }
    return text;
}

uint16_t portOf(const sockaddr_storage& address) {
    return address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

TEST(CHostAddresses, LiteralsAndNamesResolveToTheirFamilies) {
    struct Row {
        const char* host;
        const char* first; // the first address, "" when nothing resolves
        size_t count;      // how many addresses
    };
    const Row rows[] = {
        {"127.0.0.1", "127.0.0.1", 1},
        {"::1", "::1", 1},
        {"[::1]", "::1", 1},
        {"[2001:db8::5]", "2001:db8::5", 1},
        {"2001:db8:0::5", "2001:db8::5", 1},
        {"", "", 0},
        {"[::1", "", 0},
        {"[localhost]", "", 0},
    };
    for (const Row& row : rows) {
        const auto candidates = CHostAddresses::resolve(row.host, 9553);
        if (std::string(row.first).empty()) {
            EXPECT_TRUE(candidates.empty()) << row.host;
            continue;
        }
        ASSERT_FALSE(candidates.empty()) << row.host;
        EXPECT_EQ(textOf(candidates.front().address), row.first) << row.host;
        EXPECT_EQ(portOf(candidates.front().address), 9553) << row.host;
        EXPECT_EQ(candidates.size(), row.count) << row.host;
    }
    EXPECT_TRUE(CHostAddresses::resolve(nullptr, 1).empty());
    // A name lists each of its addresses once, whatever families it has.
    const auto local = CHostAddresses::resolve("localhost", 1);
    ASSERT_FALSE(local.empty());
    for (size_t i = 0; i < local.size(); ++i) {
        for (size_t j = i + 1; j < local.size(); ++j) {
            EXPECT_NE(textOf(local[i].address), textOf(local[j].address));
        }
    }
}

TEST(CHostAddresses, EachAttemptGetsAShareOfWhatIsLeft) {
    const std::tuple<int32_t, size_t, int32_t> rows[] = {
        {-1, 3, -1}, {9000, 3, 3000}, {9000, 1, 9000}, {10, 4, 2}, {0, 2, 0}, {9000, 0, 9000},
    };
    for (const auto& [remaining, left, budget] : rows) {
        EXPECT_EQ(CHostAddresses::attemptBudget(remaining, left), budget)
            << remaining << " " << left;
    }
}

TEST(CConnectionAddresses, AddressesAreTriedInOrderPastRefusingOnes) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    // Rows: which of (refusing IPv6, listening IPv4, refusing IPv4, listening IPv6) to try, in
    // order; the family of the one that should answer.
    LoopbackPort refusing6("::1", false);
    LoopbackPort listening4("127.0.0.1", true);
    LoopbackPort refusing4("127.0.0.1", false);
    LoopbackPort listening6("::1", true);
    ASSERT_TRUE(refusing6.valid() && listening4.valid() && refusing4.valid() && listening6.valid());
    const LoopbackPort* all[] = {&refusing6, &listening4, &refusing4, &listening6};
    struct Row {
        std::vector<int> order;
        int answering; // index into all, -1: none connects
    };
    const Row rows[] = {
        {{0, 1}, 1}, {{2, 3}, 3}, {{3, 1}, 3}, {{1, 3}, 1}, {{0, 2, 3}, 3}, {{0, 2}, -1}, {{}, -1},
    };
    for (const Row& row : rows) {
        std::vector<CHostAddresses::Candidate> candidates;
        for (int index : row.order) {
            candidates.push_back(all[index]->candidate());
        }
        CConnection connection;
        const bool connected = connection.ConnectAny(candidates, 5000);
        EXPECT_EQ(connected, row.answering >= 0) << row.order.size();
        if (!connected || row.answering < 0) {
            continue;
        }
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        ASSERT_EQ(::getpeername(connection.Socket(), reinterpret_cast<sockaddr*>(&peer), &length),
                  0);
        const auto& expected = all[row.answering]->candidate().address;
        EXPECT_EQ(textOf(peer), textOf(expected));
        EXPECT_EQ(portOf(peer), portOf(expected));
    }
}

} // namespace
} // namespace tavik
