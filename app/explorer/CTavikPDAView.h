// The explorer's one view: the remote pane (the account's disks, then one disk's folders) on
// top and the local pane (the device's own files under "My Device") below. Its controls, top to
// bottom: the banner, the remote PathBar (1013), the remote list (1002), the connect (1003) /
// disconnect (1007), upload (1004) and download (1005) buttons, a dashed separator, the local
// PathBar (1014) and the local list (1006).
//
// Commands reach it through OnCommand(id) (the frame's menus, tool bar and the lists' pop-ups);
// IsCommandEnabled answers the frame's update-UI questions, and commandStateChanged tells the
// frame to ask again. The path bars and sort buttons send their messages (0x07E9, 0x07EA,
// 0x07F4, 0x07F5) to the top-level window, which hands them to the view: the view watches that
// window's events for exactly these four numbers (windowProc handles them).
//
// Remote pane: empty → disk list (the disk list arrives) → browsing (a connect succeeds) → disk
// list (disconnect, the path bar's root, refresh in disk-list mode) → empty (logout).
// Local pane: always one folder of the device, rooted at the device root ("My Device").
// Commands of the active pane (refresh, delete, new folder, select all, rename) do nothing until
// a list has been tapped. Transfers run in CTransferFlow, new folder, rename and delete in
// CFileOperations. While a transfer runs inside its library call, every command but "모두 선택
// 하기" and every path-bar pick or double tap is ignored: they would use the session the transfer
// holds. The panes are locked then (LockPanes): the path bars take no input, and a pick that
// reaches a bar all the same is undone at once, so the bars always name the folders the lists
// show, which every path the view builds is taken from. The transfer messages (0x081A, 0x081B,
// 0x081C) reach windowProc from the frame.
// Every problem is shown through CMessageBox. While the login's progress dialog exists, a resize
// hides the view; it shows itself again when that dialog is gone.
// Threads: user-interface thread.
//
// Keyboard: a list that takes the focus (Tab, a tap) makes its pane the active one, as a tap
// does; the keys of the lists are those of ExplorerKeys, and Tab moves between the two lists.
#pragma once

#include "app/explorer/ExplorerIds.h"
#include "app/explorer/ListRow.h"

#include "sdk/include/TavikWindow.h"

#include <QStringList>
#include <QWidget>

#include <vector>

class QKeyEvent;
class QLabel;
class QMimeData;

namespace tavik::app {

class CFileOperations;
class CMainFrame;
class CTavikPDADoc;
class CTransferFlow;
class FileListCtrl;
class ImageButton;
class PathBar;

class CTavikPDAView : public QWidget, public CWindow {
    Q_OBJECT

public:
    enum class Pane { None = 0, Remote = 1, Local = 2 };

    CTavikPDAView(CTavikPDADoc& document, QWidget* parent);
    ~CTavikPDAView() override;

    // Takes the frame's central place and wires the frame's commands, its update-UI state and
    // the disk-information query to the view.
    void AttachToFrame(CMainFrame& frame);

    // The first update, once the frame shows the view: path bars, columns, clears the remote
    // pane, lists the device root, then emits diskInfoRequested (the frame runs the query).
    void OnInitialUpdate();

    // A command (ids in ExplorerIds.h); false when the view does not handle it.
    bool OnCommand(int id);
    bool IsCommandEnabled(int id) const;

    // CWindow: the four messages relayed by the frame and the three transfer messages; 0 for
    // others.
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Remote pane.
    void ShowDiskList();
    void ClearRemotePane();
    bool ConnectSelected();
    // Lists a remote folder (a path the library understands); false when the listing failed.
    bool ListRemoteFolder(const QString& folderPath);
    void OpenRemoteRow(int row);
    void DisconnectSelected();
    void OnRemoteTap(int row);
    // The remote folder the pane shows, by the remote path bar.
    QString CurrentRemoteFolder() const;

    // Local pane.
    void ListLocalFolder(const QString& devicePath);
    void OpenLocalRow(int row);
    // The device path the local pane shows.
    QString CurrentDevicePath() const;

    // A drop on a list (DropMapping.h): rows of the other pane are selected there and uploaded
    // or downloaded as by the buttons; files from the desktop are uploaded into the remote
    // folder shown or copied into the local one. Nothing while a transfer runs.
    void OnDrop(bool ontoRemote, const QMimeData& data);

    // While locked, the path bars take no input and a pick that arrives anyway is undone.
    void LockPanes(bool locked);

    // State, for the frame and the other explorer parts.
    bool DiskListMode() const { return diskListMode_; }
    Pane ActivePane() const { return activePane_; }
    void SetActivePane(Pane pane) { activePane_ = pane; }
    // Whether My Device lists dot files; setting it lists the local folder again.
    bool HiddenFilesShown() const { return hiddenFilesShown_; }
    void SetHiddenFilesShown(bool shown);
    int RemoteSortColumn() const { return remoteSortColumn_; }
    int LocalSortColumn() const { return localSortColumn_; }
    CTavikPDADoc& Document() { return document_; }
    CTransferFlow& Transfers() { return *transfers_; }
    CFileOperations& FileOperations() { return *fileOperations_; }
    FileListCtrl& RemoteList() { return *remoteList_; }
    FileListCtrl& LocalList() { return *localList_; }
    PathBar& RemoteBar() { return *remoteBar_; }
    PathBar& LocalBar() { return *localBar_; }
    ImageButton& ConnectButton() { return *connectButton_; }
    ImageButton& DisconnectButton() { return *disconnectButton_; }
    ImageButton& UploadButton() { return *uploadButton_; }
    ImageButton& DownloadButton() { return *downloadButton_; }

signals:
    // Step 7 of the initial update: the frame runs the disk-information query.
    void diskInfoRequested();
    // Something an update-UI rule reads has changed.
    void commandStateChanged();
    // The user showed or hid dot files (Ctrl+H or the menu's check item).
    void hiddenFilesShownChanged(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void ConnectSignals();
    void SetConnectShown(bool shown);
    void SetBrowsingButtons(bool browsing);
    void Refresh();
    void SelectAll();
    void Rename();
    void TestCount();
    void SortPane(FileListCtrl& list, int column, bool numeric);
    // The remote header's sort arrow: on the sorted column while that column is shown.
    void ShowSortIndicator(int column);
    void OnHeaderClicked(int column);
    // A key pressed in a list (ExplorerKeys); false when the list should have it.
    bool OnListKey(FileListCtrl& list, const QKeyEvent& key);
    void OnListFocused(FileListCtrl& list, Qt::FocusReason reason);
    void OpenCurrentRow(FileListCtrl& list);
    void GoUp(FileListCtrl& list);
    FileListCtrl* ActiveList();
    void ApplyColumnWidths();
    void RestoreLockedBar(PathBar& bar, const QStringList& components);
    // Hidden while the login's progress dialog exists, shown (and redrawn) otherwise.
    void ShowUnlessLoggingIn();

    CTavikPDADoc& document_;
    QLabel* banner_ = nullptr;
    PathBar* remoteBar_ = nullptr;
    FileListCtrl* remoteList_ = nullptr;
    ImageButton* connectButton_ = nullptr;
    ImageButton* disconnectButton_ = nullptr;
    ImageButton* uploadButton_ = nullptr;
    ImageButton* downloadButton_ = nullptr;
    PathBar* localBar_ = nullptr;
    FileListCtrl* localList_ = nullptr;
    QObject* relayWindow_ = nullptr;
    CTransferFlow* transfers_ = nullptr;
    CFileOperations* fileOperations_ = nullptr;

    bool panesLocked_ = false;
    QStringList lockedRemoteBar_;
    QStringList lockedLocalBar_;
    bool diskListMode_ = false;
    Pane activePane_ = Pane::None;
    int remoteSortColumn_ = 0;
    int localSortColumn_ = 0;
    bool hiddenFilesShown_ = false;
};

} // namespace tavik::app
