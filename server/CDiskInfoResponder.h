// The disk-information server's side: answers "GetDiskInfo" requests (scrambled binary form
// frames, both ways).
//
//   request  cmd=GetDiskInfo, username=USER@DOMAIN, ticket=TICKET (serviceType ignored)
//   reply    inform=GetDiskInfo, tavikinfofield=diskid|diskname|serverip|loginid|, tavikinfo =
//            the four values of each disk in the account's order, each followed by "|".
//
// diskid is a capability for the disk (see CDiskCapability), serverip the disk server holding
// it, loginid the account's user name. The list is given once for each login's ticket, from the
// client address that logged in (see CRecentLogins); with diskInfoAddressRule also without a
// ticket, to any client on an address the account logged in from within the configured window.
// Otherwise (and for an unknown account, with the same answer) the reply is inform=error with
// errmsg and errorcode (a store that cannot be reached answers "101" too):
//
//   "100" not a GetDiskInfo request or no username;  "101" not logged in (or unknown);
//   "102" the list would not fit the client's 65,536-byte reply limit.
//
// Pure over bytes; one responder per connection, used by that connection's thread.
#pragma once

#include "server/CServerConfig.h"
#include "server/CServiceStore.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavik::app {
class CFormMessage;
}

namespace tavik::server {

class CDiskInfoResponder {
public:
    CDiskInfoResponder(const CServerConfig& config, CServiceStore& store);

    // The reply frame for one received frame (never empty).
    std::vector<uint8_t> answer(std::span<const uint8_t> frame, const std::string& peerAddress);

    // What the last answer() was about, for the log.
    struct Query {
        std::string account; // the username asked for (client text, not yet printable)
        bool withTicket = false;
        int result = 0; // 0 listed, else the error code sent
        size_t disks = 0;
    };
    const Query& lastQuery() const { return last_; }

private:
    bool admits(const AccountConfig& account, const app::CFormMessage& request,
                const std::string& peerAddress);
    // Whether the account's disk is one of this server's, marked read_only.
    bool readOnlyHere(const AccountDisk& disk) const;

    const CServerConfig& config_;
    CServiceStore& store_;
    Query last_;
};

} // namespace tavik::server
