// Everything the service keeps between requests, behind one interface: accounts and their
// disks, session keys, the record of recent logins with their disk-list tickets, login throttles
// and the space reserved by running writes. Two stores implement it: the embedded one (a SQLite
// file beside the configuration and the rest in memory: one process) and the shared one
// (PostgreSQL: any number of service replicas and disk servers on any number of machines).
//
// Contract for every store:
//   - each call that changes something is one transaction: it happens whole or not at all;
//   - a one-time thing (a session key, a ticket) is spent by one atomic statement, so among all
//     processes sharing the store it works exactly once;
//   - a call that cannot reach the store returns a failed StoreResult with the reason (it never
//     throws and never blocks for long); the next call tries again, so the store recovers by
//     itself when it returns;
//   - every call is thread-safe.
#pragma once

#include "server/CAccountConfig.h"
#include "server/CLoginThrottle.h"
#include "server/StoreResult.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::server {

class CServiceStore {
public:
    // A success that carries nothing.
    struct Done {};
    // Space reserved for a running write; given back by releaseSpace().
    struct SpaceHold {
        int64_t id = 0;
        uint64_t bytes = 0;
    };

    virtual ~CServiceStore() = default;

    // Accounts. Identifiers are "user@domain": the user compared exactly, the domain without
    // regard to case (kept in lower case).
    virtual StoreResult<std::optional<AccountConfig>> findAccount(std::string_view identifier) = 0;
    virtual StoreResult<std::vector<AccountConfig>> listAccounts() = 0;
    // Writes the account with its disks (in their order), replacing whatever it held. An account
    // this creates counts as made by command.
    virtual StoreResult<Done> upsertAccount(const AccountConfig& account) = 0;
    // Writes the configuration file's accounts in one transaction, as the file's (an account made
    // by command that the file also names is overwritten, but stays the command's). The embedded
    // store, which one process with one file uses, then removes in the same transaction the
    // file's accounts that the file no longer names, so that taking an account out of the file
    // revokes it; it returns their identifiers. The shared store only writes and returns none:
    // replicas may carry different files, so an account leaves it by command.
    virtual StoreResult<std::vector<std::string>>
    seedFileAccounts(const std::vector<AccountConfig>& accounts) = 0;
    // False when there was no such account.
    virtual StoreResult<bool> removeAccount(std::string_view identifier) = 0;
    virtual StoreResult<bool> setPasswordHash(std::string_view identifier,
                                              std::string_view hash) = 0;
    // Adds the disk at the end of the list, or replaces the one with its id in place.
    virtual StoreResult<bool> putDisk(std::string_view identifier, const AccountDisk& disk) = 0;
    virtual StoreResult<bool> removeDisk(std::string_view identifier, std::string_view diskId) = 0;

    // Session keys: a new one for the account, valid for lifetime from nowSeconds; and the spend
    // of one, true exactly once for a key of this account that has not expired.
    virtual StoreResult<std::string> issueSessionKey(std::string_view account,
                                                     std::chrono::seconds lifetime,
                                                     int64_t nowSeconds) = 0;
    virtual StoreResult<bool> consumeSessionKey(std::string_view account, std::string_view key,
                                                int64_t nowSeconds) = 0;

    // Recent logins: records a login and returns its one-time disk-list ticket; redeems a ticket
    // (true once, for its own account and address, within the ticket's lifetime); the address
    // rule (the account logged in from address within the configured window).
    virtual StoreResult<std::string> recordLogin(std::string_view account,
                                                 std::string_view address) = 0;
    virtual StoreResult<bool> redeemTicket(std::string_view ticket, std::string_view account,
                                           std::string_view address) = 0;
    virtual StoreResult<bool> loggedInFrom(std::string_view account, std::string_view address) = 0;

    // Login throttles, counted for every process sharing the store (CLoginThrottle's rules).
    virtual StoreResult<std::optional<int>>
    reserveLogin(const CLoginThrottle::Attempt& attempt) = 0;
    virtual StoreResult<int> loginFailed(const CLoginThrottle::Attempt& attempt) = 0;
    virtual StoreResult<Done> loginSucceeded(const CLoginThrottle::Attempt& attempt) = 0;
    virtual int delayAfter(int failures) const = 0;

    // Space of a shared disk: reserves bytes when freeBytes() (asked while the disk's ledger is
    // held) minus what every process has reserved on it leaves room; nullopt when it does not.
    virtual StoreResult<std::optional<SpaceHold>>
    reserveSpace(std::string_view disk, uint64_t bytes,
                 const std::function<uint64_t()>& freeBytes) = 0;
    virtual StoreResult<Done> releaseSpace(const SpaceHold& hold) = 0;
};

// The domain part in lower case, the user as given; nullopt without an "@".
std::optional<std::string> canonicalIdentifier(std::string_view identifier);

// The store the service configuration names: the shared one for "[store] postgresql", else the
// embedded one over service.stateDatabase. nullptr with error when it cannot be opened (the
// shared store must answer at start, so that a wrong address is found at once).
std::unique_ptr<CServiceStore> openServiceStore(const ServiceConfig& service, std::string& error);

// Writes the configuration file's accounts into the store (seedFileAccounts: an upsert that
// replicas carrying the same accounts may all do; the embedded store also drops the file's
// accounts the file no longer names, given in removed when not null). False with error when the
// store refuses.
bool seedAccounts(CServiceStore& store, const ServiceConfig& service, std::string& error,
                  std::vector<std::string>* removed = nullptr);

} // namespace tavik::server
