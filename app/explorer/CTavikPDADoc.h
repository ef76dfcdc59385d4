// The explorer's document: the account's remote disks (the DiskEntry array of the last
// disk-information query) and the sessions opened on them. The explorer's panes build on it;
// for now it holds the list, hands it to whoever shows it, and closes the sessions at logout.
//
// Ownership: the document owns the array and every non-null session in it, and closes them
// (tavik_DestroySession) when the array is replaced or dropped and when it is destroyed.
// Threads: user-interface thread.
#pragma once

#include "app/login/DiskEntry.h"
#include "app/login/QueryDiskInfo.h"

#include <QObject>

#include <vector>

namespace tavik::app {

class CTavikPDADoc : public QObject, public CDiskListOwner {
    Q_OBJECT
public:
    explicit CTavikPDADoc(QObject* parent = nullptr);
    ~CTavikPDADoc() override;

    // Takes the array of a successful query, closing the sessions of the one it replaces.
    void TakeDiskList(std::vector<DiskEntry> disks) override;
    // Logout: closes every session and drops the array (count 0).
    void CloseAllSessions();

    int DiskCount() const { return static_cast<int>(disks_.size()); }
    const std::vector<DiskEntry>& Disks() const { return disks_; }

signals:
    // The array was replaced or dropped: the view shows the new list (or clears its pane).
    void diskListChanged();

private:
    void DestroySessions();

    std::vector<DiskEntry> disks_;
};

} // namespace tavik::app
