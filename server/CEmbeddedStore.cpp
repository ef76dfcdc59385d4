#include "server/CEmbeddedStore.h"

namespace tavik::server {

std::unique_ptr<CEmbeddedStore> CEmbeddedStore::open(const std::filesystem::path& stateDatabase,
                                                     std::chrono::seconds loginWindow,
                                                     std::string& error) {
    auto keys = CSessionKeyStore::open(stateDatabase, error);
    if (!keys) {
        return nullptr;
    }
    // Two connections to one file are fine; a private in-memory database per connection too,
    // since the tables of the two do not meet.
    auto accounts = CSqliteAccounts::open(stateDatabase, error);
    if (!accounts) {
        return nullptr;
    }
    return std::unique_ptr<CEmbeddedStore>(
        new CEmbeddedStore(std::move(accounts), std::move(keys), loginWindow));
}

StoreResult<std::optional<AccountConfig>> CEmbeddedStore::findAccount(std::string_view identifier) {
    return accounts_->find(identifier);
}

StoreResult<std::vector<AccountConfig>> CEmbeddedStore::listAccounts() {
    return accounts_->list();
}

StoreResult<CServiceStore::Done> CEmbeddedStore::upsertAccount(const AccountConfig& account) {
    return accounts_->upsert(account);
}

StoreResult<std::vector<std::string>>
CEmbeddedStore::seedFileAccounts(const std::vector<AccountConfig>& accounts) {
    return accounts_->seedFromFile(accounts);
}

StoreResult<bool> CEmbeddedStore::removeAccount(std::string_view identifier) {
    return accounts_->remove(identifier);
}

StoreResult<bool> CEmbeddedStore::setPasswordHash(std::string_view identifier,
                                                  std::string_view hash) {
    return accounts_->setPasswordHash(identifier, hash);
}

StoreResult<bool> CEmbeddedStore::putDisk(std::string_view identifier, const AccountDisk& disk) {
    return accounts_->putDisk(identifier, disk);
}

StoreResult<bool> CEmbeddedStore::removeDisk(std::string_view identifier, std::string_view diskId) {
    return accounts_->removeDisk(identifier, diskId);
}

StoreResult<std::string> CEmbeddedStore::issueSessionKey(std::string_view account,
                                                         std::chrono::seconds lifetime,
                                                         int64_t nowSeconds) {
    std::string error;
    auto key = keys_->issue(account, lifetime, nowSeconds, error);
    return key ? StoreResult<std::string>::ok(std::move(*key))
               : StoreResult<std::string>::fail(error);
}

StoreResult<bool> CEmbeddedStore::consumeSessionKey(std::string_view account, std::string_view key,
                                                    int64_t nowSeconds) {
    return StoreResult<bool>::ok(keys_->consume(account, key, nowSeconds));
}

StoreResult<std::string> CEmbeddedStore::recordLogin(std::string_view account,
                                                     std::string_view address) {
    return StoreResult<std::string>::ok(
        recentLogins_.record(account, address, CRecentLogins::Clock::now()));
}

StoreResult<bool> CEmbeddedStore::redeemTicket(std::string_view ticket, std::string_view account,
                                               std::string_view address) {
    return StoreResult<bool>::ok(
        recentLogins_.redeem(ticket, account, address, CRecentLogins::Clock::now()));
}

StoreResult<bool> CEmbeddedStore::loggedInFrom(std::string_view account, std::string_view address) {
    return StoreResult<bool>::ok(
        recentLogins_.allows(account, address, CRecentLogins::Clock::now()));
}

StoreResult<std::optional<int>>
CEmbeddedStore::reserveLogin(const CLoginThrottle::Attempt& attempt) {
    return StoreResult<std::optional<int>>::ok(throttle_.reserve(attempt));
}

StoreResult<int> CEmbeddedStore::loginFailed(const CLoginThrottle::Attempt& attempt) {
    return StoreResult<int>::ok(throttle_.failed(attempt));
}

StoreResult<CServiceStore::Done>
CEmbeddedStore::loginSucceeded(const CLoginThrottle::Attempt& attempt) {
    throttle_.succeeded(attempt);
    return StoreResult<Done>::ok({});
}

StoreResult<std::optional<CServiceStore::SpaceHold>>
CEmbeddedStore::reserveSpace(std::string_view disk, uint64_t bytes,
                             const std::function<uint64_t()>& freeBytes) {
    std::lock_guard lock(spaceMutex_);
    auto found = reserved_.find(disk);
    const uint64_t reserved = found != reserved_.end() ? found->second : 0;
    const uint64_t free = freeBytes();
    const uint64_t left = free > reserved ? free - reserved : 0;
    if (bytes > left) {
        return StoreResult<std::optional<SpaceHold>>::ok(std::nullopt);
    }
    reserved_[std::string(disk)] = reserved + bytes;
    const SpaceHold hold{nextHold_++, bytes};
    holds_[hold.id] = {std::string(disk), bytes};
    return StoreResult<std::optional<SpaceHold>>::ok(hold);
}

StoreResult<CServiceStore::Done> CEmbeddedStore::releaseSpace(const SpaceHold& hold) {
    std::lock_guard lock(spaceMutex_);
    const auto found = holds_.find(hold.id);
    if (found != holds_.end()) {
        reserved_[found->second.first] -= found->second.second;
        holds_.erase(found);
    }
    return StoreResult<Done>::ok({});
}

} // namespace tavik::server
