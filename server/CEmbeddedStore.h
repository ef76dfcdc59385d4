// The embedded service store: nothing to set up, one process. Accounts and session keys live in
// the SQLite state database beside the configuration (":memory:" for a demo: a private one that
// goes with the process); recent logins, login throttles and space reservations in memory.
// Thread-safe.
#pragma once

#include "server/CLoginThrottle.h"
#include "server/CRecentLogins.h"
#include "server/CServiceStore.h"
#include "server/CSessionKeyStore.h"
#include "server/CSqliteAccounts.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace tavik::server {

class CEmbeddedStore final : public CServiceStore {
public:
    // loginWindow: how long after a login loggedInFrom() answers true.
    static std::unique_ptr<CEmbeddedStore> open(const std::filesystem::path& stateDatabase,
                                                std::chrono::seconds loginWindow,
                                                std::string& error);

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
    int delayAfter(int failures) const override { return throttle_.delayAfter(failures); }

    StoreResult<std::optional<SpaceHold>>
    reserveSpace(std::string_view disk, uint64_t bytes,
                 const std::function<uint64_t()>& freeBytes) override;
    StoreResult<Done> releaseSpace(const SpaceHold& hold) override;

private:
    CEmbeddedStore(std::unique_ptr<CSqliteAccounts> accounts,
                   std::unique_ptr<CSessionKeyStore> keys, std::chrono::seconds loginWindow)
        : accounts_(std::move(accounts)), keys_(std::move(keys)), recentLogins_(loginWindow) {}

    std::unique_ptr<CSqliteAccounts> accounts_;
    std::unique_ptr<CSessionKeyStore> keys_;
    CRecentLogins recentLogins_;
    CLoginThrottle throttle_;
    std::mutex spaceMutex_;
    std::map<std::string, uint64_t, std::less<>> reserved_; // by disk
    std::map<int64_t, std::pair<std::string, uint64_t>> holds_;
    int64_t nextHold_ = 1;
};

} // namespace tavik::server
