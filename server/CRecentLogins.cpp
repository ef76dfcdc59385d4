#include "server/CRecentLogins.h"

#include <sodium.h>

#include <array>

namespace tavik::server {

namespace {

constexpr size_t kTicketBytes = 16;

std::string hexOf(const unsigned char* bytes, size_t count) {
    std::string hex(count * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, count);
    hex.pop_back();
    return hex;
}

} // namespace

std::string CRecentLogins::record(std::string_view account, std::string_view address,
                                  Clock::time_point when) {
    std::array<unsigned char, kTicketBytes> random{};
    randombytes_buf(random.data(), random.size());
    std::string ticket = hexOf(random.data(), random.size());
    std::lock_guard lock(mutex_);
    forgetExpired(when);
    logins_[{std::string(account), std::string(address)}] = when;
    tickets_[digestOf(ticket)] = {std::string(account), std::string(address), when};
    return ticket;
}

bool CRecentLogins::redeem(std::string_view ticket, std::string_view account,
                           std::string_view address, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    forgetExpired(now);
    const auto found = tickets_.find(digestOf(ticket));
    if (found == tickets_.end() || found->second.account != account ||
        found->second.address != address || found->second.issued > now) {
        return false;
    }
    tickets_.erase(found);
    return true;
}

bool CRecentLogins::allows(std::string_view account, std::string_view address,
                           Clock::time_point now) {
    std::lock_guard lock(mutex_);
    forgetExpired(now);
    const auto found = logins_.find({std::string(account), std::string(address)});
    return found != logins_.end() && found->second <= now;
}

// The tables hold at most the logins of one window, however long the server runs.
void CRecentLogins::forgetExpired(Clock::time_point now) {
    std::erase_if(logins_, [&](const auto& entry) { return now - entry.second > window_; });
    std::erase_if(tickets_,
                  [&](const auto& entry) { return now - entry.second.issued > kTicketLifetime; });
}

// Tickets are looked up by a digest, so that the table's comparisons say nothing about the
// tickets it holds.
std::string CRecentLogins::digestOf(std::string_view ticket) {
    std::array<unsigned char, crypto_generichash_BYTES> digest{};
    crypto_generichash(digest.data(), digest.size(),
                       reinterpret_cast<const unsigned char*>(ticket.data()), ticket.size(),
                       nullptr, 0);
    return std::string(reinterpret_cast<const char*>(digest.data()), digest.size());
}

} // namespace tavik::server
