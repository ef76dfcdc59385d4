// The service store: the embedded and the PostgreSQL store keep one contract, and several
// PostgreSQL stores on one database (replicas) share keys, tickets, throttles and space. Each
// test that needs PostgreSQL starts its own server (a fresh cluster in a temporary folder).
#include "server/CAccountCommand.h"
#include "server/CEmbeddedStore.h"
#include "server/CPostgresStore.h"
#include "tests/cli/CChildProcess.h"
#include "tests/service_server/CPostgresHarness.h"
#include "tests/service_server/CServiceHarness.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <thread>

namespace tavik::test {
namespace {

using server::AccountConfig;
using server::CServiceStore;

#define REQUIRE_POSTGRES(harness)                                                                  \
    if (!(harness).installed()) {                                                                  \
        GTEST_SKIP() << "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/postgres)";     \
    }                                                                                              \
    ASSERT_TRUE((harness).running()) << (harness).error()

int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<CServiceStore> openPostgres(const std::string& uri) {
    std::string error;
    auto store = server::CPostgresStore::open(uri, std::chrono::seconds(300), error);
    EXPECT_NE(store, nullptr) << error;
    return store;
}

AccountConfig carol() {
    return {"Carol",
            "tavik.local",
            "$argon2id$v=19$m=8,t=1,p=1$c2FsdHNhbHQ$aGFzaGhhc2hoYXNo",
            "캐롤",
            7,
            {{"c1", "첫 디스크", "10.0.0.1"}, {"c2", "둘째", "10.0.0.2:9554"}}};
}

// Everything of one store that a single process sees, checked the same way on both stores.
void checkContract(CServiceStore& store, const std::string& name, bool fileRevokes) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(store.upsertAccount(carol()));
    auto found = store.findAccount("Carol@TAVIK.local");
    ASSERT_TRUE(found && found->has_value()) << found.error();
    EXPECT_EQ((*found)->displayName, "캐롤");
    ASSERT_EQ((*found)->disks.size(), 2u);
    EXPECT_EQ((*found)->disks[1].server, "10.0.0.2:9554");
    EXPECT_FALSE(store.findAccount("carol@tavik.local")->has_value()) << "user is exact";
    EXPECT_FALSE(store.findAccount("no-at-sign")->has_value());

    // Changes of the disk list keep its order; a second upsert replaces the whole account.
    struct Row {
        const char* what;
        std::function<bool()> change;
        bool changed;
        std::vector<std::string> disks;
    };
    const Row rows[] = {
        {"add a disk",
         [&] {
             return *store.putDisk("Carol@tavik.local", {"c3", "셋", "h"});
         },
         true,
         {"c1", "c2", "c3"}},
        {"rename in place",
         [&] {
             return *store.putDisk("Carol@tavik.local", {"c1", "일", "h"});
         },
         true,
         {"c1", "c2", "c3"}},
        {"remove the middle",
         [&] { return *store.removeDisk("Carol@tavik.local", "c2"); },
         true,
         {"c1", "c3"}},
        {"remove it again",
         [&] { return *store.removeDisk("Carol@tavik.local", "c2"); },
         false,
         {"c1", "c3"}},
        {"disk of nobody",
         [&] {
             return *store.putDisk("nobody@tavik.local", {"x", "x", "h"});
         },
         false,
         {"c1", "c3"}},
        {"upsert again",
         [&] { return static_cast<bool>(store.upsertAccount(carol())); },
         true,
         {"c1", "c2"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.change(), row.changed) << row.what;
        auto account = store.findAccount("Carol@tavik.local");
        ASSERT_TRUE(account && account->has_value()) << row.what;
        std::vector<std::string> ids;
        for (const auto& disk : (*account)->disks) {
            ids.push_back(disk.diskId);
        }
        EXPECT_EQ(ids, row.disks) << row.what;
    }
    EXPECT_TRUE(*store.setPasswordHash("Carol@tavik.local", "$argon2id$other"));
    EXPECT_EQ((*store.findAccount("Carol@tavik.local"))->passwordHash, "$argon2id$other");

    // The file's accounts: the embedded store drops the ones the file no longer names, the shared
    // one keeps them (its replicas may carry other files). Carol, made by command, stays either
    // way, though the file that named her overwrote her password.
    AccountConfig dave = carol();
    dave.user = "dave";
    const std::vector<std::string> revoked{"dave@tavik.local"};
    struct SeedRow {
        const char* file;
        std::vector<AccountConfig> accounts;
        std::vector<std::string> removed;
        bool daveStays;
    };
    const SeedRow seeds[] = {
        {"dave and carol", {dave, carol()}, {}, true},
        {"nobody", {}, fileRevokes ? revoked : std::vector<std::string>{}, !fileRevokes},
    };
    for (const SeedRow& seed : seeds) {
        const auto removed = store.seedFileAccounts(seed.accounts);
        ASSERT_TRUE(removed) << seed.file << ": " << removed.error();
        EXPECT_EQ(*removed, seed.removed) << seed.file;
        EXPECT_EQ(store.findAccount("dave@tavik.local")->has_value(), seed.daveStays) << seed.file;
        const auto carolNow = store.findAccount("Carol@tavik.local");
        ASSERT_TRUE(carolNow && carolNow->has_value()) << seed.file;
        EXPECT_EQ((*carolNow)->passwordHash, carol().passwordHash) << seed.file;
    }
    (void)store.removeAccount("dave@tavik.local");

    // A session key works once, for its own account, before it expires.
    const int64_t now = secondsNow();
    const auto key = store.issueSessionKey("Carol@tavik.local", std::chrono::minutes(1), now);
    ASSERT_TRUE(key) << key.error();
    EXPECT_FALSE(*store.consumeSessionKey("bob@tavik.local", *key, now));
    EXPECT_FALSE(*store.consumeSessionKey("Carol@tavik.local", *key, now + 60)) << "expired";
    EXPECT_TRUE(*store.consumeSessionKey("Carol@tavik.local", *key, now));
    EXPECT_FALSE(*store.consumeSessionKey("Carol@tavik.local", *key, now)) << "spent";

    // A ticket opens the list once, for its own account and address.
    const auto ticket = store.recordLogin("Carol@tavik.local", "10.1.1.1");
    ASSERT_TRUE(ticket) << ticket.error();
    EXPECT_EQ(ticket->size(), 32u);
    EXPECT_FALSE(*store.redeemTicket(*ticket, "bob@tavik.local", "10.1.1.1"));
    EXPECT_FALSE(*store.redeemTicket(*ticket, "Carol@tavik.local", "10.1.1.2"));
    EXPECT_TRUE(*store.redeemTicket(*ticket, "Carol@tavik.local", "10.1.1.1"));
    EXPECT_FALSE(*store.redeemTicket(*ticket, "Carol@tavik.local", "10.1.1.1"));
    EXPECT_TRUE(*store.loggedInFrom("Carol@tavik.local", "10.1.1.1"));
    EXPECT_FALSE(*store.loggedInFrom("Carol@tavik.local", "10.1.1.2"));

    // Throttles: a failure delays the next attempt from that address; a success clears it.
    const server::CLoginThrottle::Attempt attempt{"Carol@tavik.local", "10.2.2.2"};
    EXPECT_EQ(**store.reserveLogin(attempt), 0);
    EXPECT_EQ(*store.loginFailed(attempt), 1);
    const auto wait = store.reserveLogin(attempt);
    ASSERT_TRUE(wait && wait->has_value());
    EXPECT_GT(**wait, 0);
    EXPECT_LE(**wait, store.delayAfter(1));
    EXPECT_TRUE(store.loginSucceeded(attempt));

    // Space: reservations together never exceed what is free; a release gives bytes back.
    const auto free = [] { return uint64_t{1000}; };
    const auto first = store.reserveSpace("d", 600, free);
    ASSERT_TRUE(first && first->has_value()) << first.error();
    EXPECT_FALSE(store.reserveSpace("d", 401, free)->has_value());
    EXPECT_TRUE(store.reserveSpace("other disk", 1000, free)->has_value());
    EXPECT_TRUE(store.releaseSpace(**first));
    EXPECT_TRUE(store.reserveSpace("d", 1000, free)->has_value());

    EXPECT_TRUE(*store.removeAccount("Carol@tavik.local"));
    EXPECT_FALSE(*store.removeAccount("Carol@tavik.local"));
    EXPECT_FALSE(store.findAccount("Carol@tavik.local")->has_value());
}

// Both stores on one contract, and on a database written before accounts knew their origin: its
// accounts count as the file's, so the embedded store revokes those the file no longer names; the
// shared one gains the column by a migration step and keeps them.
TEST(ServiceStoreTest, BothStoresKeepOneContract) {
    CTempFolder folder;
    std::string error;
    {
        sqlite3* raw = nullptr;
        sqlite3_open(folder.file("old.db").c_str(), &raw);
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
        ASSERT_EQ(sqlite3_exec(db.get(),
                               "CREATE TABLE account (identifier TEXT PRIMARY KEY, user TEXT NOT"
                               " NULL, domain TEXT NOT NULL, password_hash TEXT NOT NULL,"
                               " display_name TEXT NOT NULL, user_number INTEGER NOT NULL);"
                               "INSERT INTO account VALUES ('old@tavik.local', 'old',"
                               " 'tavik.local', 'h', 'o', 1)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    auto old =
        server::CEmbeddedStore::open(folder.file("old.db"), std::chrono::seconds(300), error);
    ASSERT_NE(old, nullptr) << error;
    EXPECT_TRUE(old->findAccount("old@tavik.local")->has_value());
    EXPECT_EQ(*old->seedFileAccounts({}), std::vector<std::string>{"old@tavik.local"});

    auto embedded =
        server::CEmbeddedStore::open(folder.file("state.db"), std::chrono::seconds(300), error);
    ASSERT_NE(embedded, nullptr) << error;
    checkContract(*embedded, "embedded", true);
    // Another process's change (an account command beside a running server) is seen at once,
    // although the server keeps the accounts it has read.
    auto other =
        server::CEmbeddedStore::open(folder.file("state.db"), std::chrono::seconds(300), error);
    ASSERT_NE(other, nullptr) << error;
    ASSERT_TRUE(embedded->upsertAccount(carol()));
    EXPECT_EQ((*embedded->findAccount("Carol@tavik.local"))->passwordHash, carol().passwordHash);
    ASSERT_TRUE(*other->setPasswordHash("Carol@tavik.local", "$argon2id$changed"));
    EXPECT_EQ((*embedded->findAccount("Carol@tavik.local"))->passwordHash, "$argon2id$changed");
    ASSERT_TRUE(*other->removeAccount("Carol@tavik.local"));
    EXPECT_FALSE(embedded->findAccount("Carol@tavik.local")->has_value());

    CPostgresHarness postgres;
    REQUIRE_POSTGRES(postgres);
    auto shared = openPostgres(postgres.uri());
    ASSERT_NE(shared, nullptr);
    checkContract(*shared, "postgresql", false);

    {
        std::unique_ptr<PGconn, decltype(&PQfinish)> db(PQconnectdb(postgres.uri().c_str()),
                                                        PQfinish);
        std::unique_ptr<PGresult, decltype(&PQclear)> downgraded(
            PQexec(db.get(), "ALTER TABLE account DROP COLUMN origin;"
                             "UPDATE tavik_schema SET version = 1;"
                             "INSERT INTO account VALUES ('old@tavik.local', 'old',"
                             " 'tavik.local', 'h', 'o', 1)"),
            PQclear);
        ASSERT_EQ(PQresultStatus(downgraded.get()), PGRES_COMMAND_OK) << PQerrorMessage(db.get());
    }
    auto upgraded = openPostgres(postgres.uri());
    ASSERT_NE(upgraded, nullptr);
    EXPECT_TRUE(upgraded->seedFileAccounts({})->empty());
    EXPECT_TRUE(upgraded->findAccount("old@tavik.local")->has_value());
    EXPECT_TRUE(upgraded->upsertAccount(carol()));
}

// Two stores on one database stand for two replicas on two machines.
TEST(SharedStoreTest, ReplicasSpendKeysOnceAndShareThrottlesAndSpace) {
    CPostgresHarness postgres;
    REQUIRE_POSTGRES(postgres);
    auto a = openPostgres(postgres.uri());
    auto b = openPostgres(postgres.uri());
    ASSERT_TRUE(a && b);

    // The schema was made once, its version kept; a database of a newer schema is refused.
    {
        std::unique_ptr<PGconn, decltype(&PQfinish)> db(PQconnectdb(postgres.uri().c_str()),
                                                        PQfinish);
        std::unique_ptr<PGresult, decltype(&PQclear)> version(
            PQexec(db.get(), "SELECT version FROM tavik_schema"), PQclear);
        ASSERT_EQ(PQntuples(version.get()), 1);
        EXPECT_EQ(std::string(PQgetvalue(version.get(), 0, 0)),
                  std::to_string(server::CPostgresStore::kSchemaVersion));
        PQclear(PQexec(db.get(), "UPDATE tavik_schema SET version = 99"));
        std::string error;
        EXPECT_EQ(server::CPostgresStore::open(postgres.uri(), std::chrono::seconds(1), error),
                  nullptr);
        EXPECT_NE(error.find("99"), std::string::npos) << error;
        PQclear(PQexec(db.get(), ("UPDATE tavik_schema SET version = " +
                                  std::to_string(server::CPostgresStore::kSchemaVersion))
                                     .c_str()));
    }

    // Eight threads on two replicas race for each of five keys: each key works exactly once.
    const int64_t now = secondsNow();
    for (int round = 0; round < 5; ++round) {
        const auto key = a->issueSessionKey("alice@tavik.local", std::chrono::minutes(1), now);
        ASSERT_TRUE(key) << key.error();
        std::atomic<int> accepted{0};
        std::vector<std::thread> racers;
        for (int i = 0; i < 8; ++i) {
            racers.emplace_back([&, i] {
                CServiceStore& replica = i % 2 == 0 ? *a : *b;
                const auto spent = replica.consumeSessionKey("alice@tavik.local", *key, now);
                accepted += spent && *spent ? 1 : 0;
            });
        }
        for (std::thread& racer : racers) {
            racer.join();
        }
        EXPECT_EQ(accepted.load(), 1) << "round " << round;
    }

    // A login recorded at A: its ticket opens the list at B, once.
    const auto ticket = a->recordLogin("alice@tavik.local", "10.0.0.9");
    ASSERT_TRUE(ticket);
    EXPECT_TRUE(*b->loggedInFrom("alice@tavik.local", "10.0.0.9"));
    EXPECT_TRUE(*b->redeemTicket(*ticket, "alice@tavik.local", "10.0.0.9"));
    EXPECT_FALSE(*a->redeemTicket(*ticket, "alice@tavik.local", "10.0.0.9"));

    // Failures at A count at B: three failures (alternating) make the address a suspect whose
    // next turn lies the grown delay ahead, wherever it asks.
    const server::CLoginThrottle::Attempt guess{"alice@tavik.local", "10.6.6.6"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(*(i % 2 == 0 ? a : b)->loginFailed(guess), i + 1);
    }
    const auto wait = b->reserveLogin(guess);
    ASSERT_TRUE(wait && wait->has_value());
    EXPECT_GT(**wait, a->delayAfter(2)) << "the third failure's delay, counted across replicas";
    const auto queued = a->reserveLogin(guess);
    ASSERT_TRUE(queued && queued->has_value());
    EXPECT_GT(**queued, **wait) << "the second attempt queues behind the first";

    // Space: sixteen writers on two replicas, 100 bytes each of 1,000: exactly ten get room.
    const auto free = [] { return uint64_t{1000}; };
    std::atomic<int> granted{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < 16; ++i) {
        writers.emplace_back([&, i] {
            const auto hold = (i % 2 == 0 ? a : b)->reserveSpace("shared", 100, free);
            granted += hold && hold->has_value() ? 1 : 0;
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(granted.load(), 10);

    // A replica that goes away leaves no reservation behind once its session has ended.
    auto c = openPostgres(postgres.uri());
    ASSERT_TRUE(c);
    const auto other = [] { return uint64_t{500}; };
    ASSERT_TRUE(c->reserveSpace("gone", 500, other)->has_value());
    EXPECT_FALSE(a->reserveSpace("gone", 1, other)->has_value());
    c.reset();
    bool freed = false;
    for (int tries = 0; tries < 100 && !freed; ++tries) {
        const auto hold = a->reserveSpace("gone", 500, other);
        freed = hold && hold->has_value();
        if (!freed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_TRUE(freed);
}

// The store going away and coming back: calls fail with a reason meanwhile, and the same store
// objects work again afterwards; logins at the service fail meanwhile (the one failed-login
// answer) and succeed again after.
TEST(SharedStoreTest, ServiceRecoversWhenTheStoreReturns) {
    CPostgresHarness postgres;
    REQUIRE_POSTGRES(postgres);
    CServiceHarness harness(
        [&](server::CServerConfig& config) { config.service.postgresql = postgres.uri(); });
    ASSERT_TRUE(harness.running());
    const auto login = [&] {
        CRawClient client;
        if (!client.connect(harness.authPort())) {
            return std::string("no connection");
        }
        TextPairs reply = handLogin(client, "alice@tavik.local", CServiceHarness::kAlicePassword);
        return reply["result"];
    };
    EXPECT_EQ(login(), "0");
    ASSERT_TRUE(postgres.stop());
    EXPECT_EQ(login(), "1");
    const auto down = harness.services().store()->findAccount("alice@tavik.local");
    EXPECT_FALSE(down);
    EXPECT_FALSE(down.error().empty());
    ASSERT_TRUE(postgres.start()) << postgres.error();
    EXPECT_EQ(login(), "0");
}

// The account commands of the program on the embedded store: each row is one run, with what it
// must print and its exit status; the server started afterwards logs the account in.
TEST(ServiceStoreTest, AccountCommandsManageTheStore) {
    CTempFolder folder;
    std::filesystem::create_directories(folder.file("d"));
    ASSERT_TRUE(folder.write("s.toml", "[server]\nport = 0\nlog_commands = false\n"
                                       "[service]\nauth_port = 0\ndiskinfo_port = 0\n"
                                       "[[disk]]\nid = \"d\"\nroot = \"d\"\n"));
    const std::string config = folder.file("s.toml");
    struct Row {
        std::vector<std::string> args;
        std::optional<std::string> input;
        int exitCode;
        const char* printed; // in the output (stdout, or stderr on failure); "": not looked at
    };
    const Row rows[] = {
        {{"add", "bob@Tavik.Local", "--name", "밥", "--number", "5"}, "old\n", 0, ""},
        {{"add", "bob@tavik.local"}, "x\n", 1, "exists already"},
        {{"add", "no-domain"}, "x\n", 1, "USER@DOMAIN"},
        {{"add", "eve@tavik.local"}, "\n", 1, "no password given"},
        {{"disk-add", "bob@tavik.local", "d", "--name", "디스크"}, std::nullopt, 0, ""},
        {{"disk-add", "bob@tavik.local", "x|y"}, std::nullopt, 1, "\"|\""},
        {{"disk-add", "nobody@tavik.local", "d"}, std::nullopt, 1, "no account"},
        {{"disk-add", "bob@tavik.local", "e", "--server", "10.0.0.1:9554"}, std::nullopt, 0, ""},
        {{"disk-remove", "bob@tavik.local", "e"}, std::nullopt, 0, ""},
        {{"disk-remove", "bob@tavik.local", "e"}, std::nullopt, 1, "no disk e"},
        {{"passwd", "bob@tavik.local"}, "new\n", 0, ""},
        {{"passwd", "nobody@tavik.local"}, "new\n", 1, "no account"},
        {{"add", "gone@tavik.local", "--no-password"}, std::nullopt, 0, ""},
        {{"remove", "gone@tavik.local"}, std::nullopt, 0, ""},
        {{"remove", "gone@tavik.local"}, std::nullopt, 1, "no account"},
        {{"list"},
         std::nullopt,
         0,
         "bob@tavik.local\t밥\t5\tpassword\td \"디스크\" on 127.0.0.1\n"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM, "account", "--config", config};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        const auto ran = CChildProcess::run(argv, {}, row.input);
        EXPECT_EQ(ran.exitCode, row.exitCode) << row.args[0] << " " << ran.err;
        const std::string& shown = row.exitCode == 0 ? ran.out : ran.err;
        if (*row.printed != '\0') {
            EXPECT_NE(shown.find(row.printed), std::string::npos) << row.args[0] << ": " << shown;
        }
    }
    const auto listed =
        CChildProcess::run({TAVIK_SERVER_PROGRAM, "account", "list", "--config", config}, {});
    EXPECT_EQ(listed.out.find("gone@"), std::string::npos) << listed.out;

    // The server serves the account from the store: the new password works, the old does not.
    std::string error;
    auto parsed = server::CServerConfig::fromFile(config, error);
    ASSERT_TRUE(parsed) << error;
    parsed->capabilityKey = server::CDiskCapability::randomKey();
    server::CServiceServers services(*parsed);
    ASSERT_TRUE(services.start(error)) << error;
    for (const auto& [password, result] : {std::pair{"new", "0"}, std::pair{"old", "1"}}) {
        CRawClient client;
        ASSERT_TRUE(client.connect(services.authPort()));
        EXPECT_EQ(handLogin(client, "bob@tavik.local", password)["result"], result) << password;
    }
}

// The configuration file is where an administrator revokes an account: one taken out of the file
// must stop working at the next start even though the embedded store kept it, while an account
// made by command stays. Each row is a login after the restart with the file that names only ann.
TEST(ServiceStoreTest, AnAccountTakenOutOfTheFileStopsWorkingAtTheNextStart) {
    CTempFolder folder;
    std::filesystem::create_directories(folder.file("d"));
    ASSERT_TRUE(folder.write("s.toml", "[server]\nport = 0\nlog_commands = false\n"
                                       "[service]\nauth_port = 0\ndiskinfo_port = 0\n"
                                       "[[disk]]\nid = \"d\"\nroot = \"d\"\n"));
    std::string error;
    auto config = server::CServerConfig::fromFile(folder.file("s.toml"), error);
    ASSERT_TRUE(config) << error;
    config->capabilityKey = server::CDiskCapability::randomKey();
    const auto fileAccount = [](const std::string& user, const std::string& password) {
        return AccountConfig{user, "tavik.local", fastHash(password), user, 1, {}};
    };
    const auto login = [&](const std::string& user, const std::string& password) {
        server::CServiceServers services(*config);
        if (!services.start(error)) {
            return "start failed: " + error;
        }
        CRawClient client;
        return client.connect(services.authPort())
                   ? handLogin(client, user + "@tavik.local", password)["result"]
                   : std::string("no connection");
    };

    config->service.accounts = {fileAccount("ann", "ann-pw"), fileAccount("ben", "ben-pw")};
    EXPECT_EQ(login("ben", "ben-pw"), "0") << "named by the file";
    {
        // While the server is down: one account made and one password changed by command.
        auto store = server::openServiceStore(config->service, error);
        ASSERT_NE(store, nullptr) << error;
        std::string password;
        server::CAccountCommand command(
            *store, "127.0.0.1", [&] { return std::optional<std::string>(fastHash(password)); });
        const auto run = [&](const char* action, const char* identifier, const char* typed) {
            server::AccountCommandInput input;
            input.action = action;
            input.identifier = identifier;
            password = typed;
            std::string out;
            return command.run(input, out, error);
        };
        ASSERT_EQ(run("add", "cid@tavik.local", "cid-pw"), 0) << error;
        ASSERT_EQ(run("passwd", "ann@tavik.local", "ann-new"), 0) << error;
    }

    config->service.accounts = {fileAccount("ann", "ann-pw")};
    struct Row {
        const char* what;
        const char* user;
        const char* password;
        const char* result;
    };
    const Row rows[] = {
        {"still in the file", "ann", "ann-pw", "0"},
        {"the file wins over a password changed by command", "ann", "ann-new", "1"},
        {"taken out of the file", "ben", "ben-pw", "1"},
        {"made by command", "cid", "cid-pw", "0"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(login(row.user, row.password), row.result) << row.what;
    }
}

} // namespace
} // namespace tavik::test
