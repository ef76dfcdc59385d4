#include "cli/core/CCommandLine.h"
#include "cli/core/CServerAddress.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tavik::cli {
namespace {

// The environment feeds defaults; every test starts without it.
class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"TAVIK_SERVER", "TAVIK_DISK", "TAVIK_PASSWORD"}) {
            unsetenv(name);
        }
    }
    void TearDown() override { SetUp(); }
};

TEST_F(CommandLineTest, GlobalOptionsAndCommandArguments) {
    auto out = CCommandLine::parse({"--server", "disk.example:9000", "--disk", "d1", "--password",
                                    "pw", "get", "/a/b.txt", "local.txt", "--resume"});
    ASSERT_TRUE(out.invocation) << out.err;
    const Invocation& inv = *out.invocation;
    EXPECT_EQ(inv.command, "get");
    EXPECT_EQ(inv.host, "disk.example");
    EXPECT_EQ(inv.port, 9000);
    EXPECT_EQ(inv.disk, "d1");
    ASSERT_TRUE(inv.password);
    EXPECT_EQ(*inv.password, "pw");
    EXPECT_EQ(inv.existing, ExistingPolicy::Resume);
    EXPECT_EQ(inv.args, (std::vector<std::string>{"/a/b.txt", "local.txt"}));
}

TEST_F(CommandLineTest, DefaultsAndEnvironment) {
    auto plain = CCommandLine::parse({"--disk", "d1", "ls"});
    ASSERT_TRUE(plain.invocation) << plain.err;
    EXPECT_EQ(plain.invocation->host, "127.0.0.1");
    EXPECT_EQ(plain.invocation->port, 9553);
    EXPECT_FALSE(plain.invocation->password);      // no password means none is sent
    EXPECT_EQ(plain.invocation->timeoutMs, 30000); // a silent server must not hang a command
    EXPECT_TRUE(plain.invocation->args.empty());

    setenv("TAVIK_SERVER", "10.0.0.5", 1);
    setenv("TAVIK_DISK", "envdisk", 1);
    setenv("TAVIK_PASSWORD", "envpw", 1);
    auto env = CCommandLine::parse({"ls", "-l", "docs"});
    ASSERT_TRUE(env.invocation) << env.err;
    EXPECT_EQ(env.invocation->host, "10.0.0.5");
    EXPECT_EQ(env.invocation->port, 9553);
    EXPECT_EQ(env.invocation->disk, "envdisk");
    EXPECT_EQ(env.invocation->password.value_or(""), "envpw");
    EXPECT_TRUE(env.invocation->longForm);
    EXPECT_EQ(env.invocation->args, std::vector<std::string>{"docs"});

    // The command line wins over the environment.
    auto both = CCommandLine::parse({"-d", "cmdline", "df"});
    ASSERT_TRUE(both.invocation);
    EXPECT_EQ(both.invocation->disk, "cmdline");
}

TEST_F(CommandLineTest, GlobalOptionsMayFollowTheCommand) {
    auto out = CCommandLine::parse({"rm", "-r", "old", "--disk", "d1", "other"});
    ASSERT_TRUE(out.invocation) << out.err;
    EXPECT_TRUE(out.invocation->recursive);
    EXPECT_EQ(out.invocation->disk, "d1");
    EXPECT_EQ(out.invocation->args, (std::vector<std::string>{"old", "other"}));
}

TEST_F(CommandLineTest, MoveAndCopyNeedASourceAndAFolder) {
    auto mv = CCommandLine::parse({"-d", "x", "mv", "a", "b", "dest"});
    ASSERT_TRUE(mv.invocation);
    EXPECT_EQ(mv.invocation->args, (std::vector<std::string>{"a", "b", "dest"}));
    auto tooFew = CCommandLine::parse({"-d", "x", "cp", "a"});
    EXPECT_FALSE(tooFew.invocation);
    EXPECT_EQ(tooFew.exitCode, CCommandLine::kUsageError);
}

TEST_F(CommandLineTest, MistakesAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* expectInErr;
    };
    const Case cases[] = {
        {{"-d", "x"}, ""},                                        // no command
        {{"-d", "x", "frobnicate"}, ""},                          // unknown command
        {{"ls"}, "no disk ID"},                                   // no disk anywhere
        {{"-d", "x", "-s", "host:0", "ls"}, "port"},              // port out of range
        {{"-d", "x", "-s", "host:99999", "ls"}, "port"},          // port out of range
        {{"-d", "x", "-s", "host:12ab", "ls"}, "port"},           // port not a number
        {{"-d", "x", "get"}, ""},                                 // missing remote path
        {{"-d", "x", "get", "a", "--resume", "--overwrite"}, ""}, // contradictory answers
        {{"-d", "x", "stat"}, ""},
        {{"-d", "x", "rename", "a"}, ""},
    };
    for (const Case& c : cases) {
        auto out = CCommandLine::parse(c.args);
        EXPECT_FALSE(out.invocation) << c.args.back();
        EXPECT_EQ(out.exitCode, CCommandLine::kUsageError) << c.args.back();
        EXPECT_NE(out.err.find(c.expectInErr), std::string::npos) << out.err;
        EXPECT_FALSE(out.err.empty());
    }
}

TEST_F(CommandLineTest, HelpForTheProgramAndEveryCommand) {
    auto top = CCommandLine::parse({"--help"});
    EXPECT_FALSE(top.invocation);
    EXPECT_EQ(top.exitCode, 0);
    for (const char* name :
         {"ls", "stat", "df", "info", "get", "put", "mkdir", "rm", "mv", "cp", "rename", "cat"}) {
        EXPECT_NE(top.out.find(name), std::string::npos) << name;
        auto sub = CCommandLine::parse({name, "--help"});
        EXPECT_FALSE(sub.invocation) << name;
        EXPECT_EQ(sub.exitCode, 0) << name;
        EXPECT_NE(sub.out.find(name), std::string::npos) << sub.out;
    }
    auto get = CCommandLine::parse({"get", "--help"});
    EXPECT_NE(get.out.find("--resume"), std::string::npos);
    EXPECT_NE(get.out.find("--overwrite"), std::string::npos);
}

TEST(ServerAddressTest, Forms) {
    std::string why;
    auto plain = CServerAddress::parse("example.org", &why);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host(), "example.org");
    EXPECT_EQ(plain->port(), 9553);

    auto withPort = CServerAddress::parse("127.0.0.1:65535", &why);
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->host(), "127.0.0.1");
    EXPECT_EQ(withPort->port(), 65535);

    auto v6 = CServerAddress::parse("[::1]:1", &why);
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host(), "::1");
    EXPECT_EQ(v6->port(), 1);

    auto bareV6 = CServerAddress::parse("fe80::1", &why);
    ASSERT_TRUE(bareV6);
    EXPECT_EQ(bareV6->host(), "fe80::1");
    EXPECT_EQ(bareV6->port(), 9553);

    for (const char* bad :
         {"", ":9553", "host:", "[::1", "[::1]x", "host:65536", "host:-1", "host:123456"}) {
        why.clear();
        EXPECT_FALSE(CServerAddress::parse(bad, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

} // namespace
} // namespace tavik::cli
