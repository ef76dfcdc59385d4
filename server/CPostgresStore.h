// The shared service store in PostgreSQL: accounts and their disks, session keys, recent logins
// and their tickets, login throttles and space reservations, for any number of service replicas
// and disk servers on any number of machines.
//
// The server creates and migrates the schema itself at start (its version is kept in the table
// tavik_schema; replicas starting together take turns under an advisory lock; a database of a
// newer schema than this program knows is refused). Every change is one transaction; session
// keys and tickets are spent by one DELETE ... RETURNING each, so exactly one replica can spend
// one. Times that replicas compare (tickets, throttles) come from the database's clock, so the
// machines' own clocks need not agree.
//
// Space reservations belong to the database session that made them: when a disk server dies,
// its reservations no longer count once the database has seen its connection go.
//
// Thread-safe (one connection per store, calls serialised; every call is short).
#pragma once

#include "server/CPgConnection.h"
#include "server/CServiceStore.h"
#include "server/CThrottlePolicy.h"

#include <memory>

namespace tavik::server {

class CPostgresStore final : public CServiceStore {
public:
    // The schema version this program writes.
    static constexpr int kSchemaVersion = 2;

    // Connects, and creates or migrates the schema; nullptr with error when the database cannot
    // be reached or refuses.
    static std::unique_ptr<CPostgresStore>
    open(const std::string& uri, std::chrono::seconds loginWindow, std::string& error);

    StoreResult<std::optional<AccountConfig>> findAccount(std::string_view identifier) override;
    StoreResult<std::vector<AccountConfig>> listAccounts() override;
    StoreResult<Done> upsertAccount(const AccountConfig& account) override;
    StoreResult<std::vector<std::string>>
    seedFileAccounts(const std::vector<AccountConfig>& accounts) override;
    StoreResult<bool> removeAccount(std::string_view identifier) override;
    StoreResult<bool> setPasswordHash(std::string_view identifier, std::string_view hash) override;
    StoreResult<bool> putDisk(std::string_view identifier, const AccountDisk& disk) override;
    StoreResult<bool> removeDisk(std::string_view identifier, std::string_view diskId) override;

    StoreResult<std::string> issueSessionKey(std::string_view account,
                                             std::chrono::seconds lifetime,
                                             int64_t nowSeconds) override;
    StoreResult<bool> consumeSessionKey(std::string_view account, std::string_view key,
                                        int64_t nowSeconds) override;

    StoreResult<std::string> recordLogin(std::string_view account,
                                         std::string_view address) override;
    StoreResult<bool> redeemTicket(std::string_view ticket, std::string_view account,
                                   std::string_view address) override;
    StoreResult<bool> loggedInFrom(std::string_view account, std::string_view address) override;

    StoreResult<std::optional<int>> reserveLogin(const CLoginThrottle::Attempt& attempt) override;
    StoreResult<int> loginFailed(const CLoginThrottle::Attempt& attempt) override;
    StoreResult<Done> loginSucceeded(const CLoginThrottle::Attempt& attempt) override;
    int delayAfter(int failures) const override { return policy_.delayAfter(failures); }

    StoreResult<std::optional<SpaceHold>>
    reserveSpace(std::string_view disk, uint64_t bytes,
                 const std::function<uint64_t()>& freeBytes) override;
    StoreResult<Done> releaseSpace(const SpaceHold& hold) override;

private:
    CPostgresStore(const std::string& uri, std::chrono::seconds loginWindow)
        : connection_(uri), loginWindow_(loginWindow), policy_(ThrottleSettings()) {}
    bool migrate(std::string& error);
    // Reads one account with its disks inside a lease; nullopt when there is none.
    static std::optional<AccountConfig> readAccount(CPgConnection::CLease& lease,
                                                    const std::string& identifier, bool& ok,
                                                    std::string& error);
    // Writes the account and its disks inside a lease; a new row gets origin.
    static bool writeAccount(CPgConnection::CLease& lease, const AccountConfig& account,
                             const char* origin, std::string& error);
    static bool writeDisks(CPgConnection::CLease& lease, const std::string& identifier,
                           const std::vector<AccountDisk>& disks, std::string& error);
    // Loads an attempt's throttle entries locked, lets change() decide, and writes them back:
    // one transaction, so replicas take turns on the same entries.
    template <class Change>
    bool throttle(const CLoginThrottle::Attempt& attempt, Change&& change, std::string& error);

    CPgConnection connection_;
    std::chrono::seconds loginWindow_;
    CThrottlePolicy policy_;
};

} // namespace tavik::server
