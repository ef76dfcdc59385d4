// The account globals: the one set per process that the login flow fills and the
// authentication, the disk-information query and the account store read. Used on the
// user-interface thread only.
#pragma once

#include <string>

namespace tavik::app {

struct CAccountGlobals {
    std::u16string userName;
    std::u16string domainSuffix; // "@" + domain
    std::u16string password;
    std::u16string sessionKey; // only from the launch parameters
    // The last login's "kid", which our authentication server fills with a one-time ticket for
    // the disk-information query (never stored on disk).
    std::u16string diskTicket;
    bool autoLogin = false;
    bool deleteAccount = false;
    bool savePassword = true;

    // The account key: user name + domain suffix.
    std::u16string AccountKey() const { return userName + domainSuffix; }

    // The process's one set.
    static CAccountGlobals& Instance();
};

} // namespace tavik::app
