// The server's pieces without a connection: path confinement, configuration, listing format,
// text conversion, command splitting, space words.
#include "server/CConnectionThreads.h"
#include "server/CDiskSpace.h"
#include "server/CFileInfoLister.h"
#include "server/CLoginThrottle.h"
#include "server/CPasswordHash.h"
#include "server/CPathResolver.h"
#include "server/CRemoteCommand.h"
#include "server/CServerConfig.h"
#include "server/CWireText.h"
#include "tests/support/CTempFolder.h"

#include "sdk/core/CPacket.h"
#include "sdk/include/TavikErrors.h"

#include "tls/SelfSignedPair.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
using server::CPathResolver;

class PathResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.file("root/inside/deep"));
        fs::create_directories(temp.file("outside"));
        root = fs::canonical(temp.file("root"));
    }
    int32_t error(const std::string& path) const {
        return CPathResolver(root, "/disk").resolve(path).error();
    }
    CTempFolder temp;
    fs::path root;
};

TEST_F(PathResolverTest, PathsInsideTheSessionPathMapBelowTheRoot) {
    CPathResolver resolver(root, "/disk");
    ASSERT_TRUE(resolver.valid());
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        // request path, relative, name, parent
        {"/disk", ".", ".", "."},
        {"/disk/", ".", ".", "."},
        {"/disk//inside/./deep/", "inside/deep", "deep", "inside"},
        {"/disk/inside/not-yet", "inside/not-yet", "not-yet", "inside"},
        {"/disk/top", "top", "top", "."},
    };
    for (const auto& [request, relative, name, parent] : rows) {
        const auto resolved = resolver.resolve(request);
        ASSERT_TRUE(resolved) << request;
        EXPECT_EQ(resolved.value().relative, relative) << request;
        EXPECT_EQ(resolved.value().isRoot, std::string(relative) == ".") << request;
        EXPECT_EQ(resolved.value().name(), name) << request;
        EXPECT_EQ(resolved.value().parent(), parent) << request;
    }
}

TEST_F(PathResolverTest, DotDotOtherDisksAndRelativePathsAreRefused) {
    for (const char* path : {"/disk/..", "/disk/inside/../inside", "/disk/../disk", "/diskette",
                             "/dis", "disk/inside", "", "/", "/other/disk"}) {
        EXPECT_EQ(error(path), TAVIK_ERR_PERMISSION) << path;
    }
}

TEST_F(PathResolverTest, LinksAreFollowedOnlyWhileTheyStayInside) {
    fs::create_directories(root.string() + "-sibling");
    const std::pair<std::string, std::string> links[] = {
        {"out", temp.file("outside")},
        {"alias", (root / "inside").string()},   // absolute, inside
        {"top", root.string()},                  // absolute, the root itself
        {"near", "inside/deep"},                 // relative, inside
        {"inside/up", "../../outside"},          // relative, out
        {"inside/back", ".."},                   // relative, the root
        {"dangling", temp.file("outside/none")}, // dangling, outside
        {"ghost", "inside/none"},                // dangling, inside
        {"sibling", root.string() + "-sibling"}, // a prefix of the root's name is not it
        {"chain", "alias/deep"},                 // relative to absolute, inside
        {"chainout", "out"},                     // relative to absolute, out
        {"loop", "loop"},
    };
    for (const auto& [name, target] : links) {
        fs::create_symlink(target, root / name);
    }
    const std::tuple<const char*, int32_t, bool> rows[] = {
        // request path, error, examined (exists, links followed)
        {"/disk/out", TAVIK_ERR_PERMISSION, false},
        {"/disk/out/new-file", TAVIK_ERR_PERMISSION, false},
        {"/disk/inside/up", TAVIK_ERR_PERMISSION, false},
        {"/disk/inside/up/x", TAVIK_ERR_PERMISSION, false},
        {"/disk/dangling", TAVIK_ERR_PERMISSION, false},
        {"/disk/sibling", TAVIK_ERR_PERMISSION, false},
        {"/disk/chainout", TAVIK_ERR_PERMISSION, false},
        {"/disk/loop", TAVIK_ERR_PERMISSION, false},
        {"/disk/alias", 0, true},
        {"/disk/alias/deep", 0, true},
        {"/disk/top/inside/deep", 0, true},
        {"/disk/near", 0, true},
        {"/disk/inside/back/inside", 0, true},
        {"/disk/chain", 0, true},
        {"/disk/ghost", 0, false},
        {"/disk/missing/a/b", 0, false},
        {"/disk/inside", 0, true},
        {"/disk", 0, true},
    };
    CPathResolver resolver(root, "/disk");
    for (const auto& [request, expected, examined] : rows) {
        const auto resolved = resolver.resolve(request);
        EXPECT_EQ(resolved.error(), expected) << request;
        if (resolved) {
            EXPECT_EQ(resolved.value().examined, examined) << request;
            EXPECT_TRUE(!examined || S_ISDIR(resolved.value().info.st_mode)) << request;
        }
    }
    // The listing's question, asked of paths relative to the root.
    for (const auto& [relative, inside] :
         std::vector<std::pair<std::string, bool>>{{"alias", true},
                                                   {"near", true},
                                                   {"top", true},
                                                   {"out", false},
                                                   {"ghost", false},
                                                   {"dangling", false},
                                                   {"sibling", false},
                                                   {"inside/up", false},
                                                   {".", true}}) {
        EXPECT_EQ(resolver.staysInside(relative), inside) << relative;
    }
    // Opened descriptors are what the name meant, whatever the text looks like.
    const auto opened = resolver.open("chain", O_PATH | O_DIRECTORY);
    ASSERT_TRUE(opened.valid());
    struct stat viaLink {};
    struct stat real {};
    ASSERT_EQ(::fstat(opened.get(), &viaLink), 0);
    ASSERT_EQ(::stat((root / "inside" / "deep").c_str(), &real), 0);
    EXPECT_EQ(viaLink.st_ino, real.st_ino);
}

TEST(ServerConfig, ParsesServerSettingsAndDisks) {
    CTempFolder temp;
    fs::create_directories(temp.file("a"));
    fs::create_directories(temp.file("b"));
    const std::string text = R"(
[server]
address = "127.0.0.2"
port = 9999
max_connections = 5
idle_timeout_ms = 1000
request_timeout_ms = 2000
max_open_files = 3
allowed_commands = ["ls", "df"]
log_commands = false
login_timeout_ms = 4000
max_connections_per_address = 2
copy_targets = ["127.0.0.2:9553"]

[[disk]]
id = "alpha"
name = "Alpha disk"
root = "a"
password = "pw"
quota = 1048576

[[disk]]
id = "beta"
root = ")" + temp.file("b") + R"("
)";
    std::string error;
    const auto config = server::CServerConfig::fromToml(text, temp.path(), error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->addresses, std::vector<std::string>{"127.0.0.2"});
    EXPECT_EQ(config->port, 9999);
    EXPECT_EQ(config->maxConnections, 5);
    EXPECT_EQ(config->idleTimeoutMs, 1000);
    EXPECT_EQ(config->requestTimeoutMs, 2000);
    EXPECT_EQ(config->maxOpenFiles, 3);
    EXPECT_EQ(config->allowedCommands, (std::vector<std::string>{"ls", "df"}));
    EXPECT_FALSE(config->logCommands);
    EXPECT_EQ(config->loginTimeoutMs, 4000);
    EXPECT_EQ(config->maxConnectionsPerAddress, 2);
    EXPECT_EQ(config->copyTargets, (std::vector<std::string>{"127.0.0.2:9553"}));
    ASSERT_EQ(config->disks.size(), 2u);
    const auto* alpha = config->findDisk("alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->name, "Alpha disk");
    EXPECT_EQ(alpha->root, fs::canonical(temp.file("a")));
    ASSERT_TRUE(alpha->password);
    EXPECT_TRUE(alpha->password->isPlain());
    EXPECT_TRUE(alpha->password->matches("pw"));
    EXPECT_FALSE(alpha->password->matches("pW"));
    // A password in clear still works, with a warning naming the place.
    ASSERT_EQ(config->warnings.size(), 1u);
    EXPECT_NE(config->warnings[0].find("configuration:19: disk alpha: password kept in clear"),
              std::string::npos)
        << config->warnings[0];
    EXPECT_EQ(alpha->quota, 1048576u);
    const auto* beta = config->findDisk("beta");
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(beta->name, "beta");
    EXPECT_FALSE(beta->password);
    EXPECT_FALSE(beta->quota);
}

TEST(ServerConfig, DefaultsAndRefusals) {
    CTempFolder temp;
    fs::create_directories(temp.file("a"));
    std::string error;
    const auto plain =
        server::CServerConfig::fromToml("[[disk]]\nid = \"x\"\nroot = \"a\"\n", temp.path(), error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->addresses, (std::vector<std::string>{"127.0.0.1", "::1"}));
    EXPECT_EQ(plain->port, 9553);
    EXPECT_TRUE(plain->allowedCommands.empty());
    EXPECT_EQ(plain->copySecurity.mode, server::CopySecurity::Mode::Preferred);

    // Fingerprints are kept in one form, however they were typed.
    const auto copying = server::CServerConfig::fromToml(
        "[server]\ncopy_tls = \"required\"\ncopy_fingerprints = [\"sha256:" + std::string(64, 'a') +
            "\"]\n[[disk]]\nid = \"x\"\nroot = \"a\"\n",
        temp.path(), error);
    ASSERT_TRUE(copying) << error;
    EXPECT_EQ(copying->copySecurity.mode, server::CopySecurity::Mode::Required);
    std::string upper;
    for (int i = 0; i < 32; ++i) {
        upper += i == 0 ? "AA" : ":AA";
    }
    EXPECT_EQ(copying->copySecurity.fingerprints, std::vector<std::string>{upper});

    // Every refusal names the file, the line and (where there is one) the key.
    const std::string disk = "[[disk]]\nid = \"x\"\nroot = \"a\"\n";
    const std::pair<std::string, std::string> refused[] = {
        {"", "server.toml: no [[disk]] configured"},
        {"[[disk]]\nroot = \"a\"\n", "server.toml:1: every [[disk]] needs an id"},
        {"[[disk]]\nid = \"x\"\n", "server.toml:1: disk x has no root"},
        {"[[disk]]\nid = \"x\"\nroot = \"missing\"\n", "server.toml:3: disk root is not a folder"},
        {"[[disk]]\nid = \"a/b\"\nroot = \"a\"\n", "server.toml:1: every [[disk]] needs an id"},
        {disk + disk, "server.toml:4: disk id used twice: x"},
        {"[server]\nport = 70000\n" + disk,
         "server.toml:2: port must be an integer from 0 to 65535"},
        {"[server]\nport = \"9553\"\n" + disk, "server.toml:2: port must be an integer"},
        {"[server]\nlog_commands = 1\n" + disk,
         "server.toml:2: log_commands must be true or false"},
        {"[server]\nallowed_commands = [\"ls\", 3]\n" + disk,
         "server.toml:2: allowed_commands must"},
        {disk + "quota = -1\n", "server.toml:4: quota must be an integer from 0"},
        {disk + "pasword = \"x\"\n", "server.toml:4: unknown key \"pasword\" in [[disk]]"},
        {"[server]\nmax_conections = 3\n" + disk,
         "server.toml:2: unknown key \"max_conections\" in [server]"},
        {disk + "[srv]\n", "server.toml:4: unknown section \"srv\""},
        {"server = 3\n" + disk, "server.toml:1: server must be a [server] table"},
        {"disk = 3\n", "server.toml:1: disks are given as [[disk]] tables"},
        {"typo = 3\n" + disk, "server.toml:1: unknown key \"typo\""},
        {disk + "password = \"$argon2id$v=19$m=65536,t=2,p=1$bad\"\n",
         "server.toml:4: disk x: password is not a valid argon2id hash"},
        {"[[disk]\nid = ", "server.toml:1: "},
        {"[server]\ntls_certificate = \"a.crt\"\n" + disk,
         "server.toml:2: tls_certificate and tls_key go together"},
        {"[server]\nrequire_tls = true\n" + disk,
         "server.toml:2: require_tls needs tls_certificate and tls_key"},
        {"[server]\ntls_certificate = \"no.crt\"\ntls_key = \"no.key\"\n" + disk,
         "server.toml:2: cannot read the certificate "},
        {"[server]\ncopy_tls = \"yes\"\n" + disk,
         "server.toml:2: copy_tls must be \"off\", \"preferred\" or \"required\""},
        {"[server]\ncopy_fingerprints = [\"AB:CD\"]\n" + disk,
         "server.toml:2: copy_fingerprints: not a SHA-256 fingerprint: AB:CD"},
    };
    for (const auto& [text, message] : refused) {
        error.clear();
        EXPECT_FALSE(server::CServerConfig::fromToml(text, temp.path(), error, "server.toml"))
            << text;
        EXPECT_EQ(error.substr(0, message.size()), message) << text;
    }
}

TEST(ServerConfig, TlsPairIsReadRelativeToTheFile) {
    CTempFolder temp;
    fs::create_directories(temp.file("a"));
    fs::create_directories(temp.file("tls"));
    std::string error;
    ASSERT_TRUE(tls::writeSelfSignedPair({"example.net"}, temp.file("tls/s.crt"),
                                         temp.file("tls/s.key"), error))
        << error;
    const auto config = server::CServerConfig::fromToml(
        "[server]\ntls_certificate = \"tls/s.crt\"\ntls_key = \"tls/s.key\"\n"
        "require_tls = true\n[[disk]]\nid = \"x\"\nroot = \"a\"\npassword = \"p\"\n",
        temp.path(), error);
    ASSERT_TRUE(config) << error;
    ASSERT_TRUE(config->tls);
    EXPECT_EQ(config->tls->fingerprint().size(), 95u);
    EXPECT_TRUE(config->requireTls);
}

TEST(ServerConfig, HashedPasswordsAreCheckedWithoutWarning) {
    CTempFolder temp;
    fs::create_directories(temp.file("a"));
    const auto hash = server::CPasswordHash::hash("correct horse");
    ASSERT_TRUE(hash);
    EXPECT_TRUE(server::CPasswordHash::looksLikeHash(*hash));
    std::string error;
    const auto config = server::CServerConfig::fromToml(
        "[[disk]]\nid = \"x\"\nroot = \"a\"\npassword = \"" + *hash + "\"\n", temp.path(), error);
    ASSERT_TRUE(config) << error;
    EXPECT_TRUE(config->warnings.empty());
    const auto& stored = config->disks.front().password;
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->isPlain());
    EXPECT_TRUE(stored->matches("correct horse"));
    for (const std::string& wrong :
         std::vector<std::string>{"correct hors", "Correct horse", *hash}) {
        EXPECT_FALSE(stored->matches(wrong)) << wrong;
    }
    // Two hashes of one password differ (salted) and each checks it.
    const auto second = server::CPasswordHash::hash("correct horse");
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *hash);
    EXPECT_TRUE(server::CPasswordHash::fromHash(*second)->matches("correct horse"));
    // Clear passwords compare whole: neither a prefix nor a longer text passes.
    const auto plain = server::CPasswordHash::fromPlain("pw");
    EXPECT_TRUE(plain.matches("pw"));
    for (const char* wrong : {"", "p", "pw ", "pw\n", "PW"}) {
        EXPECT_FALSE(plain.matches(wrong)) << wrong;
    }
}

TEST(ServerConfig, CopyTargetsListAddressesWithOrWithoutPort) {
    server::CServerConfig config;
    EXPECT_FALSE(config.copyTargetAllowed("127.0.0.1", 9553)); // nowhere by default
    config.copyTargets = {"127.0.0.2", "127.0.0.3:9553", "::1", "[2001:db8::5]:9553"};
    const std::tuple<const char*, uint16_t, bool> rows[] = {
        {"127.0.0.2", 1, true},
        {"127.0.0.2", 9553, true},
        {"127.0.0.3", 9553, true},
        {"127.0.0.3", 9554, false},
        {"127.0.0.1", 9553, false},
        {"127.0.0.22", 9553, false},
        {"", 9553, false},
        // IPv6: a port goes with the bracketed form only.
        {"::1", 7, true},
        {"2001:db8::5", 9553, true},
        {"2001:db8::5", 9554, false},
        {"2001:db8::5:9553", 9553, false},
    };
    for (const auto& [ip, port, allowed] : rows) {
        EXPECT_EQ(config.copyTargetAllowed(ip, port), allowed) << ip << ":" << port;
    }
}

TEST(ServerConfig, OpenDisksOnlyOnLoopbackAddresses) {
    CTempFolder temp;
    std::string error;
    auto config = server::CServerConfig::demo(temp.path(), "demo", error);
    ASSERT_TRUE(config);
    const std::pair<const char*, bool> rows[] = {
        {"127.0.0.1", false},  {"127.3.2.1", false}, {"0.0.0.0", true},
        {"192.168.1.5", true}, {"128.0.0.1", true},  {"not an address", true},
    };
    for (const auto& [address, exposed] : rows) {
        config->addresses = {address};
        EXPECT_EQ(config->openDiskExposed() != nullptr, exposed) << address;
    }
    config->addresses = {"0.0.0.0"};
    config->disks.front().password = server::CPasswordHash::fromPlain("pw");
    EXPECT_EQ(config->openDiskExposed(), nullptr);
}

TEST(LoginThrottle, GuessersWaitAndAreRefusedWhileOthersAreNeverLockedOut) {
    int64_t now = 0;
    server::CLoginThrottle::Settings settings;
    settings.firstDelayMs = 100;
    settings.maxDelayMs = 800;
    settings.cleanAddressDelayMs = 300;
    settings.suspectAfter = 3;
    settings.forgetAfterMs = 10000;
    server::CLoginThrottle throttle(settings, [&now] { return now; });
    using Attempt = server::CLoginThrottle::Attempt;
    const Attempt guesser{"d", "g"};
    const Attempt secondGuesser{"d", "h"};
    const Attempt owner{"d", "o"};
    const Attempt unknownAccount{"", "g"};
    const Attempt newUser{"e", "n"};
    const Attempt newUserElsewhere{"e", "m"};
    enum Step { Reserve, Fail, Succeed };
    struct Row {
        int64_t at;
        Step step;
        const Attempt* attempt;
        int expected; // Reserve: the wait, -1 refused; Fail: failures counted on the address
    };
    const Row rows[] = {
        {0, Reserve, &guesser, 0},   // no failure yet: no wait
        {0, Fail, &guesser, 1},      // its next turn at 100
        {10, Reserve, &guesser, 90}, // waits for its turn, and books the next one
        {10, Reserve, &owner, 100},  // the account's delay, not the guesser's queue
        {100, Fail, &guesser, 2},
        {300, Fail, &guesser, 3},
        {700, Fail, &guesser, 4},            // 800, the cap: next turn at 1500
        {700, Reserve, &owner, 300},         // an innocent address waits a moment at most
        {700, Reserve, &secondGuesser, 300}, // so does any address not yet failing
        {1500, Reserve, &guesser, 0},
        {1500, Reserve, &guesser, 800}, // each waiting attempt books the next turn
        {1500, Reserve, &guesser, -1},  // more than the cap ahead: refused outright
        {1500, Fail, &secondGuesser, 1},
        {1500, Fail, &secondGuesser, 2},
        {1500, Fail, &secondGuesser, 3},
        {2300, Reserve, &secondGuesser, 800}, // a suspect address queues behind the first
        {2300, Reserve, &owner, 300},         // while the owner is still never refused
        {2300, Succeed, &owner, 0},
        {2300, Reserve, &owner, 0}, // and once in, not slowed by the account's count at all
        {2300, Reserve, &owner, 0},
        {3000, Fail, &newUser, 1}, // a new user's own mistakes ...
        {3000, Fail, &newUser, 2},
        {3000, Fail, &newUser, 3},
        {3400, Reserve, &newUser, 0},
        {3400, Succeed, &newUser, 0},
        {3400, Reserve, &newUser, 0},          // ... end with the success
        {3400, Reserve, &newUserElsewhere, 0}, // and no longer count against the account
        {20000, Reserve, &guesser, 0},         // forgotten after a quiet while: no wait
        {20000, Fail, &unknownAccount, 1},     // and the count starts afresh
        {20000, Fail, &guesser, 2},            // an address counts across accounts
    };
    for (const Row& row : rows) {
        now = row.at;
        const std::string where = "at " + std::to_string(row.at) + " from " + row.attempt->address;
        if (row.step == Reserve) {
            const auto wait = throttle.reserve(*row.attempt);
            EXPECT_EQ(wait ? *wait : -1, row.expected) << where;
        } else if (row.step == Fail) {
            EXPECT_EQ(throttle.failed(*row.attempt), row.expected) << where;
        } else {
            throttle.succeeded(*row.attempt);
        }
    }
    EXPECT_EQ(throttle.delayAfter(0), 0);
    EXPECT_EQ(throttle.delayAfter(40), 800);
}

TEST(PasswordHash, NewHashesTakeTheInteractiveCostAndOldOnesAreRemadeOnAGoodCheck) {
    const auto made = server::CPasswordHash::hash("open sesame");
    ASSERT_TRUE(made);
    EXPECT_NE(made->find("$m=19456,t=2,p=1$"), std::string::npos) << *made;
    ASSERT_TRUE(server::CPasswordHash::fromHash(*made));
    EXPECT_FALSE(server::CPasswordHash::fromHash(*made)->needsRehash());
    EXPECT_GE(server::CPasswordHash::concurrentChecks(), 1);

    // A hash of another cost, as an older installation made it.
    char old[crypto_pwhash_STRBYTES] = {};
    ASSERT_EQ(crypto_pwhash_str(old, "open sesame", 11, 3, 8u << 20), 0);
    auto stored = server::CPasswordHash::fromHash(old);
    ASSERT_TRUE(stored);
    const server::CPasswordHash copy = *stored; // as a copy of the configuration holds it
    const struct {
        const char* given;
        bool matches;
        bool oldAfter; // still of the old cost afterwards
    } rows[] = {
        {"open sesame!", false, true}, // a wrong password changes nothing
        {"open sesame", true, false},  // the right one is checked with the old cost, then remade
        {"open sesame", true, false},  // and the remade form keeps matching
        {"open", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(stored->matches(row.given), row.matches) << row.given;
        EXPECT_EQ(stored->needsRehash(), row.oldAfter) << row.given;
        EXPECT_EQ(copy.needsRehash(), row.oldAfter) << row.given << ": copies share it";
    }
    EXPECT_TRUE(copy.matches("open sesame"));
    EXPECT_FALSE(server::CPasswordHash::fromPlain("x").needsRehash());
}

TEST(ConnectionThreads, MakingRoomClosesTheOldestNotLoggedInOfTheBusiestAddressOnly) {
    struct Connection {
        std::string address;
        bool loggedIn;
        std::atomic<bool> stopped{false};
    };
    // In the order they were accepted.
    Connection connections[] = {{"a", true},  {"b", false}, {"c", false},
                                {"c", false}, {"d", true},  {"c", false}};
    server::CConnectionThreads threads;
    for (Connection& connection : connections) {
        threads.start(
            connection.address,
            [&connection] {
                for (int i = 0; i < 10000 && !connection.stopped; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            },
            [&connection] { connection.stopped = true; },
            [&connection] { return connection.loggedIn; });
    }
    // The index stopped by each call: c holds the most, then b and c one each (b's is older),
    // and the logged-in ones are never taken.
    const int expected[] = {2, 3, 1, 5, -1};
    for (const int index : expected) {
        bool before[std::size(connections)];
        for (size_t i = 0; i < std::size(connections); ++i) {
            before[i] = connections[i].stopped;
        }
        EXPECT_EQ(threads.makeRoom(), index >= 0);
        for (size_t i = 0; i < std::size(connections); ++i) {
            const bool nowStopped = connections[i].stopped && !before[i];
            EXPECT_EQ(nowStopped, static_cast<int>(i) == index) << "connection " << i;
        }
    }
    // Those stopped are on their way out and no longer count.
    EXPECT_EQ(threads.runningFrom("c"), 0u);
    EXPECT_EQ(threads.reap(), 2u);
}

TEST(ServerConfig, DemoServesOneFolderUnderTheGivenId) {
    CTempFolder temp;
    std::string error;
    const auto config = server::CServerConfig::demo(temp.path(), "demo", error);
    ASSERT_TRUE(config);
    ASSERT_EQ(config->disks.size(), 1u);
    EXPECT_EQ(config->disks[0].id, "demo");
    EXPECT_EQ(config->disks[0].root, fs::canonical(temp.path()));
    EXPECT_FALSE(server::CServerConfig::demo(temp.file("none"), "demo", error));
}

TEST(FileInfoFormat, DateIsLocalMinutesAndSizesClampAt32Bits) {
    setenv("TZ", "UTC", 1);
    tzset();
    // The last minute is remembered per thread: a fresh thread, minutes before 1970, the same
    // minute again and the next one must all read right.
    std::thread([] {
        EXPECT_EQ(server::CFileInfoLister::formatDate(-1), "1969-12-31 23:59");
        EXPECT_EQ(server::CFileInfoLister::formatDate(-60), "1969-12-31 23:59");
        EXPECT_EQ(server::CFileInfoLister::formatDate(-61), "1969-12-31 23:58");
    }).join();
    EXPECT_EQ(server::CFileInfoLister::formatDate(0), "1970-01-01 00:00");
    EXPECT_EQ(server::CFileInfoLister::formatDate(59), "1970-01-01 00:00");
    EXPECT_EQ(server::CFileInfoLister::formatDate(60), "1970-01-01 00:01");
    EXPECT_EQ(server::CFileInfoLister::formatDate(1700000000), "2023-11-14 22:13");
    EXPECT_EQ(server::CFileInfoLister::sizeWord(0), 0);
    EXPECT_EQ(server::CFileInfoLister::sizeWord(0xFFFFFFFEu), -2);
    EXPECT_EQ(server::CFileInfoLister::sizeWord(0xFFFFFFFFu), -1);
    EXPECT_EQ(server::CFileInfoLister::sizeWord(0x100000001ull), -1);
}

TEST(FileInfoFormat, ListingThatWouldNotFitOnePacketIsAnError) {
    CTempFolder temp;
    fs::create_directories(temp.file("root"));
    const fs::path root = fs::canonical(temp.file("root"));
    // About 4,500 entries with 200-byte names cannot travel in one 1 MiB body.
    const std::string stem(200, 'n');
    for (int i = 0; i < 4500; ++i) {
        std::ofstream(root / (stem + std::to_string(i)));
    }
    CPathResolver resolver(root, "/disk");
    server::CFileInfoLister lister(resolver);
    CPacket reply;
    const auto target = resolver.resolve("/disk");
    ASSERT_TRUE(target);
    EXPECT_EQ(lister.list(target.value(), "/disk", 63, 1, reply), TAVIK_ERR_NOT_ENOUGH_BUFFER);
    EXPECT_EQ(reply.Count(), 0);
    // Paths alone still fit.
    CPacket small;
    EXPECT_EQ(lister.list(target.value(), "/disk", 1 | 8, 1, small), 0);
    EXPECT_EQ(small.GetInt("num", 0), 4500);
}

TEST(WireText, ConvertsBetweenCp949AndUtf8) {
    EXPECT_EQ(server::CWireText::toWire("한글 a"), "\xC7\xD1\xB1\xDB a");
    EXPECT_EQ(server::CWireText::toHost("\xC7\xD1\xB1\xDB a"), "한글 a");
    // Not representable in the code page: '?'.
    EXPECT_EQ(server::CWireText::toWire("\xF0\x9F\x98\x80"), "?");
    // Broken UTF-8 from a host file name becomes U+FFFD, never a crash.
    EXPECT_EQ(server::CWireText::utf8ToUtf16("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(server::CWireText::utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(RemoteCommandWords, SplitsAtBlanksWithQuotesAndChecksTheFirstWord) {
    using server::CRemoteCommand;
    EXPECT_EQ(CRemoteCommand::splitWords("  ls -l  \"a b\" c"),
              (std::vector<std::string>{"ls", "-l", "a b", "c"}));
    EXPECT_EQ(CRemoteCommand::splitWords("echo \"\""), (std::vector<std::string>{"echo", ""}));
    EXPECT_TRUE(CRemoteCommand::splitWords(" \t").empty());
    const std::vector<std::string> allow{"ls"};
    EXPECT_TRUE(CRemoteCommand::allowed({"ls", "-l"}, allow));
    EXPECT_FALSE(CRemoteCommand::allowed({"/bin/ls"}, allow));
    EXPECT_FALSE(CRemoteCommand::allowed({"lsx"}, allow));
    EXPECT_FALSE(CRemoteCommand::allowed({}, allow));
}

TEST(DiskSpaceWords, BlockSizeGrowsUntilTheTotalFits32Bits) {
    const auto small = server::CDiskSpace::toWords(4096, 4096 * 10, 4096 * 100);
    EXPECT_EQ(small.block, 4096u);
    EXPECT_EQ(small.free, 10u);
    EXPECT_EQ(small.total, 100u);
    const uint64_t eightTiB = 8ull << 40;
    const auto big = server::CDiskSpace::toWords(512, eightTiB / 2, eightTiB);
    EXPECT_EQ(big.block, 4096u);
    EXPECT_EQ(big.total, 0x80000000u);
    EXPECT_EQ(uint64_t{big.block} * big.free, eightTiB / 2);
}

} // namespace
} // namespace tavik::test
