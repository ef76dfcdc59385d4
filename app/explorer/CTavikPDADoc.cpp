#include "app/explorer/CTavikPDADoc.h"

#include "app/explorer/SecureSession.h"

#include "app/settings/ProgramConstants.h"

#include "sdk/include/TavikSDK.h"

#include <QString>

#include <algorithm>

namespace tavik::app {

namespace {

// Opening a session logs in while the user-interface thread waits; the login's exchange is
// bounded here, and every later command by the document's command bound.
constexpr int kLoginTimeoutMs = 15000;

} // namespace

CTavikPDADoc::CTavikPDADoc(QObject* parent) : QObject(parent) {}

void CTavikPDADoc::SetWaits(int connectTimeoutMs, int commandTimeoutMs) {
    connectTimeoutMs_ = connectTimeoutMs;
    commandTimeoutMs_ = commandTimeoutMs;
}

CTavikPDADoc::~CTavikPDADoc() {
    DestroySessions();
}

void CTavikPDADoc::TakeDiskList(std::vector<DiskEntry> disks) {
    DestroySessions();
    disks_ = std::move(disks);
    currentIndex_ = -1;
    emit diskListChanged();
}

QString CTavikPDADoc::SessionPath() const {
    if (currentSession_ == nullptr) {
        return QString();
    }
    LPCWSTR path = tavik_GetSessionPath(currentSession_);
    return path ? QString::fromUtf16(path) : QString();
}

bool CTavikPDADoc::IsConnected(const QString& diskName) const {
    const std::u16string name = diskName.toStdU16String();
    return std::any_of(disks_.begin(), disks_.end(), [&name](const DiskEntry& entry) {
        return entry.diskName == name && entry.session != nullptr;
    });
}

bool CTavikPDADoc::ServerOf(const std::u16string& serverAddress, std::u16string& host, int& port) {
    const std::optional<HostPort> parsed = ParseHostPort(
        QString::fromStdU16String(serverAddress).toStdString(), ProgramConstants().diskServerPort);
    if (!parsed) {
        return false;
    }
    host = QString::fromStdString(parsed->host).toStdU16String();
    port = parsed->port;
    return true;
}

bool CTavikPDADoc::Connect(const QString& diskName) {
    if (disks_.empty()) {
        return false;
    }
    currentSession_ = nullptr; // cleared, not closed: the entry still owns it
    const std::u16string name = diskName.toStdU16String();
    auto entry = std::find_if(disks_.begin(), disks_.end(),
                              [&name](const DiskEntry& disk) { return disk.diskName == name; });
    if (entry == disks_.end()) {
        return false;
    }
    currentIndex_ = static_cast<int>(entry - disks_.begin());
    if (entry->session == nullptr) {
        std::u16string host;
        int port = 0;
        if (!ServerOf(entry->serverAddress, host, port)) {
            return false;
        }
        // The library keeps the connect bound for the reconnects of later commands too.
        tavik_SetConnectTimeout(connectTimeoutMs_);
        TAVIK_SESSION session = OpenSecureSession(host, port, entry->diskId, kLoginTimeoutMs,
                                                  CSecuritySetting::Stored(), CServerTrust());
        if (session == nullptr) {
            return false;
        }
        // Transfers measure it as time without progress, so long transfers are not cut short.
        tavik_SetSessionTimeout(session, commandTimeoutMs_);
        entry->session = session;
    }
    currentSession_ = entry->session;
    return true;
}

CTavikPDADoc::DisconnectResult CTavikPDADoc::Disconnect(const QString& diskName) {
    const std::u16string name = diskName.toStdU16String();
    for (DiskEntry& entry : disks_) {
        if (entry.diskName == name && entry.session != nullptr) {
            tavik_DestroySession(entry.session);
            entry.session = nullptr;
            currentSession_ = nullptr;
            return DisconnectResult::Disconnected;
        }
    }
    for (DiskEntry& entry : disks_) {
        if (entry.session == currentSession_) {
            if (currentSession_ != nullptr) {
                tavik_DestroySession(currentSession_);
            }
            entry.session = nullptr;
            currentSession_ = nullptr;
            return DisconnectResult::BackToDiskList;
        }
    }
    return DisconnectResult::Nothing;
}

void CTavikPDADoc::CloseAllSessions() {
    DestroySessions();
    disks_.clear();
    currentIndex_ = -1;
    emit disksDropped();
}

void CTavikPDADoc::DestroySessions() {
    // The current session is normally one of the entries' own; each handle is closed once.
    std::vector<TAVIK_SESSION> closed;
    auto close = [&closed](TAVIK_SESSION& session) {
        if (session != nullptr &&
            std::find(closed.begin(), closed.end(), session) == closed.end()) {
            tavik_DestroySession(session);
            closed.push_back(session);
        }
        session = nullptr;
    };
    for (DiskEntry& entry : disks_) {
        close(entry.session);
    }
    close(secondSession_);
    close(currentSession_);
}

} // namespace tavik::app
