// What the explorer knows about the account's remote disks: the DiskEntry array (in the order
// the disk-information reply gave it), the index of the disk last connected or re-entered, and
// the session of the disk being browsed. The document owns the array and every session in it.
//
// Sessions: connecting a disk opens one session (tavik_CreateSession with the entry's server,
// port 9553 unless the server address names one as "host:port", the disk id as user, no
// password; secured as the "보안 연결" setting says, SecureSession.h) and stores it in the entry;
// connecting again reuses it. Sessions stay open while the pane returns to the disk list;
// Disconnect, Logout and the document's end close them.
//
// Waits: the library calls block the window, so none may wait for ever. Making a session's
// connection (at opening and at each reconnect of a command) waits at most kConnectTimeoutMs,
// each command's request and reply at most kCommandTimeoutMs; a transfer fails only after that
// long without progress. A wait that runs out fails the call with the library's error.
// Threads: user-interface thread (the library calls block it while they run).
#pragma once

#include "app/login/DiskEntry.h"
#include "app/login/QueryDiskInfo.h"

#include <QObject>
#include <QString>

#include <vector>

namespace tavik::app {

class CTavikPDADoc : public QObject, public CDiskListOwner {
    Q_OBJECT

public:
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kCommandTimeoutMs = 30000;

    explicit CTavikPDADoc(QObject* parent = nullptr);
    ~CTavikPDADoc() override;
    CTavikPDADoc(const CTavikPDADoc&) = delete;
    CTavikPDADoc& operator=(const CTavikPDADoc&) = delete;

    // The two bounds of sessions opened from now on (tests shorten them).
    void SetWaits(int connectTimeoutMs, int commandTimeoutMs);

    // CDiskListOwner: replaces the array (closing the sessions of the one it replaces, which
    // nothing could reach any more) and emits diskListChanged.
    void TakeDiskList(std::vector<DiskEntry> disks) override;

    const std::vector<DiskEntry>& Disks() const { return disks_; }
    int DiskCount() const { return static_cast<int>(disks_.size()); }
    int CurrentIndex() const { return currentIndex_; }
    TAVIK_SESSION CurrentSession() const { return currentSession_; }
    // The remote root of the current session (tavik_GetSessionPath); empty without one.
    QString SessionPath() const;
    // Whether a transfer is running inside a library call on the current session: commands that
    // would use or close a session wait until it returns.
    bool SessionBusy() const { return sessionBusy_; }
    void SetSessionBusy(bool busy) { sessionBusy_ = busy; }
    // Whether the named disk has a session.
    bool IsConnected(const QString& diskName) const;

    // Makes the named disk's session current, opening it when the entry has none. False when
    // there are no disks, no entry has the name, or the session cannot be opened (the current
    // session is then null).
    bool Connect(const QString& diskName);

    enum class DisconnectResult {
        Disconnected,   // the named disk's session was closed
        BackToDiskList, // the browsed disk's session was closed instead: show the disk list
        Nothing,        // no entry matched
    };
    // Closes the named disk's session when it has one; otherwise closes the current session
    // when some entry holds it (a null current session matches every disconnected entry).
    DisconnectResult Disconnect(const QString& diskName);

    // Logout: closes every session, drops the array (count 0) and emits disksDropped.
    void CloseAllSessions();

    // How a disk's server address becomes host and port ("host" or "host:port", the port
    // defaulting to the disk servers' 9553). False for an empty or malformed address.
    static bool ServerOf(const std::u16string& serverAddress, std::u16string& host, int& port);

signals:
    // A new array arrived: the view shows it as the disk list.
    void diskListChanged();
    // The array was dropped at logout: the view empties its remote pane.
    void disksDropped();

private:
    void DestroySessions();

    std::vector<DiskEntry> disks_;
    int currentIndex_ = -1;
    TAVIK_SESSION currentSession_ = nullptr;
    // A second slot the explorer never fills; closed at the end when set.
    TAVIK_SESSION secondSession_ = nullptr;
    bool sessionBusy_ = false;
    int connectTimeoutMs_ = kConnectTimeoutMs;
    int commandTimeoutMs_ = kCommandTimeoutMs;
};

} // namespace tavik::app
