// The configuration of accounts, capability disk ids and the session-key store.
#include "server/CDiskCapability.h"
#include "server/CRecentLogins.h"
#include "server/CServerConfig.h"
#include "server/CSessionKeyStore.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace tavik::server {
namespace {

using test::CTempFolder;

constexpr char kHash[] = "$argon2id$v=19$m=8,t=1,p=1$c2FsdHNhbHQ$aGFzaGhhc2hoYXNoaGFzaA";

struct ConfigRow {
    const char* name;
    std::string toml;
    const char* errorPart; // nullptr: accepted
};

TEST(AccountConfigTest, AcceptsAccountsAndRefusesWhatWouldSilentlyDiffer) {
    CTempFolder folder;
    std::filesystem::create_directories(folder.file("disk"));
    const std::string disk = "[[disk]]\nid = \"d\"\nroot = \"disk\"\n";
    const std::string account =
        std::string("[[account]]\nuser = \"alice\"\ndomain = \"Tavik.Local\"\n"
                    "password_hash = \"") +
        kHash + "\"\n";
    const ConfigRow rows[] = {
        {"account with a local disk", disk + account + "[[account.disk]]\nid = \"d\"\n", nullptr},
        {"account only, disks elsewhere",
         account + "[[account.disk]]\nid = \"x\"\nserver = \"10.0.0.2\"\n", nullptr},
        {"misspelt account key", disk + account + "pasword_hash = \"x\"\n", "unknown key"},
        {"misspelt disk key", disk + account + "[[account.disk]]\nid = \"d\"\nnmae = \"x\"\n",
         "unknown key"},
        {"unknown service key", disk + "[service]\nauth_prt = 1\n", "unknown key"},
        {"clear password",
         disk + "[[account]]\nuser = \"a\"\ndomain = \"b\"\npassword_hash = \"pw\"\n", "argon2id"},
        {"local disk that does not exist", disk + account + "[[account.disk]]\nid = \"nope\"\n",
         "no [[disk]] with id nope"},
        {"name that would shift the disk list",
         disk + account + "[[account.disk]]\nid = \"d\"\nname = \"a|b\"\n", "'|'"},
        {"user with @", disk + "[[account]]\nuser = \"a@b\"\ndomain = \"c\"\n", "without '@'"},
        {"account twice", disk + account + account, "twice"},
        {"capability lifetime under a day", disk + "[service]\ncapability_lifetime_hours = 2\n",
         "capability_lifetime_hours"},
        {"capability_only not a flag", disk + "capability_only = 1\n", "true or false"},
        {"shared store",
         disk + account +
             "[[account.disk]]\nid = \"d\"\n[store]\npostgresql = "
             "\"postgresql://tavik@db/tavik\"\n",
         nullptr},
        {"store that is not a URI", disk + "[store]\npostgresql = \"host=db\"\n", "URI"},
        {"unknown store key", disk + "[store]\nsqlite = \"x\"\n", "unknown key"},
        {"store not a table", "store = 1\n" + disk, "[store]"},
    };
    for (const ConfigRow& row : rows) {
        std::string error;
        const auto config = CServerConfig::fromToml(row.toml, folder.path(), error);
        if (row.errorPart == nullptr) {
            ASSERT_TRUE(config) << row.name << ": " << error;
            ASSERT_EQ(config->service.accounts.size(), 1u) << row.name;
            const AccountConfig& alice = config->service.accounts.front();
            EXPECT_EQ(config->service.findAccount("alice@TAVIK.local"), &alice) << row.name;
            EXPECT_EQ(config->service.findAccount("Alice@tavik.local"), nullptr) << row.name;
            EXPECT_EQ(alice.displayName, "alice") << row.name;
            EXPECT_EQ(alice.disks.size(), 1u) << row.name;
            EXPECT_TRUE(config->needsCapabilityKey()) << row.name;
        } else {
            EXPECT_FALSE(config) << row.name;
            EXPECT_NE(error.find(row.errorPart), std::string::npos) << row.name << ": " << error;
        }
    }
}

TEST(AccountConfigTest, CapabilityOnlyDisksAreNotOpenDisks) {
    CTempFolder folder;
    std::filesystem::create_directories(folder.file("disk"));
    const std::string server = "[server]\naddress = \"0.0.0.0\"\n";
    const std::string disk = "[[disk]]\nid = \"d\"\nroot = \"disk\"\n";
    std::string error;
    const auto guarded =
        CServerConfig::fromToml(server + disk + "capability_only = true\n", folder.path(), error);
    const auto open = CServerConfig::fromToml(server + disk, folder.path(), error);
    ASSERT_TRUE(guarded && open) << error;
    EXPECT_EQ(guarded->openDiskExposed(), nullptr);
    EXPECT_NE(open->openDiskExposed(), nullptr);
}

// Tickets by the clock: each is good once, for its own login, until its lifetime is over; the
// address rule has a window of its own.
TEST(RecentLoginsTest, ATicketOpensTheListOnceWithinItsLifetime) {
    using Clock = CRecentLogins::Clock;
    CRecentLogins logins(std::chrono::seconds(300));
    const Clock::time_point t0 = Clock::now();
    const std::string late = logins.record("a@x", "10.0.0.1", t0);
    const std::string early = logins.record("a@x", "10.0.0.1", t0 + std::chrono::seconds(60));
    const std::string other = logins.record("b@x", "10.0.0.1", t0 + std::chrono::seconds(60));
    EXPECT_NE(late, early);
    const auto at = [&](int seconds) { return t0 + std::chrono::seconds(seconds); };
    struct Row {
        const char* name;
        std::string ticket;
        const char* account;
        int seconds;
        bool opens;
    };
    const Row rows[] = {
        {"before it was given", early, "a@x", 30, false},
        {"within its lifetime", early, "a@x", 61, true},
        {"a second time", early, "a@x", 62, false},
        {"just after its lifetime", late, "a@x", 121, false},
        {"for another account", other, "a@x", 90, false},
        {"for its own account after that", other, "b@x", 90, true},
        {"empty", "", "a@x", 90, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(logins.redeem(row.ticket, row.account, "10.0.0.1", at(row.seconds)), row.opens)
            << row.name;
    }
    EXPECT_TRUE(logins.allows("a@x", "10.0.0.1", at(359)));
    EXPECT_FALSE(logins.allows("a@x", "10.0.0.2", at(100)));
    EXPECT_FALSE(logins.allows("a@x", "10.0.0.1", at(361)));
}

TEST(DiskCapabilityTest, GrantsOnlyItsDiskUntilItExpires) {
    const auto key = CDiskCapability::randomKey();
    auto otherKey = key;
    otherKey[0] ^= 1;
    const int64_t now = 1'700'000'000;
    const std::string good = CDiskCapability::issue(key, "dis~k", now, std::chrono::hours(24));
    std::string forged = good;
    forged.back() = forged.back() == '0' ? '1' : '0';
    std::string otherDisk = good;
    otherDisk.replace(0, 5, "disk2");
    std::string longer = good;
    longer.replace(good.find('~', 4) + 1, 10, std::to_string(now + 999'999));

    struct Row {
        const char* name;
        std::string text;
        const CDiskCapability::Key& key;
        int64_t at;
        std::optional<std::string> granted;
    };
    const Row rows[] = {
        {"valid, id with ~", good, key, now, "dis~k"},
        {"valid one second before expiry", good, key, now + 86399, "dis~k"},
        {"expired", good, key, now + 86400, std::nullopt},
        {"other installation", good, otherKey, now, std::nullopt},
        {"forged MAC", forged, key, now, std::nullopt},
        {"other disk", otherDisk, key, now, std::nullopt},
        {"expiry pushed out", longer, key, now, std::nullopt},
        {"plain id", "dis~k", key, now, std::nullopt},
        {"upper-case MAC", good.substr(0, good.size() - 1) + "A", key, now, std::nullopt},
        {"empty", "", key, now, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CDiskCapability::check(row.key, row.text, row.at), row.granted) << row.name;
    }
    EXPECT_TRUE(CDiskCapability::looksLikeCapability(good));
    EXPECT_FALSE(CDiskCapability::looksLikeCapability("plain~id"));
}

TEST(DiskCapabilityTest, KeyFileIsMadeOnceAndPrivate) {
    CTempFolder folder;
    std::string error;
    const auto made = CDiskCapability::loadKey(folder.file("installation.key"), error);
    ASSERT_TRUE(made) << error;
    const auto again = CDiskCapability::loadKey(folder.file("installation.key"), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(*made, *again);
    struct stat info {};
    ASSERT_EQ(::stat(folder.file("installation.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_TRUE(folder.write("bad.key", "not hex\n"));
    EXPECT_FALSE(CDiskCapability::loadKey(folder.file("bad.key"), error));
}

TEST(SessionKeyStoreTest, AKeyWorksOnceForItsAccountBeforeItExpires) {
    CTempFolder folder;
    std::string error;
    auto issuer = CSessionKeyStore::open(folder.file("state.db"), error);
    auto server = CSessionKeyStore::open(folder.file("state.db"), error);
    ASSERT_TRUE(issuer && server) << error;
    const int64_t now = 1'700'000'000;
    const auto ten = std::chrono::minutes(10);
    const auto a = issuer->issue("alice@tavik.local", ten, now, error);
    const auto b = issuer->issue("alice@tavik.local", ten, now, error);
    const auto c = issuer->issue("alice@tavik.local", ten, now, error);
    ASSERT_TRUE(a && b && c) << error;
    EXPECT_EQ(a->size(), 43u);
    EXPECT_NE(*a, *b);

    EXPECT_FALSE(server->consume("bob@tavik.local", *a, now)) << "another account";
    EXPECT_TRUE(server->consume("alice@tavik.local", *a, now + 599)) << "first use";
    EXPECT_FALSE(server->consume("alice@tavik.local", *a, now + 1)) << "second use";
    EXPECT_FALSE(issuer->consume("alice@tavik.local", *a, now + 1)) << "second use elsewhere";
    EXPECT_FALSE(server->consume("alice@tavik.local", *b, now + 600)) << "expired";
    EXPECT_FALSE(server->consume("alice@tavik.local", *c + "x", now)) << "altered";
    EXPECT_TRUE(server->consume("alice@tavik.local", *c, now)) << "still valid";

    // Only hashes are kept: the key text appears nowhere in the file.
    const auto d = issuer->issue("alice@tavik.local", ten, now, error);
    ASSERT_TRUE(d);
    issuer.reset();
    server.reset();
    EXPECT_EQ(folder.read("state.db").find(*d), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(folder.file("state.db").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

} // namespace
} // namespace tavik::server
