// The profiles file: what each key becomes, the mistakes it reports, and how a profile takes its
// place among the command line, the environment and the defaults.
#include "cli/core/CCommandLine.h"
#include "cli/core/CProfileFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tavik::cli {
namespace {

TEST(ProfileFileTest, KeysAndMistakes) {
    const auto good = CProfileFile::parse(R"([work]
server = "files.example:9000"
disk = "team"
user = "kim"
password_command = "echo pw"
timeout = 60000
tls = true
tls_fingerprint = "AB:CD"

[home]
disk = "mine"
password_file = "~/.pw"
)",
                                          "config.toml");
    ASSERT_EQ(good.error, "");
    ASSERT_EQ(good.profiles.size(), 2u);
    const CProfile& work = good.profiles.at("work");
    EXPECT_EQ(work.server.value_or(""), "files.example:9000");
    EXPECT_EQ(work.user.value_or(""), "kim");
    EXPECT_EQ(work.timeoutMs.value_or(0), 60000);
    EXPECT_EQ(work.tls.value_or(false), true);
    EXPECT_EQ(work.tlsFingerprint.value_or(""), "AB:CD");
    EXPECT_EQ(CProfileFile::describe(good.profiles.at("home")),
              "[home]\ndisk = \"mine\"\npassword_file = \"~/.pw\"\n");

    struct Row {
        const char* text;
        const char* error; // a part of the error
    };
    const Row rows[] = {
        {"[a]\nserer = \"x\"\n", "[a] serer: unknown key"},
        {"[a]\npassword = \"secret\"\n", "a password is not kept in this file"},
        {"[a]\ntimeout = \"30\"\n", "[a] timeout must be a whole number"},
        {"[a]\ntimeout = -5\n", "must be -1 (no limit) or 0 to"},
        {"[a]\ntls = 1\n", "[a] tls must be true or false"},
        {"[a]\npassword_file = \"f\"\npassword_command = \"c\"\n", "keep one"},
        {"disk = \"x\"\n", "disk is not a profile table"},
        {"[a\n", "config.toml:1: "},
    };
    for (const Row& row : rows) {
        const auto loaded = CProfileFile::parse(row.text, "config.toml");
        EXPECT_NE(loaded.error.find(row.error), std::string::npos)
            << row.text << " gave: " << loaded.error;
    }
}

// A configuration folder of its own for each test, and no settings from the environment.
class ProfileCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavik-profile-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = pattern;
        setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        for (const char* name : {"TAVIK_SERVER", "TAVIK_DISK", "TAVIK_PASSWORD"}) {
            unsetenv(name);
        }
        fs::create_directories(m_home / "tavik");
        std::ofstream(m_home / "tavik" / "config.toml") << R"([work]
server = "work.example:7000"
disk = "team"
password_command = "printf '%s\nsecond line\n' $((6 * 7))pw"
timeout = 1234
tls = false

[broken]
disk = "b"
password_command = "exit 3"
)";
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("TAVIK_SERVER");
        std::error_code ec;
        fs::remove_all(m_home, ec);
    }
    fs::path m_home;
};

TEST_F(ProfileCommandLineTest, TheProfileFillsWhatTheCommandLineLeavesOut) {
    setenv("TAVIK_SERVER", "env.example:1", 1); // the chosen profile comes before it
    struct Row {
        std::vector<std::string> args;
        std::string host;
        int port;
        std::string disk;
        std::string password;
        int timeoutMs;
        std::vector<std::string> paths;
    };
    const Row rows[] = {
        {{"-r", "work", "ls"}, "work.example", 7000, "team", "42pw", 1234, {}},
        {{"ls", "work:/docs"}, "work.example", 7000, "team", "42pw", 1234, {"/docs"}},
        {{"-r", "work", "--disk", "other", "-t", "5", "--password", "pw", "get", "work:a", "."},
         "work.example",
         7000,
         "other",
         "pw",
         5,
         {"a", "."}},
        // Without a profile the environment counts; a colon in a name is not a profile.
        {{"--disk", "d", "get", "nosuch:x", "."},
         "env.example",
         1,
         "d",
         "",
         30000,
         {"nosuch:x", "."}},
    };
    for (const Row& row : rows) {
        const ParseOutcome out = CCommandLine::parse(row.args);
        ASSERT_TRUE(out.invocation) << out.err;
        const Invocation& inv = *out.invocation;
        EXPECT_EQ(inv.host, row.host);
        EXPECT_EQ(inv.port, row.port);
        EXPECT_EQ(inv.disk, row.disk);
        EXPECT_EQ(inv.password.value_or(""), row.password);
        EXPECT_EQ(inv.timeoutMs, row.timeoutMs);
        EXPECT_EQ(inv.args, row.paths);
    }
    const auto work = CCommandLine::parse({"-r", "work", "ls"});
    ASSERT_TRUE(work.invocation);
    EXPECT_EQ(work.invocation->tls, std::optional<bool>(false));
}

TEST_F(ProfileCommandLineTest, ConfigCommandsAndProfileMistakes) {
    const ParseOutcome list = CCommandLine::parse({"config", "list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "broken\nwork\n");
    const ParseOutcome show = CCommandLine::parse({"config", "show", "work"});
    EXPECT_EQ(show.exitCode, 0) << show.err;
    EXPECT_NE(show.out.find("server = \"work.example:7000\"\n"), std::string::npos) << show.out;
    EXPECT_EQ(show.out.find("42pw"), std::string::npos) << "a password was shown";

    struct Row {
        std::vector<std::string> args;
        int exitCode;
        const char* error;
    };
    const Row rows[] = {
        {{"config", "show", "nope"}, 1, "no profile \"nope\""},
        {{"-r", "nope", "ls"}, 1, "no profile \"nope\""},
        {{"-r", "broken", "ls"}, 1, "failed (exit status 3)"},
        {{"get", "work:a", "broken:b"}, 2, "one command uses one profile"},
        {{"config", "edit"}, 2, "config takes"},
    };
    for (const Row& row : rows) {
        const ParseOutcome out = CCommandLine::parse(row.args);
        EXPECT_FALSE(out.invocation);
        EXPECT_EQ(out.exitCode, row.exitCode) << out.err;
        EXPECT_NE(out.err.find(row.error), std::string::npos) << out.err;
    }
}

} // namespace
} // namespace tavik::cli
