// Which account logged in successfully from which client address, and when: the record the
// disk-information server decides by, shared with the authentication server.
//
// Every login gets a one-time ticket (32 random hex digits), which the authentication reply
// hands to the client and the client sends back with its disk-list request. A ticket opens the
// list once, for its own account and client address, within kTicketLifetime of the login: the
// list holds the account's capability disk ids, so nobody else behind the same address may read
// it. Only a digest of each ticket is kept. The older address rule (allows()) remains for
// installations that choose it for clients which cannot send the ticket.
// Thread-safe.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace tavik::server {

class CRecentLogins {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kTicketLifetime{120};

    // window: how long after a login the address rule answers.
    explicit CRecentLogins(std::chrono::seconds window) : window_(window) {}

    // Records a login; returns its ticket.
    std::string record(std::string_view account, std::string_view address, Clock::time_point when);
    // True, and the ticket spent, when ticket was given to a login of account from address
    // within kTicketLifetime before now. A ticket presented for another account or from
    // another address stays with its owner.
    bool redeem(std::string_view ticket, std::string_view account, std::string_view address,
                Clock::time_point now);
    // The address rule: true when the account logged in from address within the window.
    bool allows(std::string_view account, std::string_view address, Clock::time_point now);

private:
    struct Ticket {
        std::string account;
        std::string address;
        Clock::time_point issued;
    };

    void forgetExpired(Clock::time_point now);
    static std::string digestOf(std::string_view ticket);

    std::chrono::seconds window_;
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Clock::time_point> logins_;
    std::map<std::string, Ticket> tickets_; // by digest
};

} // namespace tavik::server
