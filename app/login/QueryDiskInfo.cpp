#include "app/login/QueryDiskInfo.h"

#include "app/login/CAuthProgressDlg.h"
#include "app/login/Exchange.h"
#include "app/settings/CSecuritySetting.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CServerTrust.h"
#include "app/socket/CTcpClient.h"
#include "codec/CFormMessage.h"
#include "codec/CFormRecordTable.h"
#include "tls/CTlsChannel.h"

#include <QString>

#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>

namespace tavik::app {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStreamSocket = 1;

const QString kBadInform = QStringLiteral("잘못된 정보가 내려왔습니다. ");

void diskStep(int position) {
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->SetDiskStep(position);
    }
}

void stopWatchdog() {
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->StopWatchdog();
    }
}

// One budget for the connect and the whole reply.
class Deadline {
public:
    explicit Deadline(int32_t budgetMs)
        : end_(Clock::now() + std::chrono::milliseconds(budgetMs)) {}

    // Milliseconds left, at least 0.
    int32_t Left() const {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
        return left.count() > 0 ? static_cast<int32_t>(left.count()) : 0;
    }

private:
    Clock::time_point end_;
};

int32_t budgetOf(const DiskInfoQuery& query) {
    if (query.budgetMs >= 0) {
        return query.budgetMs;
    }
    CAuthProgressDlg* dialog = CAuthProgressDlg::Global();
    int period = dialog != nullptr ? dialog->WatchdogPeriod() : CAuthProgressDlg::kWatchdogPeriodMs;
    return period / 5 * 4;
}

// A blocking connect gives up after the socket's send time-out (EINPROGRESS then), which the
// budget sets; the same time-out then bounds the request's sends.
bool connectWithin(CTcpClient& client, const HostPort& server, int32_t milliseconds) {
    if (milliseconds <= 0) {
        return false;
    }
    timeval limit{};
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = (milliseconds % 1000) * 1000;
    if (client.SetOption(SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
        return false;
    }
    return client.Connect(QString::fromStdString(server.host).toStdU16String(), server.port) == 0;
}

// The TLS handshake and the server's trust, as the setting says; the watchdog waits while a box
// may be open, and the deadline starts again after it.
CServerTrust::Outcome secure(CTcpClient& client, const DiskInfoQuery& query,
                             CSecuritySetting::Mode mode, Deadline& deadline) {
    CAuthProgressDlg* dialog = CAuthProgressDlg::Global();
    const bool watched = dialog != nullptr && dialog->WatchdogActive();
    if (watched) {
        dialog->StopWatchdog();
    }
    std::unique_ptr<tls::CTlsChannel> channel;
    const CServerTrust::Outcome outcome = CServerTrust().Secure(
        client.Handle(), query.server.host, query.server.port, mode, deadline.Left(), channel);
    if (outcome == CServerTrust::Outcome::Secure) {
        client.AdoptTls(std::move(channel));
    }
    if ((dialog = CAuthProgressDlg::Global()) != nullptr && watched) {
        dialog->StartWatchdog();
    }
    deadline = Deadline(budgetOf(query));
    return outcome;
}

// Socket, connect (secured as the setting says) and exchange; false when any of them fails.
bool converse(const DiskInfoQuery& query, CFormMessage& reply, Deadline& deadline) {
    CTcpClient client;
    if (client.Create(kStreamSocket) != 0 ||
        !connectWithin(client, query.server, deadline.Left())) {
        return false;
    }
    const CSecuritySetting::Mode mode = CSecuritySetting::Stored();
    if (mode != CSecuritySetting::Mode::Off) {
        switch (secure(client, query, mode, deadline)) {
        case CServerTrust::Outcome::Secure:
            break;
        case CServerTrust::Outcome::FallBack:
            // The server spoke no TLS and closed or answered in its own bytes: a new, plain
            // connection.
            if (client.Create(kStreamSocket) != 0 ||
                !connectWithin(client, query.server, deadline.Left())) {
                return false;
            }
            break;
        case CServerTrust::Outcome::Refused:
            return false;
        }
    }
    CFormMessage request;
    request.SetValue(u"cmd", u"GetDiskInfo");
    request.SetValue(u"username", query.userName + query.domainSuffix);
    request.SetValue(u"serviceType", u"");
    if (!query.ticket.empty()) {
        request.SetValue(u"ticket", query.ticket);
    }
    int32_t left = deadline.Left();
    return left > 0 && Exchange(client, request, reply, true, true, left) == kExchangeOk;
}

void showRefusal(const CFormMessage& reply) {
    std::u16string message;
    std::u16string code;
    if (reply.GetValue(u"errmsg", message) && reply.GetValue(u"errorcode", code)) {
        CMessageBox::Show(QString::fromStdU16String(message + u"\n" + code), QString(),
                          MB_OK | MB_ICONWARNING);
        return;
    }
    CMessageBox::Show(kBadInform, QString(), MB_OK | MB_ICONWARNING);
}

// A record lacking any of the four fields leaves its entry empty, in its place.
void fillEntries(const CFormRecordTable& table, std::vector<DiskEntry>& disks) {
    for (size_t index = 0; index < disks.size(); ++index) {
        DiskEntry found;
        if (table.GetValue(index, u"diskid", found.diskId) &&
            table.GetValue(index, u"diskname", found.diskName) &&
            table.GetValue(index, u"serverip", found.serverAddress) &&
            table.GetValue(index, u"loginid", found.loginId)) {
            disks[index] = std::move(found);
        }
    }
}

} // namespace

bool QueryDiskInfo(const DiskInfoQuery& query, CDiskListOwner& owner, bool& loggedIn) {
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->BringForward();
    }
    diskStep(10);
    Deadline deadline(budgetOf(query));
    CFormMessage reply;
    std::u16string inform;
    if (!converse(query, reply, deadline) || !reply.GetValue(u"inform", inform)) {
        return false;
    }
    diskStep(30);
    if (inform != u"GetDiskInfo") {
        loggedIn = false;
        // The watchdog stops before the box: its event loop would let it fire and stack the
        // time-out box on a refusal the server did answer.
        stopWatchdog();
        showRefusal(reply);
    } else {
        CFormRecordTable table;
        if (!table.Load(reply, u"tavikinfofield", u"tavikinfo")) {
            return false;
        }
        std::vector<DiskEntry> disks(table.RecordCount());
        diskStep(40);
        fillEntries(table, disks);
        diskStep(80);
        owner.TakeDiskList(std::move(disks));
        loggedIn = true;
    }
    stopWatchdog();
    diskStep(100);
    return loggedIn;
}

} // namespace tavik::app
