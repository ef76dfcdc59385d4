// The authentication/message server's side of one connection. It answers two messages and
// ignores everything else (the client ignores unexpected messages too):
//
//   - control message ctrl=general, general=queryNode -> control message general=queryNodeAns
//     with parentName, childName and yourNodeAddr = parentName "/" childName, unique per
//     connection;
//   - an addressed typed-body request cmd=auth (userid, passwd or brelo_sessionkey) with
//     from = this connection's node address, to = parentName, svc = authsvr -> an addressed
//     reply (to = the node address, from = parentName "/authsvr") whose text body holds
//     inform=auth, result ("0" or a non-zero code, see below) and errmsg, and on success
//     name (display name), userno (user number), and in both kid and eid the login's one-time
//     disk-list ticket (see CRecentLogins).
//
// Result codes: "0" authenticated; "1" wrong identifier, password or session key (one answer
// for all: an unknown account must look like a wrong password); "2" a request without userid.
// A successful login is recorded in the store for the disk-information server (when the store
// cannot record it, the login is answered as failed: the client could not get its disk list).
//
// Pure over bytes: answer() takes one whole frame and returns the reply frame, or nothing.
// One conversation per connection, used by that connection's thread.
#pragma once

#include "server/CAccountAuthenticator.h"
#include "server/CServiceStore.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavik::server {

class CAuthConversation {
public:
    static constexpr char kParentName[] = "tavik";

    // stopping: the connection's flag; it cuts a throttled login's wait short.
    CAuthConversation(uint64_t nodeNumber, CAccountAuthenticator& authenticator,
                      CServiceStore& store, std::string peerAddress,
                      const std::atomic<bool>& stopping);

    // The reply frame for one received frame; empty when there is none to give.
    std::vector<uint8_t> answer(std::span<const uint8_t> frame);
    const std::string& nodeAddress() const { return nodeAddress_; }
    // Whether an auth request on this connection has succeeded.
    bool loggedIn() const { return loggedIn_; }

private:
    std::vector<uint8_t> answerNodeQuery();
    std::vector<uint8_t> answerAuth(const std::u16string& userId, const std::u16string& password,
                                    const std::u16string& sessionKey);

    CAccountAuthenticator& authenticator_;
    CServiceStore& store_;
    std::string peerAddress_;
    const std::atomic<bool>& stopping_;
    std::string childName_;
    std::string nodeAddress_;
    bool nodeGiven_ = false;
    bool loggedIn_ = false;
};

} // namespace tavik::server
