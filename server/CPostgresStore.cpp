#include "server/CPostgresStore.h"

#include "server/CRecentLogins.h"
#include "server/CSessionKeyStore.h"

#include <sodium.h>

#include <algorithm>
#include <array>

namespace tavik::server {

namespace {

// The database's clock in milliseconds, the one clock every replica compares against.
constexpr const char* kNowMs = "(extract(epoch from clock_timestamp()) * 1000)::bigint";

// Each step brings the schema from its index to the next version; never change a step once
// released, add one.
constexpr std::array<const char*, CPostgresStore::kSchemaVersion> kMigrations = {
    "CREATE TABLE account ("
    " identifier text PRIMARY KEY, user_name text NOT NULL, domain text NOT NULL,"
    " password_hash text NOT NULL, display_name text NOT NULL, user_number bigint NOT NULL);"
    "CREATE TABLE account_disk ("
    " identifier text NOT NULL REFERENCES account ON DELETE CASCADE,"
    " position integer NOT NULL, disk_id text NOT NULL, name text NOT NULL,"
    " server text NOT NULL, PRIMARY KEY (identifier, disk_id));"
    "CREATE TABLE session_key ("
    " hash text PRIMARY KEY, account text NOT NULL, expires bigint NOT NULL);"
    "CREATE TABLE login_ticket ("
    " digest text PRIMARY KEY, account text NOT NULL, address text NOT NULL,"
    " issued_ms bigint NOT NULL);"
    "CREATE INDEX login_ticket_issued ON login_ticket (issued_ms);"
    "CREATE TABLE recent_login ("
    " account text NOT NULL, address text NOT NULL, at_ms bigint NOT NULL,"
    " PRIMARY KEY (account, address));"
    "CREATE TABLE login_throttle ("
    " key text PRIMARY KEY, present boolean NOT NULL, failures integer NOT NULL,"
    " next_turn bigint NOT NULL, last_seen bigint NOT NULL, trusted boolean NOT NULL);"
    "CREATE TABLE space_reservation ("
    " id bigserial PRIMARY KEY, disk text NOT NULL, bytes bigint NOT NULL,"
    " holder integer NOT NULL);"
    "CREATE INDEX space_reservation_disk ON space_reservation (disk);",
    // Where each account came from: the configuration file ('config') or a command ('command').
    "ALTER TABLE account ADD COLUMN origin text NOT NULL DEFAULT 'config'"
    " CHECK (origin IN ('config', 'command'));",
};

std::string hexOf(std::string_view bytes) {
    std::string hex(bytes.size() * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                   bytes.size());
    hex.pop_back();
    return hex;
}

std::string digestOf(std::string_view text) {
    std::array<unsigned char, crypto_generichash_BYTES> digest{};
    crypto_generichash(digest.data(), digest.size(),
                       reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr,
                       0);
    return hexOf(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string newTicket() {
    std::array<unsigned char, 16> random{};
    randombytes_buf(random.data(), random.size());
    return hexOf(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
}

std::string number(int64_t value) {
    return std::to_string(value);
}

template <class T> StoreResult<T> outcome(bool ok, T value, const std::string& error) {
    return ok ? StoreResult<T>::ok(std::move(value)) : StoreResult<T>::fail(error);
}

} // namespace

std::unique_ptr<CPostgresStore>
CPostgresStore::open(const std::string& uri, std::chrono::seconds loginWindow, std::string& error) {
    if (sodium_init() < 0) {
        error = "libsodium cannot start";
        return nullptr;
    }
    std::unique_ptr<CPostgresStore> store(new CPostgresStore(uri, loginWindow));
    // The URI may hold a password: it is not repeated in the message.
    if (!store->migrate(error)) {
        error = "the PostgreSQL store: " + error;
        return nullptr;
    }
    return store;
}

bool CPostgresStore::migrate(std::string& error) {
    return connection_.transact(
        [](CPgConnection::CLease& lease, std::string& failure) {
            // Replicas starting together migrate one after the other.
            CPgResult locked = lease.run("SELECT pg_advisory_xact_lock(7369617610)");
            CPgResult table =
                lease.run("CREATE TABLE IF NOT EXISTS tavik_schema (version integer NOT NULL)");
            CPgResult current = lease.run("SELECT version FROM tavik_schema");
            if (!locked.ok() || !table.ok() || !current.ok()) {
                failure = !current.ok() ? current.error()
                          : locked.ok() ? table.error()
                                        : locked.error();
                return false;
            }
            int version = current.rows() > 0 ? static_cast<int>(current.integer(0, 0)) : 0;
            if (current.rows() == 0 &&
                !lease.run("INSERT INTO tavik_schema (version) VALUES (0)").ok()) {
                failure = "cannot write the schema version";
                return false;
            }
            if (version > kSchemaVersion) {
                failure = "the database holds schema version " + std::to_string(version) +
                          ", newer than this server's " + std::to_string(kSchemaVersion);
                return false;
            }
            for (; version < kSchemaVersion; ++version) {
                CPgResult step = lease.script(kMigrations[static_cast<size_t>(version)]);
                if (!step.ok()) {
                    failure = "schema version " + std::to_string(version + 1) + ": " + step.error();
                    return false;
                }
            }
            CPgResult set = lease.run("UPDATE tavik_schema SET version = $1::integer",
                                      {number(kSchemaVersion)});
            failure = set.error();
            return set.ok();
        },
        error);
}

std::optional<AccountConfig> CPostgresStore::readAccount(CPgConnection::CLease& lease,
                                                         const std::string& identifier, bool& ok,
                                                         std::string& error) {
    // One statement: the account and its disks as of one moment, in one round trip.
    CPgResult rows =
        lease.run("SELECT a.user_name, a.domain, a.password_hash, a.display_name, a.user_number,"
                  " d.disk_id, d.name, d.server FROM account a"
                  " LEFT JOIN account_disk d ON d.identifier = a.identifier"
                  " WHERE a.identifier = $1 ORDER BY d.position",
                  {identifier});
    ok = rows.ok();
    error = rows.error();
    if (!ok || rows.rows() == 0) {
        return std::nullopt;
    }
    AccountConfig account{rows.text(0, 0), rows.text(0, 1),    rows.text(0, 2),
                          rows.text(0, 3), rows.integer(0, 4), {}};
    for (int i = 0; i < rows.rows(); ++i) {
        if (!rows.isNull(i, 5)) {
            account.disks.push_back({rows.text(i, 5), rows.text(i, 6), rows.text(i, 7)});
        }
    }
    return account;
}

bool CPostgresStore::writeDisks(CPgConnection::CLease& lease, const std::string& identifier,
                                const std::vector<AccountDisk>& disks, std::string& error) {
    CPgResult clear = lease.run("DELETE FROM account_disk WHERE identifier = $1", {identifier});
    if (!clear.ok()) {
        error = clear.error();
        return false;
    }
    int position = 0;
    for (const AccountDisk& disk : disks) {
        CPgResult insert =
            lease.run("INSERT INTO account_disk (identifier, position, disk_id, name, server)"
                      " VALUES ($1, $2::integer, $3, $4, $5)",
                      {identifier, number(position++), disk.diskId, disk.name, disk.server});
        if (!insert.ok()) {
            error = insert.error();
            return false;
        }
    }
    return true;
}

StoreResult<std::optional<AccountConfig>> CPostgresStore::findAccount(std::string_view identifier) {
    const auto canonical = canonicalIdentifier(identifier);
    if (!canonical) {
        return StoreResult<std::optional<AccountConfig>>::ok(std::nullopt);
    }
    CPgConnection::CLease lease(connection_);
    if (!lease) {
        return StoreResult<std::optional<AccountConfig>>::fail(lease.error());
    }
    bool ok = false;
    std::string error;
    auto account = readAccount(lease, *canonical, ok, error);
    return outcome(ok, std::move(account), error);
}

StoreResult<std::vector<AccountConfig>> CPostgresStore::listAccounts() {
    std::vector<AccountConfig> accounts;
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            CPgResult rows = lease.run("SELECT identifier FROM account ORDER BY identifier");
            bool read = rows.ok();
            failure = rows.error();
            for (int i = 0; read && i < rows.rows(); ++i) {
                if (auto account = readAccount(lease, rows.text(i, 0), read, failure)) {
                    accounts.push_back(std::move(*account));
                }
            }
            return read;
        },
        error);
    return outcome(ok, std::move(accounts), error);
}

bool CPostgresStore::writeAccount(CPgConnection::CLease& lease, const AccountConfig& account,
                                  const char* origin, std::string& error) {
    // An account keeps the origin it was made with: a file that names one made by command
    // overwrites it but does not make it the file's.
    CPgResult row =
        lease.run("INSERT INTO account (identifier, user_name, domain, password_hash, display_name,"
                  " user_number, origin) VALUES ($1, $2, $3, $4, $5, $6::bigint, $7)"
                  " ON CONFLICT (identifier) DO UPDATE SET password_hash = EXCLUDED.password_hash,"
                  " display_name = EXCLUDED.display_name, user_number = EXCLUDED.user_number",
                  {account.identifier(), account.user, account.domain, account.passwordHash,
                   account.displayName, number(account.userNumber), origin});
    error = row.error();
    return row.ok() && writeDisks(lease, account.identifier(), account.disks, error);
}

StoreResult<CServiceStore::Done> CPostgresStore::upsertAccount(const AccountConfig& account) {
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            return writeAccount(lease, account, "command", failure);
        },
        error);
    return outcome(ok, Done{}, error);
}

// Only an upsert: replicas may carry different files, and one that lacks an account must not
// take it from the others.
StoreResult<std::vector<std::string>>
CPostgresStore::seedFileAccounts(const std::vector<AccountConfig>& accounts) {
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            return std::all_of(accounts.begin(), accounts.end(), [&](const AccountConfig& account) {
                return writeAccount(lease, account, "config", failure);
            });
        },
        error);
    return outcome(ok, std::vector<std::string>{}, error);
}

StoreResult<bool> CPostgresStore::removeAccount(std::string_view identifier) {
    CPgConnection::CLease lease(connection_);
    CPgResult row = lease.run("DELETE FROM account WHERE identifier = $1 RETURNING 1",
                              {canonicalIdentifier(identifier).value_or("")});
    return outcome(row.ok(), row.rows() > 0, row.error());
}

StoreResult<bool> CPostgresStore::setPasswordHash(std::string_view identifier,
                                                  std::string_view hash) {
    CPgConnection::CLease lease(connection_);
    CPgResult row = lease.run("UPDATE account SET password_hash = $2 WHERE identifier = $1"
                              " RETURNING 1",
                              {canonicalIdentifier(identifier).value_or(""), hash});
    return outcome(row.ok(), row.rows() > 0, row.error());
}

StoreResult<bool> CPostgresStore::putDisk(std::string_view identifier, const AccountDisk& disk) {
    const std::string canonical = canonicalIdentifier(identifier).value_or("");
    bool found = false;
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            // The account row is locked, so that two changes of one list take turns.
            CPgResult row =
                lease.run("SELECT 1 FROM account WHERE identifier = $1 FOR UPDATE", {canonical});
            found = row.ok() && row.rows() > 0;
            bool read = row.ok();
            auto account = found ? readAccount(lease, canonical, read, failure) : std::nullopt;
            if (!read || !account) {
                failure = row.ok() ? failure : row.error();
                return read;
            }
            auto& disks = account->disks;
            const auto same = std::find_if(disks.begin(), disks.end(), [&](const AccountDisk& own) {
                return own.diskId == disk.diskId;
            });
            if (same != disks.end()) {
                *same = disk;
            } else {
                disks.push_back(disk);
            }
            return writeDisks(lease, canonical, disks, failure);
        },
        error);
    return outcome(ok, found, error);
}

StoreResult<bool> CPostgresStore::removeDisk(std::string_view identifier, std::string_view diskId) {
    CPgConnection::CLease lease(connection_);
    CPgResult row = lease.run("DELETE FROM account_disk WHERE identifier = $1 AND disk_id = $2"
                              " RETURNING 1",
                              {canonicalIdentifier(identifier).value_or(""), diskId});
    return outcome(row.ok(), row.rows() > 0, row.error());
}

StoreResult<std::string> CPostgresStore::issueSessionKey(std::string_view account,
                                                         std::chrono::seconds lifetime,
                                                         int64_t nowSeconds) {
    std::string key = CSessionKeyStore::newKey();
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            CPgResult purge = lease.run("DELETE FROM session_key WHERE expires <= $1::bigint",
                                        {number(nowSeconds)});
            CPgResult insert = lease.run(
                "INSERT INTO session_key (hash, account, expires) VALUES ($1, $2, $3::bigint)",
                {hexOf(CSessionKeyStore::hashOf(key)), account,
                 number(nowSeconds + lifetime.count())});
            failure = purge.ok() ? insert.error() : purge.error();
            return purge.ok() && insert.ok();
        },
        error);
    return outcome(ok, std::move(key), error);
}

StoreResult<bool> CPostgresStore::consumeSessionKey(std::string_view account, std::string_view key,
                                                    int64_t nowSeconds) {
    // One DELETE checks and spends the key: whichever replica runs it first gets the row.
    CPgConnection::CLease lease(connection_);
    CPgResult row = lease.run("DELETE FROM session_key WHERE hash = $1 AND account = $2 AND"
                              " expires > $3::bigint RETURNING 1",
                              {hexOf(CSessionKeyStore::hashOf(key)), account, number(nowSeconds)});
    return outcome(row.ok(), row.rows() > 0, row.error());
}

StoreResult<std::string> CPostgresStore::recordLogin(std::string_view account,
                                                     std::string_view address) {
    std::string ticket = newTicket();
    const std::string lifetimeMs =
        number(std::chrono::milliseconds(CRecentLogins::kTicketLifetime).count());
    const std::string windowMs = number(std::chrono::milliseconds(loginWindow_).count());
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            const std::string now = std::string(kNowMs);
            CPgResult forgetTickets = lease.run(
                ("DELETE FROM login_ticket WHERE issued_ms < " + now + " - $1::bigint").c_str(),
                {lifetimeMs});
            CPgResult forgetLogins = lease.run(
                ("DELETE FROM recent_login WHERE at_ms < " + now + " - $1::bigint").c_str(),
                {windowMs});
            CPgResult login = lease.run(
                ("INSERT INTO recent_login (account, address, at_ms) VALUES ($1, $2, " + now +
                 ") ON CONFLICT (account, address) DO UPDATE SET at_ms = EXCLUDED.at_ms")
                    .c_str(),
                {account, address});
            CPgResult issued =
                lease.run(("INSERT INTO login_ticket (digest, account, address, issued_ms)"
                           " VALUES ($1, $2, $3, " +
                           now + ")")
                              .c_str(),
                          {digestOf(ticket), account, address});
            for (const CPgResult* step : {&forgetTickets, &forgetLogins, &login, &issued}) {
                if (!step->ok()) {
                    failure = step->error();
                    return false;
                }
            }
            return true;
        },
        error);
    return outcome(ok, std::move(ticket), error);
}

StoreResult<bool> CPostgresStore::redeemTicket(std::string_view ticket, std::string_view account,
                                               std::string_view address) {
    const std::string lifetimeMs =
        number(std::chrono::milliseconds(CRecentLogins::kTicketLifetime).count());
    CPgConnection::CLease lease(connection_);
    // A ticket presented for another account or from another address matches no row and stays
    // with its owner.
    CPgResult row = lease.run(("DELETE FROM login_ticket WHERE digest = $1 AND account = $2 AND"
                               " address = $3 AND issued_ms >= " +
                               std::string(kNowMs) + " - $4::bigint RETURNING 1")
                                  .c_str(),
                              {digestOf(ticket), account, address, lifetimeMs});
    return outcome(row.ok(), row.rows() > 0, row.error());
}

StoreResult<bool> CPostgresStore::loggedInFrom(std::string_view account, std::string_view address) {
    CPgConnection::CLease lease(connection_);
    CPgResult row =
        lease.run(("SELECT 1 FROM recent_login WHERE account = $1 AND address = $2"
                   " AND at_ms >= " +
                   std::string(kNowMs) + " - $3::bigint")
                      .c_str(),
                  {account, address, number(std::chrono::milliseconds(loginWindow_).count())});
    return outcome(row.ok(), row.rows() > 0, row.error());
}

template <class Change>
bool CPostgresStore::throttle(const CLoginThrottle::Attempt& attempt, Change&& change,
                              std::string& error) {
    const ThrottleKeys keys = ThrottleKeys::of(attempt.account, attempt.address);
    return connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            // Rows are made (as absent) and locked in key order, so that two replicas on
            // overlapping keys never wait for each other in a circle.
            std::vector<std::string> present{keys.address};
            if (!keys.pair.empty()) {
                present.push_back(keys.pair);
                present.push_back(keys.account);
            }
            std::sort(present.begin(), present.end());
            for (const std::string& key : present) {
                CPgResult made = lease.run(
                    "INSERT INTO login_throttle (key, present, failures, next_turn, last_seen,"
                    " trusted) VALUES ($1, false, 0, 0, 0, false) ON CONFLICT (key) DO NOTHING",
                    {key});
                if (!made.ok()) {
                    failure = made.error();
                    return false;
                }
            }
            CPgResult rows =
                lease.run(("SELECT key, present, failures, next_turn, last_seen, trusted, " +
                           std::string(kNowMs) +
                           " FROM login_throttle WHERE key IN ($1, $2, $3) ORDER BY key FOR UPDATE")
                              .c_str(),
                          {keys.address, keys.pair, keys.account});
            if (!rows.ok() || rows.rows() == 0) {
                failure = rows.ok() ? "throttle rows missing" : rows.error();
                return false;
            }
            const int64_t now = rows.integer(0, 6);
            ThrottleEntries entries;
            entries.withAccount = !keys.pair.empty();
            for (int i = 0; i < rows.rows(); ++i) {
                if (!rows.flag(i, 1)) {
                    continue;
                }
                const ThrottleEntry entry{static_cast<int>(rows.integer(i, 2)), rows.integer(i, 3),
                                          rows.integer(i, 4), rows.flag(i, 5)};
                const std::string key = rows.text(i, 0);
                (key == keys.address ? entries.address
                 : key == keys.pair  ? entries.pair
                                     : entries.account) = entry;
            }
            policy_.dropStale(entries, now);
            change(entries, now);
            const std::pair<const std::string*, std::optional<ThrottleEntry>*> slots[] = {
                {&keys.address, &entries.address},
                {&keys.pair, &entries.pair},
                {&keys.account, &entries.account}};
            for (const auto& [key, entry] : slots) {
                if (key->empty()) {
                    continue;
                }
                const ThrottleEntry value = entry->value_or(ThrottleEntry{});
                CPgResult saved = lease.run(
                    "UPDATE login_throttle SET present = $2::boolean, failures = $3::integer,"
                    " next_turn = $4::bigint, last_seen = $5::bigint, trusted = $6::boolean"
                    " WHERE key = $1",
                    {*key, entry->has_value() ? "true" : "false", number(value.failures),
                     number(value.nextTurn), number(value.lastSeen),
                     value.trusted ? "true" : "false"});
                if (!saved.ok()) {
                    failure = saved.error();
                    return false;
                }
            }
            return true;
        },
        error);
}

StoreResult<std::optional<int>>
CPostgresStore::reserveLogin(const CLoginThrottle::Attempt& attempt) {
    std::optional<int> wait;
    std::string error;
    const bool ok = throttle(
        attempt,
        [&](ThrottleEntries& entries, int64_t now) { wait = policy_.reserve(entries, now); },
        error);
    return outcome(ok, wait, error);
}

StoreResult<int> CPostgresStore::loginFailed(const CLoginThrottle::Attempt& attempt) {
    int counted = 0;
    std::string error;
    const bool ok = throttle(
        attempt,
        [&](ThrottleEntries& entries, int64_t now) { counted = policy_.failed(entries, now); },
        error);
    if (ok) {
        // Forgotten entries go now and then (here: after failures, which are what fill the
        // table), so that the table holds what the last quarter hour needs.
        CPgConnection::CLease lease(connection_);
        lease.run(("DELETE FROM login_throttle WHERE NOT present OR (last_seen < " +
                   std::string(kNowMs) + " - $1::bigint AND next_turn <= " + kNowMs + ")")
                      .c_str(),
                  {number(policy_.settings().forgetAfterMs)});
    }
    return outcome(ok, counted, error);
}

StoreResult<CServiceStore::Done>
CPostgresStore::loginSucceeded(const CLoginThrottle::Attempt& attempt) {
    std::string error;
    const bool ok = throttle(
        attempt, [&](ThrottleEntries& entries, int64_t now) { policy_.succeeded(entries, now); },
        error);
    return outcome(ok, Done{}, error);
}

StoreResult<std::optional<CServiceStore::SpaceHold>>
CPostgresStore::reserveSpace(std::string_view disk, uint64_t bytes,
                             const std::function<uint64_t()>& freeBytes) {
    std::optional<SpaceHold> hold;
    std::string error;
    const bool ok = connection_.transact(
        [&](CPgConnection::CLease& lease, std::string& failure) {
            // One disk's reservations are decided one at a time across every disk server.
            CPgResult locked =
                lease.run("SELECT pg_advisory_xact_lock(hashtext('tavik-space:' || $1))", {disk});
            // Reservations of disk servers whose database session is gone count no more.
            CPgResult gone = lease.run("DELETE FROM space_reservation WHERE disk = $1 AND holder"
                                       " NOT IN (SELECT pid FROM pg_stat_activity"
                                       " WHERE pid IS NOT NULL)",
                                       {disk});
            CPgResult sum = lease.run(
                "SELECT coalesce(sum(bytes), 0) FROM space_reservation WHERE disk = $1", {disk});
            for (const CPgResult* step : {&locked, &gone, &sum}) {
                if (!step->ok()) {
                    failure = step->error();
                    return false;
                }
            }
            const uint64_t reserved = static_cast<uint64_t>(sum.integer(0, 0));
            const uint64_t free = freeBytes();
            const uint64_t left = free > reserved ? free - reserved : 0;
            if (bytes > left) {
                return true;
            }
            CPgResult made = lease.run("INSERT INTO space_reservation (disk, bytes, holder)"
                                       " VALUES ($1, $2::bigint, pg_backend_pid()) RETURNING id",
                                       {disk, number(static_cast<int64_t>(bytes))});
            failure = made.error();
            if (made.ok()) {
                hold = SpaceHold{made.integer(0, 0), bytes};
            }
            return made.ok();
        },
        error);
    return outcome(ok, hold, error);
}

StoreResult<CServiceStore::Done> CPostgresStore::releaseSpace(const SpaceHold& hold) {
    CPgConnection::CLease lease(connection_);
    CPgResult row =
        lease.run("DELETE FROM space_reservation WHERE id = $1::bigint", {number(hold.id)});
    return outcome(row.ok(), Done{}, row.error());
}

} // namespace tavik::server
