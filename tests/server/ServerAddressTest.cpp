// Listening on IPv4 and IPv6 addresses: the configuration's address lists, how client addresses
// are shown and counted, and the servers reached over ::1 and 127.0.0.1 at once.
#include "sdk/include/TavikErrors.h"
#include "server/CNetAddress.h"
#include "server/CServerConfig.h"
#include "tests/server/CServerHarness.h"
#include "tests/support/CTempFolder.h"
#include "tests/support/LoopbackIpv6.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace tavik::test {
namespace {

using server::CNetAddress;

TEST(ServerAddress, AddressSettingTakesOneLiteralOrAList) {
    CTempFolder temp;
    std::filesystem::create_directories(temp.file("a"));
    const std::string disk = "[[disk]]\nid = \"x\"\nroot = \"a\"\n";
    struct Row {
        const char* value; // the right-hand side of address = …, or "" for no setting
        std::vector<std::string> addresses;
        const char* error; // part of the refusal; null when accepted
    };
    const Row rows[] = {
        {"", {"127.0.0.1", "::1"}, nullptr},
        {R"("::1")", {"::1"}, nullptr},
        {R"("[::1]")", {"::1"}, nullptr},
        {R"("0.0.0.0")", {"0.0.0.0"}, nullptr},
        {R"(["::", "0.0.0.0"])", {"::", "0.0.0.0"}, nullptr},
        {R"(["127.0.0.1", "[fe80::1]", "2001:db8::7"])",
         {"127.0.0.1", "fe80::1", "2001:db8::7"},
         nullptr},
        {R"([])", {}, "address lists no address"},
        {R"("localhost")", {}, "not an IPv4 or IPv6 address: localhost"},
        {R"(["::1", "127.0.0.1:9553"])", {}, "not an IPv4 or IPv6 address: 127.0.0.1:9553"},
        {R"("[127.0.0.1]")", {}, "not an IPv4 or IPv6 address"},
        {R"(["::1", "[::1]"])", {}, "address listed twice: [::1]"},
        {R"(["::1", ""])", {}, "non-empty strings"},
        {R"(7)", {}, "list of strings"},
    };
    for (const Row& row : rows) {
        const std::string text =
            std::string(row.value).empty()
                ? disk
                : "[server]\naddress = " + std::string(row.value) + "\n" + disk;
        std::string error;
        const auto config = server::CServerConfig::fromToml(text, temp.path(), error);
        if (row.error == nullptr) {
            ASSERT_TRUE(config) << row.value << ": " << error;
            EXPECT_EQ(config->addresses, row.addresses) << row.value;
            EXPECT_EQ(config->addressesDefaulted, std::string(row.value).empty()) << row.value;
        } else {
            EXPECT_FALSE(config) << row.value;
            EXPECT_NE(error.find(row.error), std::string::npos) << row.value << ": " << error;
            EXPECT_NE(error.find(":2:"), std::string::npos) << row.value << ": " << error;
        }
    }
}

sockaddr_storage socketAddress(const char* literal, uint16_t port) {
    sockaddr_storage address{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, literal, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
    } else if (::inet_pton(AF_INET6, literal, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
    }
    return address;
}

TEST(ServerAddress, ClientAddressesAreShownBareAndWithTheirPort) {
    struct Row {
        const char* socket;
        const char* host;
        const char* withPort;
        bool loopback;
    };
    const Row rows[] = {
        {"127.0.0.1", "127.0.0.1", "127.0.0.1:4000", true},
        {"10.1.2.3", "10.1.2.3", "10.1.2.3:4000", false},
        {"::1", "::1", "[::1]:4000", true},
        {"2001:db8:0:0::5", "2001:db8::5", "[2001:db8::5]:4000", false},
        // An IPv4 client arriving on an IPv6 socket is the IPv4 client.
        {"::ffff:127.0.0.9", "127.0.0.9", "127.0.0.9:4000", true},
        {"::ffff:192.0.2.1", "192.0.2.1", "192.0.2.1:4000", false},
    };
    for (const Row& row : rows) {
        const sockaddr_storage address = socketAddress(row.socket, 4000);
        const std::string host = CNetAddress::hostText(address);
        EXPECT_EQ(host, row.host) << row.socket;
        EXPECT_EQ(CNetAddress::port(address), 4000) << row.socket;
        const std::string shown = CNetAddress::withPort(host, CNetAddress::port(address));
        EXPECT_EQ(shown, row.withPort) << row.socket;
        EXPECT_EQ(CNetAddress::hostOf(shown), row.host) << row.socket;
        EXPECT_EQ(CNetAddress::isLoopback(row.socket), row.loopback) << row.socket;
    }
    EXPECT_EQ(CNetAddress::hostOf("fe80::1"), "fe80::1");
    EXPECT_TRUE(CNetAddress::isWildcard("::"));
    EXPECT_TRUE(CNetAddress::isWildcard("0.0.0.0"));
    EXPECT_FALSE(CNetAddress::isWildcard("::1"));
}

TEST(ServerAddress, OpenDisksNeedEveryAddressOnLoopback) {
    CTempFolder temp;
    std::string error;
    auto config = server::CServerConfig::demo(temp.path(), "demo", error);
    ASSERT_TRUE(config) << error;
    const std::pair<std::vector<std::string>, bool> rows[] = {
        {{"127.0.0.1", "::1"}, false}, {{"::1"}, false},
        {{"::ffff:127.0.0.1"}, false}, {{"::"}, true},
        {{"127.0.0.1", "::"}, true},   {{"::1", "2001:db8::1"}, true},
    };
    for (const auto& [addresses, exposed] : rows) {
        config->addresses = addresses;
        EXPECT_EQ(config->openDiskExposed() != nullptr, exposed) << addresses.back();
    }
}

TEST(ServerAddress, DualStackServerTakesBothFamiliesOnOnePortAndCountsEachAddress) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    CServerHarness harness([](server::CServerConfig& config) {
        config.addresses = {"127.0.0.1", "::1"};
        config.maxConnectionsPerAddress = 1;
    });
    ASSERT_TRUE(harness.running());
    EXPECT_EQ(harness.server().addresses(), (std::vector<std::string>{"127.0.0.1", "::1"}));
    CTestClient overIpv6;
    ASSERT_TRUE(overIpv6.connect(harness.port(), "::1"));
    ASSERT_EQ(overIpv6.login(), 0);
    // A second connection from ::1 is over its address's cap and told so ...
    CTestClient secondIpv6;
    ASSERT_TRUE(secondIpv6.connect(harness.port(), "::1"));
    EXPECT_EQ(secondIpv6.login(), TAVIK_ERR_SESSION_LIMIT);
    // ... which the IPv4 loopback client does not share.
    CTestClient overIpv4;
    ASSERT_TRUE(overIpv4.connect(harness.port(), "127.0.0.1"));
    EXPECT_EQ(overIpv4.login(), 0);
}

TEST(ServerAddress, DefaultListIsServedWhereverIpv6IsMissingOrNot) {
    CServerHarness harness([](server::CServerConfig& config) {
        config.addresses = server::CServerConfig{}.addresses;
        config.addressesDefaulted = true;
    });
    ASSERT_TRUE(harness.running());
    CTestClient overIpv4;
    ASSERT_TRUE(overIpv4.connect(harness.port(), "127.0.0.1"));
    EXPECT_EQ(overIpv4.login(), 0);
    const bool ipv6 = loopbackIpv6Available();
    EXPECT_EQ(harness.server().addresses().size(), ipv6 ? 2u : 1u);
}

TEST(ServerAddress, AnAddressThatCannotBeBoundStopsTheServerWhenNamed) {
    // 192.0.2.1 belongs to no interface of a test machine (documentation range).
    CServerHarness harness([](server::CServerConfig& config) {
        config.addresses = {"127.0.0.1", "192.0.2.1"};
    });
    EXPECT_FALSE(harness.running());
}

} // namespace
} // namespace tavik::test
