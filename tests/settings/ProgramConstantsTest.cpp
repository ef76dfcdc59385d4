// The program's built-in addresses and their environment overrides.
#include "app/settings/ProgramConstants.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tavik::app {
namespace {

TEST(ProgramConstantsTest, HostPortTexts) {
    const struct {
        const char* text;
        std::optional<HostPort> parsed;
    } rows[] = {
        {"127.0.0.1", HostPort{"127.0.0.1", 10020}},
        {"127.0.0.2:9000", HostPort{"127.0.0.2", 9000}},
        {"auth.tavik.local:65535", HostPort{"auth.tavik.local", 65535}},
        {"", std::nullopt},
        {":10020", std::nullopt},
        {"127.0.0.1:", std::nullopt},
        {"127.0.0.1:0", std::nullopt},
        {"127.0.0.1:65536", std::nullopt},
        {"127.0.0.1:12x", std::nullopt},
        {"127.0.0.1:-1", std::nullopt},
        // IPv6: a port needs the brackets; a bare literal takes the default port.
        {"[::1]:9000", HostPort{"::1", 9000}},
        {"[::1]", HostPort{"::1", 10020}},
        {"::1", HostPort{"::1", 10020}},
        {"2001:db8::5", HostPort{"2001:db8::5", 10020}},
        {"[2001:db8::5]:65535", HostPort{"2001:db8::5", 65535}},
        {"[::1]:", std::nullopt},
        {"[::1]:0", std::nullopt},
        {"[::1", std::nullopt},
        {"[]:9000", std::nullopt},
        {"[::1]9000", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseHostPort(row.text, 10020), row.parsed);
    }
}

std::map<std::string, std::string> environment;
const char* fakeLookup(const char* name) {
    auto it = environment.find(name);
    return it == environment.end() ? nullptr : it->second.c_str();
}

TEST(ProgramConstantsTest, DefaultsAndOverrides) {
    environment.clear();
    ProgramConstantValues defaults = ReadProgramConstants(fakeLookup);
    EXPECT_EQ(defaults.domain, u"tavik.local");
    EXPECT_EQ(defaults.authServer, (HostPort{"127.0.0.1", 10020}));
    EXPECT_EQ(defaults.diskInfoServer, (HostPort{"127.0.0.1", 22222}));
    EXPECT_EQ(defaults.website, "http://127.0.0.1:8080/");
    EXPECT_EQ(defaults.diskServerPort, 9553);

    environment = {{"TAVIK_DOMAIN", "회사.test"},
                   {"TAVIK_AUTH_SERVER", "127.0.0.5"},
                   {"TAVIK_DISKINFO_SERVER", "127.0.0.6:2222"},
                   {"TAVIK_WEBSITE", "http://127.0.0.1:9090/"}};
    ProgramConstantValues set = ReadProgramConstants(fakeLookup);
    EXPECT_EQ(set.domain, u"회사.test");
    EXPECT_EQ(set.authServer, (HostPort{"127.0.0.5", 10020}));
    EXPECT_EQ(set.diskInfoServer, (HostPort{"127.0.0.6", 2222}));
    EXPECT_EQ(set.website, "http://127.0.0.1:9090/");

    // Empty or malformed settings leave the defaults.
    environment = {{"TAVIK_DOMAIN", ""},
                   {"TAVIK_AUTH_SERVER", "127.0.0.5:99999"},
                   {"TAVIK_DISKINFO_SERVER", ""},
                   {"TAVIK_WEBSITE", ""}};
    ProgramConstantValues odd = ReadProgramConstants(fakeLookup);
    EXPECT_EQ(odd.domain, defaults.domain);
    EXPECT_EQ(odd.authServer, defaults.authServer);
    EXPECT_EQ(odd.diskInfoServer, defaults.diskInfoServer);
    EXPECT_EQ(odd.website, defaults.website);
}

} // namespace
} // namespace tavik::app
