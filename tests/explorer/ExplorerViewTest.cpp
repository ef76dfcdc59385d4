// The explorer's view and document against a reference disk server in the test process: the
// disk list, connecting (one session per disk), browsing and returning through the path bar,
// the two ways of disconnecting, the update-UI rules, the active pane, and the local pane on a
// device root of its own.
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/ImageButton.h"
#include "app/explorer/PathBar.h"
#include "app/explorer/PathButton.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/CShellOpen.h"
#include "tests/explorer/ExplorerTestSupport.h"
#include "tests/platform_files/DeviceRoot.h"
#include "tests/server/CServerHarness.h"

#include <QApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/time.h>

namespace tavik::app {
namespace {

namespace fs = std::filesystem;

const QString kDisk = QStringLiteral("내 디스크");
const QString kOtherDisk = QStringLiteral("두번째");

void WriteFile(const fs::path& path, size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

// Sets a file's modification time to a local date and time.
void SetLocalTime(const fs::path& path, int hour, int minute) {
    const QDateTime local(QDate(2024, 5, 17), QTime(hour, minute));
    struct timeval times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(local.toSecsSinceEpoch());
    times[0].tv_usec = times[1].tv_usec = 0;
    ::utimes(path.c_str(), times);
}

QStringList Column(FileListCtrl& list, int column) {
    QStringList texts;
    for (int i = 0; i < list.RowCount(); ++i) {
        texts << list.Text(i, column);
    }
    return texts;
}

class ExplorerViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        view = new CTavikPDAView(document, &frame);
        frame.setCentralWidget(view);
        frame.resize(480, 800);
        frame.show();
        view->OnInitialUpdate();
    }

    void GiveDisks() {
        const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
        std::vector<DiskEntry> disks;
        for (const QString& name : {kDisk, kOtherDisk}) {
            DiskEntry entry;
            entry.loginId = u"demo@tavik.local";
            entry.diskId = u"demo";
            entry.diskName = name.toStdU16String();
            entry.serverAddress = address.toStdU16String();
            disks.push_back(entry);
        }
        document.TakeDiskList(std::move(disks));
    }

    // Selects exactly the disk row and connects through the command.
    void ConnectTo(const QString& disk) {
        FileListCtrl& list = view->RemoteList();
        list.ClearSelectedRows();
        list.SelectRow(list.FindRow(disk), true);
        view->OnCommand(ID_CONNECT);
    }
    // Picks a component of the remote path bar as the user would.
    void PickRemote(int component) {
        MenuAnswerer menus(kRemotePathMenuBase + component);
        QTest::mouseClick(&view->RemoteBar().pathButton(), Qt::LeftButton);
    }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const MessageBoxRequest& box : boxes.Boxes()) {
            texts << box.text;
        }
        return texts;
    }

    test::DeviceRoot device;
    test::CServerHarness server;
    int answer = IDOK;
    CMessageBox::Recorder boxes{[this](const MessageBoxRequest&) { return answer; }};
    CTavikPDADoc document;
    QMainWindow frame;
    CTavikPDAView* view = nullptr;
};

TEST_F(ExplorerViewTest, InitialUpdateLaysOutBothPanes) {
    EXPECT_EQ(view->RemoteBar().pathButton().Path(), QStringLiteral("/전체 TAVIK 보기"));
    EXPECT_EQ(view->LocalBar().pathButton().Path(), QStringLiteral("\\My Device"));
    EXPECT_FALSE(view->DiskListMode());
    EXPECT_EQ(view->ActivePane(), CTavikPDAView::Pane::None);
    EXPECT_FALSE(view->ConnectButton().isEnabled());
    EXPECT_FALSE(view->UploadButton().isEnabled());
    EXPECT_FALSE(view->DownloadButton().isEnabled());
    EXPECT_TRUE(view->RemoteList().isHeaderHidden() == false);
    EXPECT_TRUE(view->LocalList().isHeaderHidden());
    // "파일명" follows the view's width.
    EXPECT_EQ(view->RemoteList().columnWidth(kColumnName), view->width() - 85);
    frame.resize(600, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->LocalList().columnWidth(kColumnName), view->width() - 85);
    EXPECT_EQ(view->LocalList().columnWidth(kColumnSize), 75);
    // Every control is named for assistive tools.
    for (const QWidget* control : view->findChildren<QWidget*>()) {
        if (control->isVisible() && control->parentWidget() == view) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
        }
    }
    EXPECT_EQ(view->ConnectButton().accessibleName(), QStringLiteral("연결"));
    EXPECT_EQ(view->RemoteList().accessibleName(), QStringLiteral("원격 목록"));
    EXPECT_EQ(view->LocalBar().pathButton().accessibleName(), QStringLiteral("로컬 경로"));
}

TEST_F(ExplorerViewTest, PaneCommandsWaitForATapAndFollowTheActivePane) {
    WriteFile(device / "one.txt", 1);
    view->ListLocalFolder(QString());
    ASSERT_EQ(view->LocalList().RowCount(), 1);
    WriteFile(device / "two.txt", 2);
    for (int command : {ID_REFRESH, ID_SELECT_ALL, ID_RENAME, ID_DELETE, ID_NEW_FOLDER}) {
        view->OnCommand(command);
    }
    EXPECT_EQ(view->LocalList().RowCount(), 1);
    EXPECT_TRUE(view->LocalList().SelectedRows().empty());
    EXPECT_EQ(view->LocalList().EditedRow(), -1);

    // A stylus-down on the local list makes it the active pane.
    QTest::mousePress(view->LocalList().viewport(), Qt::LeftButton, {}, QPoint(5, 300));
    QTest::mouseRelease(view->LocalList().viewport(), Qt::LeftButton, {}, QPoint(5, 300));
    EXPECT_EQ(view->ActivePane(), CTavikPDAView::Pane::Local);
    view->OnCommand(ID_REFRESH);
    EXPECT_EQ(view->LocalList().RowCount(), 2);
    view->OnCommand(ID_SELECT_ALL);
    EXPECT_EQ(view->LocalList().SelectedRows().size(), 2u);
    view->OnCommand(ID_RENAME);
    EXPECT_EQ(view->LocalList().EditedRow(), 0);

    // The remote pane, not browsing, neither renames nor lists.
    GiveDisks();
    QTest::mousePress(view->RemoteList().viewport(), Qt::LeftButton, {}, QPoint(5, 200));
    EXPECT_EQ(view->ActivePane(), CTavikPDAView::Pane::Remote);
    view->RemoteList().SelectRow(0, true);
    view->OnCommand(ID_RENAME);
    EXPECT_EQ(view->RemoteList().EditedRow(), -1);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ExplorerViewTest, ConnectBrowseReturnAndDisconnectFromTheDiskList) {
    fs::create_directories(server.disk("docs/a"));
    WriteFile(server.disk("docs/note.txt"), 10);
    WriteFile(server.disk("top.bin"), 3);
    GiveDisks();
    ASSERT_TRUE(view->DiskListMode());
    EXPECT_EQ(Column(view->RemoteList(), kColumnName), (QStringList{kDisk, kOtherDisk}));
    EXPECT_EQ(Column(view->RemoteList(), kColumnSize), (QStringList{"끊김", "끊김"}));
    // "연결끊기" is greyed with no disk selected and on a "끊김" row.
    EXPECT_FALSE(view->IsCommandEnabled(ID_DISCONNECT));
    view->RemoteList().SelectRow(0, true);
    EXPECT_FALSE(view->IsCommandEnabled(ID_DISCONNECT));
    EXPECT_TRUE(view->IsCommandEnabled(ID_CONNECT));
    EXPECT_TRUE(view->IsCommandEnabled(ID_NEW_FOLDER));

    ConnectTo(kDisk);
    EXPECT_FALSE(view->DiskListMode());
    EXPECT_EQ(view->RemoteBar().pathButton().Path(), QStringLiteral("/전체 TAVIK 보기/") + kDisk);
    EXPECT_EQ(Column(view->RemoteList(), kColumnName), (QStringList{"docs", "top.bin"}));
    EXPECT_EQ(Column(view->RemoteList(), kColumnSize), (QStringList{"폴더", "3"}));
    EXPECT_TRUE(view->RemoteList().FolderListed());
    EXPECT_TRUE(view->DisconnectButton().isVisible());
    EXPECT_FALSE(view->ConnectButton().isVisible());
    EXPECT_TRUE(view->DownloadButton().isEnabled());
    EXPECT_TRUE(view->IsCommandEnabled(ID_DOWNLOAD));
    EXPECT_TRUE(view->IsCommandEnabled(ID_DISCONNECT));
    const TAVIK_SESSION session = document.CurrentSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(document.CurrentIndex(), 0);

    // Into a folder by a double tap, and back to the disk list through the path bar's root.
    view->OpenRemoteRow(view->RemoteList().FindRow(QStringLiteral("docs")));
    EXPECT_EQ(view->CurrentRemoteFolder(), document.SessionPath() + QStringLiteral("/docs"));
    EXPECT_EQ(Column(view->RemoteList(), kColumnName), (QStringList{"a", "note.txt"}));
    PickRemote(0);
    EXPECT_TRUE(view->DiskListMode());
    EXPECT_EQ(Column(view->RemoteList(), kColumnSize), (QStringList{"연결됨", "끊김"}));

    // Connecting again (a double tap on the disk row) reuses the session.
    view->OpenRemoteRow(0);
    EXPECT_EQ(document.CurrentSession(), session);
    EXPECT_EQ(server.server().stats().connections.load(), 1);
    EXPECT_EQ(Column(view->RemoteList(), kColumnName), (QStringList{"docs", "top.bin"}));
    PickRemote(0);

    // A tap on the connected row swaps the buttons; "연결끊기" closes it without re-listing.
    view->RemoteList().ClearSelectedRows();
    view->RemoteList().SelectRow(0, true);
    view->OnRemoteTap(0);
    EXPECT_TRUE(view->IsCommandEnabled(ID_DISCONNECT));
    EXPECT_FALSE(view->ConnectButton().isVisible());
    answer = IDCANCEL;
    view->OnCommand(ID_DISCONNECT);
    EXPECT_TRUE(document.IsConnected(kDisk));
    answer = IDOK;
    view->OnCommand(ID_DISCONNECT);
    EXPECT_FALSE(document.IsConnected(kDisk));
    EXPECT_EQ(document.CurrentSession(), nullptr);
    EXPECT_EQ(Column(view->RemoteList(), kColumnSize), (QStringList{"끊김", "끊김"}));
    EXPECT_TRUE(view->RemoteList().topLevelItem(0)->isSelected()); // the same rows, not re-listed
    EXPECT_TRUE(view->ConnectButton().isEnabled());
    EXPECT_TRUE(view->ConnectButton().isVisible());
    EXPECT_EQ(BoxTexts(), (QStringList{"현재 선택되어 있는 TAVIK의 연결을 끊으시겠습니까?",
                                       "현재 선택되어 있는 TAVIK의 연결을 끊으시겠습니까?"}));
}

TEST_F(ExplorerViewTest, DisconnectIsGreyedByOneRuleInEveryState) {
    auto selectDisk = [this](int row) {
        view->RemoteList().ClearSelectedRows();
        view->RemoteList().SelectRow(row, true);
        view->OnRemoteTap(row);
    };
    const struct {
        const char* state;
        std::function<void()> enter;
        bool enabled;
    } steps[] = {
        {"before the disk list", [] {}, false},
        {"disk list, nothing selected", [this] { GiveDisks(); }, false},
        {"disk list, a disconnected disk", [&] { selectDisk(0); }, false},
        {"browsing", [this] { ConnectTo(kDisk); }, true},
        {"disk list, the connected disk",
         [&] {
             PickRemote(0);
             selectDisk(0);
         },
         true},
        {"disk list, the other disk", [&] { selectDisk(1); }, false},
        {"browsing again", [this] { ConnectTo(kDisk); }, true},
        {"after logout", [this] { document.CloseAllSessions(); }, false},
        {"disk list after a new login", [this] { GiveDisks(); }, false},
    };
    for (const auto& step : steps) {
        step.enter();
        SCOPED_TRACE(step.state);
        EXPECT_EQ(view->IsCommandEnabled(ID_DISCONNECT), step.enabled);
        // The button the user can press obeys the menu's rule.
        EXPECT_EQ(view->DisconnectButton().isEnabled(), step.enabled);
        if (view->DisconnectButton().isVisible() == view->ConnectButton().isVisible()) {
            ADD_FAILURE() << "connect and disconnect shown alike";
        }
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ExplorerViewTest, TheViewHidesWhileTheLoginProgressDialogExists) {
    frame.resize(500, 800);
    QCoreApplication::processEvents();
    ASSERT_TRUE(view->isVisible());
    CAuthProgressDlg::CreateGlobal();
    frame.resize(480, 800);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isVisible());
    // A second dialog replacing the first keeps it hidden; the last one going shows it.
    CAuthProgressDlg::CreateGlobal();
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isVisible());
    CAuthProgressDlg::DestroyGlobal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(view->isVisible());
    frame.resize(500, 800);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view->isVisible());
}

TEST_F(ExplorerViewTest, DisconnectWhileBrowsingReturnsToTheDiskList) {
    fs::create_directories(server.disk("docs"));
    WriteFile(server.disk("docs/x.txt"), 1);
    GiveDisks();
    ConnectTo(kOtherDisk);
    view->OpenRemoteRow(view->RemoteList().FindRow(QStringLiteral("docs")));
    // A selected file row is not a disk: the browsed disk is disconnected.
    view->RemoteList().SelectRow(0, true);
    view->OnCommand(ID_DISCONNECT);
    EXPECT_TRUE(view->DiskListMode());
    EXPECT_EQ(view->RemoteBar().pathButton().Path(), QStringLiteral("/전체 TAVIK 보기"));
    EXPECT_EQ(Column(view->RemoteList(), kColumnSize), (QStringList{"끊김", "끊김"}));
    EXPECT_FALSE(document.IsConnected(kOtherDisk));
    EXPECT_FALSE(view->DownloadButton().isEnabled());

    // Two disks selected: connect refuses with its message.
    view->RemoteList().SelectAllRows();
    view->OnCommand(ID_CONNECT);
    EXPECT_EQ(BoxTexts().last(), QStringLiteral("하나의 클럽을 선택 후 연결해주십시오!"));
    EXPECT_TRUE(view->DiskListMode());
    // A disk whose server does not answer: no message, still the disk list.
    std::vector<DiskEntry> dead(1);
    dead[0].diskName = u"없는 디스크";
    dead[0].diskId = u"demo";
    dead[0].serverAddress = u"127.0.0.1:1";
    document.TakeDiskList(std::move(dead));
    const qsizetype before = boxes.Boxes().size();
    view->OpenRemoteRow(0);
    EXPECT_TRUE(view->DiskListMode());
    EXPECT_EQ(boxes.Boxes().size(), before);
    EXPECT_EQ(document.CurrentSession(), nullptr);
}

TEST_F(ExplorerViewTest, RemoteListingEdgeCases) {
    fs::create_directories(server.disk("empty"));
    fs::create_directories(server.disk("sizes/sub"));
    WriteFile(server.disk("sizes/big.qqzz"), 1000);
    WriteFile(server.disk("sizes/mid"), 250);
    WriteFile(server.disk("sizes/small.txt"), 100);
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(server.disk(std::string("1234/") + name), 1);
    }
    GiveDisks();
    ConnectTo(kDisk);
    // A folder whose folder listing holds only itself shows no folder rows.
    view->OpenRemoteRow(view->RemoteList().FindRow(QStringLiteral("empty")));
    EXPECT_EQ(view->RemoteList().RowCount(), 0);
    PickRemote(1);
    view->OpenRemoteRow(view->RemoteList().FindRow(QStringLiteral("sizes")));
    // Type texts by name alone, including the ones the platform does not know.
    FileListCtrl& list = view->RemoteList();
    EXPECT_EQ(list.Text(list.FindRow(QStringLiteral("mid")), kColumnType), QStringLiteral("파일"));
    EXPECT_EQ(list.Text(list.FindRow(QStringLiteral("big.qqzz")), kColumnType),
              QStringLiteral("QQZZ 파일"));
    EXPECT_FALSE(list.Text(list.FindRow(QStringLiteral("small.txt")), kColumnType).isEmpty());
    EXPECT_FALSE(list.Text(list.FindRow(QStringLiteral("sub")), kColumnDate).isEmpty());
    // The size key: folders first, then 100, 250, 1000 by keys 1, 2, 10.
    MenuAnswerer menus(ID_SORT_SIZE);
    QTest::mouseClick(&view->RemoteBar().sortButton(), Qt::LeftButton);
    EXPECT_EQ(view->RemoteSortColumn(), kColumnSize);
    EXPECT_EQ(Column(list, kColumnName), (QStringList{"sub", "small.txt", "mid", "big.qqzz"}));
    // The remembered column sorts the next listing too.
    view->SetActivePane(CTavikPDAView::Pane::Remote);
    view->OnCommand(ID_REFRESH);
    EXPECT_EQ(Column(list, kColumnName), (QStringList{"sub", "small.txt", "mid", "big.qqzz"}));

    // "테스트": the count of the fixed folder's files, and -1 once the folder is gone.
    view->OnCommand(ID_TEST_COUNT);
    EXPECT_EQ(BoxTexts().last(), QStringLiteral("3"));
    fs::remove_all(server.disk("1234"));
    view->OnCommand(ID_TEST_COUNT);
    EXPECT_EQ(BoxTexts().last(), QStringLiteral("-1"));
    // A folder that is not there: the library's text and code, and an empty list.
    EXPECT_FALSE(view->ListRemoteFolder(document.SessionPath() + QStringLiteral("/missing")));
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_TRUE(
        BoxTexts().last().contains(QRegularExpression(QStringLiteral("^.+\\(23\\d\\d\\d\\)$"))))
        << BoxTexts().last().toStdString();
}

TEST_F(ExplorerViewTest, LocalPaneListsOpensAndReturns) {
    fs::create_directories(device / "sub/inner");
    WriteFile(device / "blob", 12);
    WriteFile(device / "data.qqzz", 5);
    WriteFile(device / "sub/x.txt", 1);
    SetLocalTime(device / "blob", 12, 5);
    SetLocalTime(device / "data.qqzz", 13, 5);
    view->ListLocalFolder(QString());
    FileListCtrl& list = view->LocalList();
    EXPECT_EQ(Column(list, kColumnName), (QStringList{"sub", "blob", "data.qqzz"}));
    EXPECT_EQ(Column(list, kColumnSize), (QStringList{"폴더", "12", "5"}));
    EXPECT_EQ(Column(list, kColumnType), (QStringList{"sub", "파일", "QQZZ 파일"}));
    EXPECT_EQ(list.Text(1, kColumnDate), QStringLiteral("2024-05-17 AM 12:05"));
    EXPECT_EQ(list.Text(2, kColumnDate), QStringLiteral("2024-05-17 PM 01:05"));

    // Into the folder, open a file with the shell, and back through the path bar.
    std::vector<QString> opened;
    CShellOpen::Handler previous = CShellOpen::SetHandler([&opened](const ShellOpenRequest& r) {
        opened.push_back(r.file);
        return 0u;
    });
    view->OpenLocalRow(0);
    EXPECT_EQ(view->CurrentDevicePath(), QStringLiteral("\\sub"));
    EXPECT_EQ(Column(list, kColumnName), (QStringList{"inner", "x.txt"}));
    view->OpenLocalRow(1);
    // A double tap below the rows does nothing.
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                       QPoint(5, list.viewport()->height() - 3));
    CShellOpen::SetHandler(previous);
    EXPECT_EQ(opened, std::vector<QString>{QStringLiteral("\\sub\\x.txt")});
    EXPECT_EQ(view->CurrentDevicePath(), QStringLiteral("\\sub"));

    MenuAnswerer menus(kLocalPathMenuBase);
    QTest::mouseClick(&view->LocalBar().pathButton(), Qt::LeftButton);
    EXPECT_EQ(view->CurrentDevicePath(), QString());
    EXPECT_EQ(list.RowCount(), 3);
    // The "종류" key keeps folders first.
    menus.Pick(ID_SORT_TYPE);
    QTest::mouseClick(&view->LocalBar().sortButton(), Qt::LeftButton);
    EXPECT_EQ(view->LocalSortColumn(), kColumnType);
    EXPECT_EQ(list.Text(0, kColumnName), QStringLiteral("sub"));
}

TEST_F(ExplorerViewTest, LogoutEmptiesTheRemotePane) {
    GiveDisks();
    ConnectTo(kDisk);
    ASSERT_TRUE(document.IsConnected(kDisk));
    document.CloseAllSessions();
    EXPECT_EQ(document.DiskCount(), 0);
    EXPECT_EQ(document.CurrentSession(), nullptr);
    EXPECT_EQ(view->RemoteList().RowCount(), 0);
    EXPECT_FALSE(view->DiskListMode());
    EXPECT_FALSE(view->DownloadButton().isEnabled());
    EXPECT_EQ(view->RemoteBar().pathButton().Path(), QStringLiteral("/전체 TAVIK 보기"));
}

// A key as the user presses it on the focused widget, and what the explorer must do.
struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::function<void()> before;
    std::function<void()> after;
};

void PressKeys(const std::vector<KeyCase>& cases) {
    for (const KeyCase& row : cases) {
        SCOPED_TRACE(row.name);
        if (row.before) {
            row.before();
        }
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, row.key, row.modifiers);
        row.after();
    }
}

// Ends a label edit the way the user does, with Escape in its editor.
void EndEdit(FileListCtrl& list) {
    if (list.EditedRow() >= 0 && QApplication::focusWidget() != nullptr) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }
    EXPECT_EQ(list.EditedRow(), -1);
}

class ExplorerKeysTest : public ExplorerViewTest {
protected:
    void SetUp() override {
        ExplorerViewTest::SetUp();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    }
    // Selects exactly the named row and makes it the current one.
    static void SelectOnly(FileListCtrl& list, const QString& name) {
        const int row = list.FindRow(name);
        ASSERT_GE(row, 0) << name.toStdString();
        list.setCurrentItem(list.topLevelItem(row));
        list.ClearSelectedRows();
        list.SelectRow(row, true);
    }
};

TEST_F(ExplorerKeysTest, TabMovesBetweenThePanesAndTheActivePaneFollowsFocus) {
    WriteFile(device / "one.txt", 1);
    view->ListLocalFolder(QString());
    GiveDisks();
    FileListCtrl& remote = view->RemoteList();
    FileListCtrl& local = view->LocalList();
    remote.setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), &remote);
    const struct {
        Qt::Key key;
        QWidget* focused;
        CTavikPDAView::Pane pane;
    } steps[] = {{Qt::Key_Tab, &local, CTavikPDAView::Pane::Local},
                 {Qt::Key_Tab, &remote, CTavikPDAView::Pane::Remote},
                 {Qt::Key_Backtab, &local, CTavikPDAView::Pane::Local},
                 {Qt::Key_Backtab, &remote, CTavikPDAView::Pane::Remote}};
    for (const auto& step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        EXPECT_EQ(QApplication::focusWidget(), step.focused);
        EXPECT_EQ(view->ActivePane(), step.pane);
        // The focused list shows where its focus is: it has a current row.
        EXPECT_NE(static_cast<FileListCtrl*>(step.focused)->currentItem(), nullptr);
    }
    // A menu command acts on the pane the user is in: select all in the remote list only.
    view->OnCommand(ID_SELECT_ALL);
    EXPECT_EQ(remote.SelectedRows().size(), 2u);
    EXPECT_TRUE(local.SelectedRows().empty());
}

TEST_F(ExplorerKeysTest, EveryKeyActsOnTheLocalPane) {
    fs::create_directories(device / "sub");
    WriteFile(device / "sub/x.txt", 1);
    WriteFile(device / "one.txt", 3);
    WriteFile(device / ".hidden", 2);
    view->ListLocalFolder(QString());
    FileListCtrl& list = view->LocalList();
    list.setFocus(Qt::TabFocusReason);
    ASSERT_EQ(view->ActivePane(), CTavikPDAView::Pane::Local);
    // Dot files are hidden until asked for.
    EXPECT_EQ(Column(list, kColumnName), (QStringList{"sub", "one.txt"}));
    std::unique_ptr<MenuAnswerer> menus;
    const std::vector<KeyCase> cases = {
        {"Return opens a folder",
         Qt::Key_Return,
         {},
         [&] { SelectOnly(list, "sub"); },
         [&] {
             EXPECT_EQ(view->CurrentDevicePath(), QStringLiteral("\\sub"));
             EXPECT_EQ(Column(list, kColumnName), QStringList{"x.txt"});
         }},
        {"Backspace goes up",
         Qt::Key_Backspace,
         {},
         nullptr,
         [&] { EXPECT_EQ(view->CurrentDevicePath(), QString()); }},
        {"Enter opens a folder", Qt::Key_Enter, Qt::KeypadModifier,
         [&] { SelectOnly(list, "sub"); },
         [&] { EXPECT_EQ(view->CurrentDevicePath(), QStringLiteral("\\sub")); }},
        {"Alt+Up goes up", Qt::Key_Up, Qt::AltModifier, nullptr,
         [&] { EXPECT_EQ(view->CurrentDevicePath(), QString()); }},
        {"Backspace at the root stays",
         Qt::Key_Backspace,
         {},
         nullptr,
         [&] { EXPECT_EQ(view->LocalBar().pathButton().Components().size(), 1); }},
        {"F5 refreshes",
         Qt::Key_F5,
         {},
         [&] { WriteFile(device / "two.txt", 4); },
         [&] { EXPECT_GE(list.FindRow("two.txt"), 0); }},
        {"Ctrl+A selects all", Qt::Key_A, Qt::ControlModifier, [&] { SelectOnly(list, "sub"); },
         [&] { EXPECT_EQ(list.SelectedRows().size(), static_cast<size_t>(list.RowCount())); }},
        {"F2 renames",
         Qt::Key_F2,
         {},
         [&] { SelectOnly(list, "one.txt"); },
         [&] {
             EXPECT_EQ(list.EditedRow(), list.FindRow("one.txt"));
             EndEdit(list);
         }},
        {"Delete asks first",
         Qt::Key_Delete,
         {},
         [&] {
             answer = IDCANCEL;
             SelectOnly(list, "one.txt");
         },
         [&] {
             ASSERT_FALSE(BoxTexts().isEmpty());
             EXPECT_EQ(BoxTexts().last(), kDeleteFileQuestion);
             EXPECT_TRUE(fs::exists(device / "one.txt"));
             answer = IDOK;
         }},
        {"Ctrl+Shift+N makes a folder", Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, nullptr,
         [&] {
             EXPECT_TRUE(fs::is_directory(device / "새 폴더"));
             EndEdit(list);
         }},
        {"Menu opens the row's pop-up",
         Qt::Key_Menu,
         {},
         [&] {
             SelectOnly(list, "one.txt");
             menus = std::make_unique<MenuAnswerer>();
         },
         [&] {
             EXPECT_EQ(menus->names, QStringList{"Pop-Up4"});
             menus.reset();
         }},
        {"Shift+F10 opens it too", Qt::Key_F10, Qt::ShiftModifier,
         [&] { menus = std::make_unique<MenuAnswerer>(); },
         [&] {
             EXPECT_EQ(menus->names, QStringList{"Pop-Up4"});
             menus.reset();
         }},
        {"Ctrl+H shows dot files", Qt::Key_H, Qt::ControlModifier, nullptr,
         [&] {
             EXPECT_GE(list.FindRow(".hidden"), 0);
             EXPECT_TRUE(view->HiddenFilesShown());
         }},
        {"Ctrl+H hides them again", Qt::Key_H, Qt::ControlModifier, nullptr,
         [&] {
             EXPECT_EQ(list.FindRow(".hidden"), -1);
             EXPECT_FALSE(view->HiddenFilesShown());
         }},
    };
    PressKeys(cases);
}

TEST_F(ExplorerKeysTest, KeysBrowseTheRemotePane) {
    fs::create_directories(server.disk("docs/a"));
    WriteFile(server.disk("top.bin"), 3);
    GiveDisks();
    FileListCtrl& list = view->RemoteList();
    list.setFocus(Qt::TabFocusReason);
    ASSERT_EQ(view->ActivePane(), CTavikPDAView::Pane::Remote);
    const QString root = QStringLiteral("/전체 TAVIK 보기");
    const std::vector<KeyCase> cases = {
        {"Return connects a disk",
         Qt::Key_Return,
         {},
         [&] { SelectOnly(list, kDisk); },
         [&] {
             EXPECT_FALSE(view->DiskListMode());
             EXPECT_EQ(Column(list, kColumnName), (QStringList{"docs", "top.bin"}));
         }},
        {"Return opens a folder",
         Qt::Key_Return,
         {},
         [&] { SelectOnly(list, "docs"); },
         [&] {
             EXPECT_EQ(view->RemoteBar().pathButton().Path(), root + "/" + kDisk + "/docs");
             EXPECT_EQ(Column(list, kColumnName), QStringList{"a"});
         }},
        {"Backspace goes up",
         Qt::Key_Backspace,
         {},
         nullptr,
         [&] {
             EXPECT_EQ(view->RemoteBar().pathButton().Path(), root + "/" + kDisk);
             EXPECT_EQ(Column(list, kColumnName), (QStringList{"docs", "top.bin"}));
         }},
        {"Alt+Up from the disk's root shows the disks", Qt::Key_Up, Qt::AltModifier, nullptr,
         [&] {
             EXPECT_TRUE(view->DiskListMode());
             EXPECT_EQ(Column(list, kColumnSize), (QStringList{"연결됨", "끊김"}));
         }},
        {"F2 renames no disk",
         Qt::Key_F2,
         {},
         [&] { SelectOnly(list, kDisk); },
         [&] { EXPECT_EQ(list.EditedRow(), -1); }},
    };
    PressKeys(cases);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ExplorerViewTest, HeaderClickSortsAndAgreesWithTheSortButton) {
    WriteFile(server.disk("b-small.txt"), 100);
    WriteFile(server.disk("a-large.txt"), 1000);
    WriteFile(server.disk("c-middle.txt"), 500);
    GiveDisks();
    ConnectTo(kDisk);
    FileListCtrl& list = view->RemoteList();
    QHeaderView* header = list.header();
    SortButton& sort = view->RemoteBar().sortButton();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    const struct {
        const char* name;
        std::function<void()> act;
        int key;
        int column;
        QStringList names;
        bool indicator;
    } steps[] = {
        {"size header",
         [&] { clickHeader(kColumnSize); },
         ID_SORT_SIZE,
         kColumnSize,
         {"b-small.txt", "c-middle.txt", "a-large.txt"},
         true},
        {"name header",
         [&] { clickHeader(kColumnName); },
         ID_SORT_NAME,
         kColumnName,
         {"a-large.txt", "b-small.txt", "c-middle.txt"},
         true},
        {"type from the sort button",
         [&] {
             MenuAnswerer menus(ID_SORT_TYPE);
             QTest::mouseClick(&sort, Qt::LeftButton);
         },
         ID_SORT_TYPE,
         kColumnType,
         {},
         false},
        {"size header again",
         [&] { clickHeader(kColumnSize); },
         ID_SORT_SIZE,
         kColumnSize,
         {"b-small.txt", "c-middle.txt", "a-large.txt"},
         true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(sort.CurrentKey(), step.key);
        EXPECT_EQ(view->RemoteSortColumn(), step.column);
        if (!step.names.isEmpty()) {
            EXPECT_EQ(Column(list, kColumnName), step.names);
        }
        EXPECT_EQ(header->isSortIndicatorShown(), step.indicator);
        if (step.indicator) {
            EXPECT_EQ(header->sortIndicatorSection(), step.column);
        }
    }
}

} // namespace
} // namespace tavik::app
