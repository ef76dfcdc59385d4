#include "app/explorer/CTavikPDAView.h"

#include "app/explorer/CFileOperations.h"
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTransferFlow.h"
#include "app/explorer/DropMapping.h"
#include "app/explorer/ExplorerKeys.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/ImageButton.h"
#include "app/explorer/LocalListing.h"
#include "app/explorer/LocalNames.h"
#include "app/explorer/PaneText.h"
#include "app/explorer/PathBar.h"
#include "app/explorer/PathButton.h"
#include "app/explorer/RemoteListing.h"
#include "app/explorer/TransferDialog.h"
#include "app/frame/CMainFrame.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/shell/CLanguage.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/CShellOpen.h"
#include "app/shell/CWaitCursor.h"
#include "app/socket/CWindowMessage.h"

#include "sdk/include/TavikSDK.h"

#include <QAction>
#include <QApplication>
#include <QFileIconProvider>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QResizeEvent>
#include <QVBoxLayout>

// Resources of a static library are registered by name, outside any namespace.
static void InitExplorerResources() {
    Q_INIT_RESOURCE(explorer);
    Q_INIT_RESOURCE(explorer_en);
}

namespace tavik::app {

namespace {

// The list's name column takes the view's width but for this many pixels.
constexpr int kNameColumnMargin = 85;
constexpr int kSizeColumnWidth = 75;

// The art of a name: the Korean pictures, or with English installed the English ones (drawn
// from SVG, since they are not shipped as pictures).
QString ArtPath(const QString& name) {
    if (CLanguage::Installed() == CLanguage::Language::English) {
        return QStringLiteral(":/explorer/en/%1.svg").arg(name);
    }
    return QStringLiteral(":/explorer/%1.png").arg(name);
}

ImageButton* MakeButton(const QString& name, const QString& art, QWidget* parent) {
    auto* button = new ImageButton(name, parent);
    button->LoadImages(ArtPath(art + QStringLiteral("_up")), ArtPath(art + QStringLiteral("_down")),
                       ArtPath(art + QStringLiteral("_disabled")));
    return button;
}

} // namespace

CTavikPDAView::CTavikPDAView(CTavikPDADoc& document, QWidget* parent)
    : QWidget(parent), document_(document) {
    InitExplorerResources();
    setAccessibleName(QStringLiteral("탐색기"));
    transfers_ = new CTransferFlow(*this);
    fileOperations_ = new CFileOperations(*this);
    BuildControls();
    ConnectSignals();
}

CTavikPDAView::~CTavikPDAView() {
    if (relayWindow_ != nullptr) {
        relayWindow_->removeEventFilter(this);
    }
}

void CTavikPDAView::BuildControls() {
    banner_ = new QLabel(this);
    banner_->setPixmap(QPixmap(ArtPath(QStringLiteral("banner"))));
    banner_->setAlignment(Qt::AlignCenter);
    banner_->setAccessibleName(QStringLiteral("TAVIK"));
    banner_->setStyleSheet(QStringLiteral("background-color: #1f3f8f;"));

    remoteBar_ = new PathBar(PathBar::Side::Remote, this);
    remoteList_ = new FileListCtrl(FileListCtrl::Variant::Remote, this);
    connectButton_ = MakeButton(QStringLiteral("연결"), QStringLiteral("connect"), this);
    disconnectButton_ = MakeButton(QStringLiteral("연결끊기"), QStringLiteral("disconnect"), this);
    uploadButton_ = MakeButton(QStringLiteral("업로드"), QStringLiteral("upload"), this);
    downloadButton_ = MakeButton(QStringLiteral("다운로드"), QStringLiteral("download"), this);
    disconnectButton_->hide();

    auto* separator = new QFrame(this);
    separator->setFixedHeight(2);
    // The palette's own mid tone, so the line stays visible on a dark theme too.
    separator->setStyleSheet(QStringLiteral("border-top: 1px dashed palette(mid);"));
    separator->setAccessibleName(QStringLiteral("구분선"));

    localBar_ = new PathBar(PathBar::Side::Local, this);
    localList_ = new FileListCtrl(FileListCtrl::Variant::Local, this);
    // The lists' keys and focus decide what the keyboard does and which pane is active.
    remoteList_->installEventFilter(this);
    localList_->installEventFilter(this);
    ShowSortIndicator(remoteSortColumn_);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(4, 2, 4, 2);
    buttons->addWidget(connectButton_);
    buttons->addWidget(disconnectButton_);
    buttons->addStretch(1);
    buttons->addWidget(uploadButton_);
    buttons->addWidget(downloadButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(banner_);
    layout->addWidget(remoteBar_);
    layout->addWidget(remoteList_, 1);
    layout->addLayout(buttons);
    layout->addWidget(separator);
    layout->addWidget(localBar_);
    layout->addWidget(localList_, 1);
}

void CTavikPDAView::ConnectSignals() {
    connect(remoteList_, &FileListCtrl::tapped, this, [this] { activePane_ = Pane::Remote; });
    connect(localList_, &FileListCtrl::tapped, this, [this] { activePane_ = Pane::Local; });
    connect(remoteList_, &FileListCtrl::clicked, this, [this](int row) {
        if (diskListMode_) {
            OnRemoteTap(row);
        }
        emit commandStateChanged();
    });
    connect(remoteList_, &FileListCtrl::doubleTapped, this, &CTavikPDAView::OpenRemoteRow);
    connect(localList_, &FileListCtrl::doubleTapped, this, &CTavikPDAView::OpenLocalRow);
    connect(remoteList_, &FileListCtrl::dropped, this,
            [this](const QMimeData* data) { OnDrop(true, *data); });
    connect(localList_, &FileListCtrl::dropped, this,
            [this](const QMimeData* data) { OnDrop(false, *data); });
    connect(remoteList_, &FileListCtrl::commandChosen, this, &CTavikPDAView::OnCommand);
    connect(localList_, &FileListCtrl::commandChosen, this, &CTavikPDAView::OnCommand);
    connect(remoteList_, &FileListCtrl::labelEdited, this, [this](int row, const QString& text) {
        if (!document_.SessionBusy()) {
            fileOperations_->OnLabelEdited(*remoteList_, row, text);
        }
    });
    connect(localList_, &FileListCtrl::labelEdited, this, [this](int row, const QString& text) {
        if (!document_.SessionBusy()) {
            fileOperations_->OnLabelEdited(*localList_, row, text);
        }
    });
    connect(remoteList_->header(), &QHeaderView::sectionClicked, this,
            &CTavikPDAView::OnHeaderClicked);
    connect(remoteList_, &QTreeWidget::itemSelectionChanged, this,
            &CTavikPDAView::commandStateChanged);
    // The disconnect button is greyed by the same rule as the menu's "연결끊기".
    connect(this, &CTavikPDAView::commandStateChanged, this,
            [this] { disconnectButton_->setEnabled(IsCommandEnabled(ID_DISCONNECT)); });
    connect(connectButton_, &QAbstractButton::clicked, this, [this] { OnCommand(ID_CONNECT); });
    connect(disconnectButton_, &QAbstractButton::clicked, this,
            [this] { OnCommand(ID_DISCONNECT); });
    connect(uploadButton_, &QAbstractButton::clicked, this, [this] { OnCommand(ID_UPLOAD); });
    connect(downloadButton_, &QAbstractButton::clicked, this, [this] { OnCommand(ID_DOWNLOAD); });
    connect(&document_, &CTavikPDADoc::disksDropped, this, &CTavikPDAView::ClearRemotePane);
    connect(&document_, &CTavikPDADoc::diskListChanged, this, [this] {
        remoteBar_->pathButton().ResetTo(kRemoteRootComponent);
        ShowDiskList();
    });
}

void CTavikPDAView::AttachToFrame(CMainFrame& frame) {
    frame.setCentralWidget(this);
    connect(this, &CTavikPDAView::diskInfoRequested, &frame, [&frame] { frame.QueryDiskInfo(); });
    connect(&frame, &CMainFrame::viewCommand, this, &CTavikPDAView::OnCommand);
    transfers_->SetNotifyWindow(&frame, &frame);
    connect(transfers_, &CTransferFlow::downloadFolderChosen, &frame,
            [&frame](const QString& folder) { frame.SetDownloadPath(folder.toStdU16String()); });
    connect(transfers_, &CTransferFlow::openDownloadFolderRequested, &frame,
            [&frame] { frame.SendCommand(ID_OPEN_DOWNLOAD_FOLDER); });
    // The stored choice, before anything is listed; later changes are stored by the frame.
    hiddenFilesShown_ = frame.HiddenFilesShown();
    connect(this, &CTavikPDAView::hiddenFilesShownChanged, &frame,
            [&frame](bool shown) { frame.SetHiddenFilesShown(shown); });
    connect(this, &CTavikPDAView::commandStateChanged, &frame, [this, &frame] {
        for (int id : {ID_UPLOAD, ID_DOWNLOAD, ID_DISCONNECT}) {
            if (QAction* action = frame.Action(id)) {
                action->setEnabled(IsCommandEnabled(id));
            }
        }
    });
    emit commandStateChanged();
}

void CTavikPDAView::OnInitialUpdate() {
    // The frame hands the path bars' and sort buttons' messages on to the view.
    QObject* frame = window();
    if (frame != this && relayWindow_ == nullptr) {
        relayWindow_ = frame;
        relayWindow_->installEventFilter(this);
    }
    remoteBar_->SetNotifyWindow(frame);
    localBar_->SetNotifyWindow(frame);
    remoteBar_->pathButton().ResetTo(QStringLiteral("디스크를 선택하세요"));
    localBar_->pathButton().ResetTo(kLocalRootComponent);
    ApplyColumnWidths();
    ClearRemotePane();
    ListLocalFolder(QString());
    emit diskInfoRequested();
    update();
    show();
}

// ---- commands ----

bool CTavikPDAView::OnCommand(int id) {
    // The transfer inside its library call holds the session; only the selection may change.
    if (document_.SessionBusy() && id != ID_SELECT_ALL) {
        return true;
    }
    switch (id) {
    case ID_UPLOAD:
        transfers_->Upload();
        return true;
    case ID_DOWNLOAD:
        transfers_->Download();
        return true;
    case ID_NEW_FOLDER:
        fileOperations_->NewFolder();
        return true;
    case ID_DELETE:
        fileOperations_->Delete();
        return true;
    case ID_REFRESH:
        Refresh();
        return true;
    case ID_SELECT_ALL:
        SelectAll();
        return true;
    case ID_RENAME:
        Rename();
        return true;
    case ID_CONNECT:
        ConnectSelected();
        return true;
    case ID_DISCONNECT:
        DisconnectSelected();
        return true;
    case ID_TEST_COUNT:
        TestCount();
        return true;
    case ID_SHOW_HIDDEN_FILES:
        SetHiddenFilesShown(!hiddenFilesShown_);
        return true;
    default:
        return false;
    }
}

bool CTavikPDAView::IsCommandEnabled(int id) const {
    switch (id) {
    case ID_DOWNLOAD:
        return downloadButton_->isEnabled();
    case ID_UPLOAD:
        return uploadButton_->isEnabled();
    case ID_DISCONNECT: {
        // Outside the disk list only a browsed disk can be disconnected: the empty pane (before
        // the disk list, after logout) has nothing to disconnect.
        if (!diskListMode_) {
            return document_.CurrentSession() != nullptr;
        }
        const int row = remoteList_->FirstSelectedRow();
        return row >= 0 && remoteList_->Text(row, kColumnSize) == kConnectedText;
    }
    default:
        return true;
    }
}

FileListCtrl* CTavikPDAView::ActiveList() {
    switch (activePane_) {
    case Pane::Remote:
        return remoteList_;
    case Pane::Local:
        return localList_;
    default:
        return nullptr;
    }
}

void CTavikPDAView::Refresh() {
    if (activePane_ == Pane::Remote) {
        if (diskListMode_) {
            ShowDiskList();
        } else {
            ListRemoteFolder(CurrentRemoteFolder());
        }
    } else if (activePane_ == Pane::Local) {
        ListLocalFolder(CurrentDevicePath());
    }
}

void CTavikPDAView::SelectAll() {
    if (FileListCtrl* list = ActiveList()) {
        list->SelectAllRows();
    }
}

void CTavikPDAView::Rename() {
    FileListCtrl* list = ActiveList();
    // In the remote pane only a browsed disk's entries can be renamed.
    if (list == nullptr || (list == remoteList_ && !downloadButton_->isEnabled())) {
        return;
    }
    list->StartLabelEdit();
}

void CTavikPDAView::TestCount() {
    TAVIK_SESSION session = document_.CurrentSession();
    if (session == nullptr) {
        return;
    }
    const std::u16string path =
        (document_.SessionPath() + QStringLiteral("/1234")).toStdU16String();
    int count = 0;
    TAVIK_FILEINFO_LIST* list =
        tavik_OpenFileInfo(path.c_str(), kInfoTypeFiles, -1, &count, session);
    CMessageBox::Show(QString::number(list ? count : -1), QString(), MB_OK, this);
    if (list != nullptr) {
        tavik_CloseFileInfo(list);
    }
}

// ---- remote pane ----

void CTavikPDAView::SetConnectShown(bool shown) {
    connectButton_->setVisible(shown);
    disconnectButton_->setVisible(!shown);
}

void CTavikPDAView::SetBrowsingButtons(bool browsing) {
    downloadButton_->setEnabled(browsing);
    uploadButton_->setEnabled(browsing);
}

void CTavikPDAView::ClearRemotePane() {
    remoteList_->clear();
    remoteBar_->pathButton().ResetTo(kRemoteRootComponent);
    // The empty pane looks as before the first disk list: connect shown, and greyed.
    SetConnectShown(true);
    connectButton_->setEnabled(false);
    SetBrowsingButtons(false);
    diskListMode_ = false;
    remoteList_->SetDiskListMode(false);
    remoteList_->SetFolderListed(false);
    emit commandStateChanged();
}

void CTavikPDAView::ShowDiskList() {
    diskListMode_ = true;
    remoteList_->SetDiskListMode(true);
    std::vector<ListRow> rows;
    const QIcon diskIcon = QFileIconProvider().icon(QAbstractFileIconProvider::Drive);
    for (const DiskEntry& entry : document_.Disks()) {
        ListRow row;
        row.columns[kColumnName] = QString::fromStdU16String(entry.diskName);
        row.columns[kColumnSize] = entry.session ? kConnectedText : kDisconnectedText;
        row.icon = diskIcon;
        rows.push_back(std::move(row));
    }
    remoteList_->SetRows(std::move(rows));
    connectButton_->setEnabled(false);
    SetBrowsingButtons(false);
    SetConnectShown(true);
    remoteList_->SetFolderListed(false);
    emit commandStateChanged();
}

void CTavikPDAView::OnRemoteTap(int row) {
    if (row < 0) {
        connectButton_->setEnabled(false);
    } else if (remoteList_->Text(row, kColumnSize) == kConnectedText) {
        connectButton_->setEnabled(false);
        SetConnectShown(false);
    } else {
        connectButton_->setEnabled(true);
        SetConnectShown(true);
    }
    emit commandStateChanged();
}

bool CTavikPDAView::ConnectSelected() {
    const std::vector<int> selected = remoteList_->SelectedRows();
    if (selected.empty()) {
        return false;
    }
    if (selected.size() > 1) {
        CMessageBox::Show(QStringLiteral("하나의 클럽을 선택 후 연결해주십시오!"), QString(), MB_OK,
                          this);
        return false;
    }
    const QString diskName = remoteList_->Text(selected.front(), kColumnName);
    {
        CWaitCursor wait;
        if (!document_.Connect(diskName)) {
            return false;
        }
    }
    ListRemoteFolder(document_.SessionPath());
    remoteList_->setFocus();
    connectButton_->setEnabled(false);
    SetBrowsingButtons(true);
    remoteBar_->pathButton().AppendComponent(diskName);
    diskListMode_ = false;
    remoteList_->SetDiskListMode(false);
    SetConnectShown(false);
    emit commandStateChanged();
    return true;
}

QString CTavikPDAView::CurrentRemoteFolder() const {
    return RemoteFolderPath(document_.SessionPath(), StripArrow(remoteBar_->pathButton().Path()));
}

bool CTavikPDAView::ListRemoteFolder(const QString& folderPath) {
    CWaitCursor wait;
    remoteList_->clear();
    TAVIK_SESSION session = document_.CurrentSession();
    if (session == nullptr) {
        return false;
    }
    RemoteListing listing = app::ListRemoteFolder(session, folderPath);
    if (!listing.ok) {
        CMessageBox::Show(QStringLiteral("%1(%2)").arg(listing.errorText).arg(listing.errorCode),
                          QString(), MB_OK, this);
        return false;
    }
    remoteList_->SetSortedRows(std::move(listing.rows), remoteSortColumn_,
                               remoteSortColumn_ == kColumnSize);
    remoteList_->SetFolderListed(true);
    return true;
}

void CTavikPDAView::OpenRemoteRow(int row) {
    if (row < 0 || document_.SessionBusy()) {
        return;
    }
    const QString kind = remoteList_->Text(row, kColumnSize);
    if (kind == kFolderSizeText) {
        diskListMode_ = false;
        remoteList_->SetDiskListMode(false);
        const QString barPath =
            remoteBar_->pathButton().AppendComponent(remoteList_->Text(row, kColumnName));
        ListRemoteFolder(RemoteFolderPath(document_.SessionPath(), StripArrow(barPath)));
        connectButton_->hide();
    } else if (kind == kConnectedText || kind == kDisconnectedText) {
        remoteList_->ClearSelectedRows();
        remoteList_->SelectRow(row, true);
        // Connecting leaves disk-list mode only when it succeeds; a failed connect keeps the
        // disk rows' own menus and rules.
        ConnectSelected();
    }
}

void CTavikPDAView::DisconnectSelected() {
    if (CMessageBox::Show(QStringLiteral("현재 선택되어 있는 TAVIK의 연결을 끊으시겠습니까?"),
                          QString(), MB_OKCANCEL | MB_ICONQUESTION, this) != IDOK) {
        return;
    }
    const std::vector<int> selected = remoteList_->SelectedRows();
    if (selected.size() > 1) {
        CMessageBox::Show(QStringLiteral("하나의 TAVIK를 선택 후 연결을 끊어주십시오"), QString(),
                          MB_OK, this);
        return;
    }
    // While a disk is browsed the rows are its files, not disks: a folder that happens to bear
    // another disk's name must not disconnect that disk; the browsed disk is meant.
    const int row = selected.empty() ? -1 : selected.front();
    const QString diskName =
        (diskListMode_ && row >= 0) ? remoteList_->Text(row, kColumnName) : QString();
    switch (document_.Disconnect(diskName)) {
    case CTavikPDADoc::DisconnectResult::Disconnected:
        remoteList_->SetText(row, kColumnSize, kDisconnectedText);
        OnRemoteTap(row);
        break;
    case CTavikPDADoc::DisconnectResult::BackToDiskList:
        remoteBar_->pathButton().ResetTo(kRemoteRootComponent);
        ShowDiskList();
        break;
    case CTavikPDADoc::DisconnectResult::Nothing:
        break;
    }
    emit commandStateChanged();
}

// ---- local pane ----

QString CTavikPDAView::CurrentDevicePath() const {
    return DevicePathOfLocalBar(localBar_->pathButton().Path());
}

void CTavikPDAView::LockPanes(bool locked) {
    panesLocked_ = locked;
    if (locked) {
        lockedRemoteBar_ = remoteBar_->pathButton().Components();
        lockedLocalBar_ = localBar_->pathButton().Components();
    }
    remoteBar_->setEnabled(!locked);
    localBar_->setEnabled(!locked);
}

void CTavikPDAView::RestoreLockedBar(PathBar& bar, const QStringList& components) {
    PathButton& button = bar.pathButton();
    if (components.isEmpty() || button.Components() == components) {
        return;
    }
    button.ResetTo(components.front());
    for (qsizetype i = 1; i < components.size(); ++i) {
        button.AppendComponent(components[i]);
    }
}

void CTavikPDAView::ListLocalFolder(const QString& devicePath) {
    CWaitCursor wait;
    localList_->SetSortedRows(app::ListLocalFolder(devicePath, hiddenFilesShown_), localSortColumn_,
                              localSortColumn_ == kColumnSize);
}

void CTavikPDAView::OpenLocalRow(int row) {
    if (row < 0 || document_.SessionBusy()) {
        return;
    }
    const QString name = localList_->Text(row, kColumnName);
    // A name holding a separator would open another entry than the row's.
    const std::optional<QString> path = EntryInFolder(CurrentDevicePath(), name);
    if (!path) {
        CMessageBox::Show(UnusableNameText(name), QString(), MB_OK | MB_ICONERROR, this);
        return;
    }
    if (localList_->Text(row, kColumnSize) == kFolderSizeText) {
        ListLocalFolder(DevicePathOfLocalBar(localBar_->pathButton().AppendComponent(name)));
        return;
    }
    // A failed open is not reported, as on the handheld.
    CShellOpen::Open(*path);
}

void CTavikPDAView::SetHiddenFilesShown(bool shown) {
    if (shown == hiddenFilesShown_) {
        return;
    }
    hiddenFilesShown_ = shown;
    ListLocalFolder(CurrentDevicePath());
    emit hiddenFilesShownChanged(shown);
}

// ---- sorting and messages ----

void CTavikPDAView::SortPane(FileListCtrl& list, int column, bool numeric) {
    list.SortRows(column, numeric);
    if (&list == remoteList_) {
        ShowSortIndicator(column);
    }
}

void CTavikPDAView::ShowSortIndicator(int column) {
    QHeaderView* header = remoteList_->header();
    const bool shown = !remoteList_->isColumnHidden(column);
    header->setSortIndicatorShown(shown);
    if (shown) {
        header->setSortIndicator(column, Qt::AscendingOrder);
    }
}

void CTavikPDAView::OnHeaderClicked(int column) {
    // The header sorts exactly as the sort button's key of that column, through the button, so
    // the button names what the list is sorted by.
    const int key = column == kColumnSize ? ID_SORT_SIZE : ID_SORT_NAME;
    if (column == kColumnName || column == kColumnSize) {
        remoteBar_->sortButton().Choose(key);
    }
    ShowSortIndicator(remoteSortColumn_);
}

// ---- keyboard ----

bool CTavikPDAView::OnListKey(FileListCtrl& list, const QKeyEvent& key) {
    // While a name is being edited its editor has the keys.
    if (list.EditedRow() >= 0) {
        return false;
    }
    const KeyBinding binding = ExplorerKeyBinding(key.key(), key.modifiers());
    switch (binding.action) {
    case KeyAction::None:
        return false;
    case KeyAction::Open:
        OpenCurrentRow(list);
        return true;
    case KeyAction::Up:
        GoUp(list);
        return true;
    case KeyAction::Command:
        activePane_ = &list == remoteList_ ? Pane::Remote : Pane::Local;
        OnCommand(binding.command);
        return true;
    case KeyAction::ToggleHiddenFiles:
        SetHiddenFilesShown(!hiddenFilesShown_);
        return true;
    case KeyAction::CancelTransfer:
        if (TransferDialog* dialog = transfers_->Dialog();
            dialog != nullptr && dialog->isVisible()) {
            // The dialog's own close: it asks the cancel question while the transfer runs.
            dialog->reject();
            return true;
        }
        return false;
    case KeyAction::RowMenu:
        list.OpenPopupFromKeyboard();
        return true;
    case KeyAction::OtherPane:
        (&list == remoteList_ ? localList_ : remoteList_)->setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

void CTavikPDAView::OnListFocused(FileListCtrl& list, Qt::FocusReason reason) {
    // Focus coming back with the window or from a closed menu does not move the user.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
        return;
    }
    activePane_ = &list == remoteList_ ? Pane::Remote : Pane::Local;
    // The focus shows on the current row: a list without one gets its first row.
    if (list.currentItem() == nullptr && list.RowCount() > 0) {
        list.setCurrentItem(list.topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    }
}

void CTavikPDAView::OpenCurrentRow(FileListCtrl& list) {
    QTreeWidgetItem* current = list.currentItem();
    int row = current != nullptr && current->isSelected() ? list.indexOfTopLevelItem(current) : -1;
    if (row < 0) {
        row = list.FirstSelectedRow();
    }
    if (&list == remoteList_) {
        OpenRemoteRow(row);
    } else {
        OpenLocalRow(row);
    }
}

void CTavikPDAView::GoUp(FileListCtrl& list) {
    // As a pick of the path bar's parent component (a disk's root goes back to the disk list).
    PathButton& button = (&list == remoteList_ ? remoteBar_ : localBar_)->pathButton();
    const auto count = button.Components().size();
    if (count > 1 && !panesLocked_ && !document_.SessionBusy()) {
        button.Choose(static_cast<int>(count) - 2);
    }
}

LRESULT CTavikPDAView::windowProc(UINT msg, WPARAM, LPARAM lParam) {
    switch (msg) {
    case WM_UPLOAD_PROGRESS:
    case WM_DOWNLOAD_PROGRESS:
        return transfers_->OnProgress(reinterpret_cast<const TAVIK_PROGRESS*>(lParam));
    case WM_UPLOAD_PROGRESS64:
    case WM_DOWNLOAD_PROGRESS64:
        return transfers_->OnProgress64(reinterpret_cast<const TAVIK_PROGRESS64*>(lParam));
    case WM_TRANSFER_DIALOG_GONE:
        transfers_->OnDialogGone(reinterpret_cast<TransferDialog*>(lParam));
        return 0;
    default:
        break;
    }
    // A pick in a path bar lists a folder, which would use the session a transfer holds. The
    // bar has cut its path already: it goes back to the folder its list still shows.
    if (msg == WM_LOCAL_PATH_CHOSEN && (panesLocked_ || document_.SessionBusy())) {
        RestoreLockedBar(*localBar_, lockedLocalBar_);
        return 0;
    }
    if (msg == WM_REMOTE_PATH_CHOSEN && (panesLocked_ || document_.SessionBusy())) {
        RestoreLockedBar(*remoteBar_, lockedRemoteBar_);
        return 0;
    }
    switch (msg) {
    case WM_LOCAL_PATH_CHOSEN:
        ListLocalFolder(DevicePathOfLocalBar(*reinterpret_cast<const QString*>(lParam)));
        return 0;
    case WM_REMOTE_PATH_CHOSEN: {
        const QString path = StripArrow(*reinterpret_cast<const QString*>(lParam));
        if (path == QLatin1Char('/') + kRemoteRootComponent) {
            ShowDiskList();
        } else {
            ListRemoteFolder(RemoteFolderPath(document_.SessionPath(), path));
        }
        return 0;
    }
    case WM_LOCAL_SORT: {
        const auto* request = reinterpret_cast<const SortRequest*>(lParam);
        localSortColumn_ = request->column;
        SortPane(*localList_, request->column, request->numeric != 0);
        return 0;
    }
    case WM_REMOTE_SORT: {
        const auto* request = reinterpret_cast<const SortRequest*>(lParam);
        remoteSortColumn_ = request->column;
        SortPane(*remoteList_, request->column, request->numeric != 0);
        return 0;
    }
    default:
        return 0;
    }
}

namespace {

bool IsRelayedMessage(QEvent::Type type) {
    const auto number = static_cast<UINT>(type);
    return number == WM_LOCAL_PATH_CHOSEN || number == WM_LOCAL_SORT ||
           number == WM_REMOTE_PATH_CHOSEN || number == WM_REMOTE_SORT;
}

} // namespace

bool CTavikPDAView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == remoteList_ || watched == localList_) {
        auto& list = *static_cast<FileListCtrl*>(watched);
        if (event->type() == QEvent::KeyPress) {
            return OnListKey(list, *static_cast<QKeyEvent*>(event));
        }
        if (event->type() == QEvent::FocusIn) {
            OnListFocused(list, static_cast<QFocusEvent*>(event)->reason());
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched == relayWindow_ && IsRelayedMessage(event->type()) &&
        CWindowMessage::Dispatch(event, *this)) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool CTavikPDAView::event(QEvent* event) {
    if (IsRelayedMessage(event->type()) && CWindowMessage::Dispatch(event, *this)) {
        return true;
    }
    return QWidget::event(event);
}

void CTavikPDAView::ApplyColumnWidths() {
    const int nameWidth = std::max(0, width() - kNameColumnMargin);
    for (FileListCtrl* list : {remoteList_, localList_}) {
        list->setColumnWidth(kColumnName, nameWidth);
        list->setColumnWidth(kColumnSize, kSizeColumnWidth);
    }
}

void CTavikPDAView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyColumnWidths();
    ShowUnlessLoggingIn();
}

void CTavikPDAView::ShowUnlessLoggingIn() {
    // While the login's progress dialog is up the panes would show a state that is about to be
    // replaced; the view comes back when the dialog goes.
    if (CAuthProgressDlg* progress = CAuthProgressDlg::Global()) {
        // Queued: while the dialog is being deleted it may still be the global one.
        connect(progress, &QObject::destroyed, this, &CTavikPDAView::ShowUnlessLoggingIn,
                static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
        hide();
        return;
    }
    update();
    show();
}

void CTavikPDAView::OnDrop(bool ontoRemote, const QMimeData& data) {
    if (document_.SessionBusy()) {
        return;
    }
    // The download button is enabled exactly while a disk's folder is shown.
    const bool folderShown = downloadButton_->isEnabled() && document_.CurrentSession() != nullptr;
    const DropAction action = MapDrop(data, ontoRemote, folderShown);
    switch (action.kind) {
    case DropAction::Kind::None:
        return;
    case DropAction::Kind::Upload:
    case DropAction::Kind::Download: {
        const bool upload = action.kind == DropAction::Kind::Upload;
        FileListCtrl& source = upload ? *localList_ : *remoteList_;
        source.ClearSelectedRows();
        for (const QString& name : action.names) {
            if (const int row = source.FindRow(name); row >= 0) {
                source.SelectRow(row, true);
            }
        }
        OnCommand(upload ? ID_UPLOAD : ID_DOWNLOAD);
        return;
    }
    case DropAction::Kind::UploadFromDesktop:
        transfers_->UploadFromHost(action.hostPaths);
        return;
    case DropAction::Kind::CopyFromDesktop:
        transfers_->CopyFromHost(action.hostPaths);
        return;
    }
}

} // namespace tavik::app
