// The disk-information query: after a login, one "GetDiskInfo" exchange with the
// disk-information server gives the account's disks as an array of DiskEntry.
//
// Request pairs: cmd "GetDiskInfo", username user name + "@" + domain, serviceType empty, and
// ticket (the login's one-time ticket, see CAuthHandler) when there is one; framed in binary
// mode with scrambling both ways. A server that does not know the ticket pair ignores it. The
// reply's inform decides:
//   - "GetDiskInfo": tavikinfofield ("|"-separated field names) and tavikinfo (values, record by
//     record) give one DiskEntry per record; a record lacking one of diskid, diskname, serverip
//     and loginid stays an empty entry in its place. An empty value list is an empty, successful
//     list. The owner takes the array (replacing its earlier one) and shows it; logged in.
//   - anything else: not logged in, and a box shows errmsg, a line feed and errorcode when the
//     reply has both, else "잘못된 정보가 내려왔습니다. ".
// Neither box nor change of the logged-in flag when the socket, connect or exchange fails, the
// reply has no inform, or names and values do not fit together: the progress dialog's watchdog
// reports "현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!" then.
//
// The connection is secured as the "보안 연결" setting says (CServerTrust); a refused server
// ends the query as a failed connect does, after the box that said why.
//
// The progress dialog (CAuthProgressDlg::Global, when there is one) is brought forward and its
// disk-information bar moves 10, 30, 40, 80; when the query is decided its watchdog stops and
// the bar goes to 100, which closes it.
//
// The query blocks the calling (user-interface) thread, so the connect and the whole reply are
// bounded by one time budget, shorter than the watchdog's period: the watchdog can then still
// fire and report a server that does not answer, and the program stays responsive.
// Threads: user-interface thread.
#pragma once

#include "app/login/DiskEntry.h"
#include "app/settings/ProgramConstants.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::app {

// Who receives the disk list: the document takes the array, the active view shows it.
class CDiskListOwner {
public:
    virtual ~CDiskListOwner() = default;
    virtual void TakeDiskList(std::vector<DiskEntry> disks) = 0;
};

struct DiskInfoQuery {
    std::u16string userName;
    // "@" + domain, as the account globals keep it.
    std::u16string domainSuffix;
    // CAccountStore::DiskInfoServer(), read when the main frame is created.
    HostPort server;
    // Time budget of connect and reply together; negative: four fifths of the progress
    // dialog's watchdog period (of 5000 ms when there is no dialog).
    int32_t budgetMs = -1;
    // The login's ticket (the account globals' diskTicket); empty: no ticket pair.
    std::u16string ticket;
};

// Runs the whole query; returns the logged-in flag, which it also sets in loggedIn when the
// reply decided it (and leaves unchanged when the query failed before that).
bool QueryDiskInfo(const DiskInfoQuery& query, CDiskListOwner& owner, bool& loggedIn);

} // namespace tavik::app
