// The explorer's whole road against tavik-server --demo: the program starts and logs in, the
// disk list appears in the remote pane, the disk is connected and listed, a folder is entered,
// the path bar leads back to the disk list (the disk stays connected), and the disk is
// disconnected.
#include "app/explorer/CPopupMenu.h"
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/ImageButton.h"
#include "app/explorer/PathBar.h"
#include "app/frame/CMainFrame.h"
#include "app/frame/CTavikPDAApp.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CAccountStore.h"
#include "app/shell/CMessageBox.h"
#include "tests/startup/StartupFixture.h"
#include "tests/startup_e2e/DemoServer.h"

#include "sdk/include/TavikSDK.h"

#include <QAction>
#include <QMenu>
#include <QTest>

namespace tavik::app {
namespace {

class ExplorerRoadTest : public test::StartupFixture {
protected:
    void TearDown() override {
        CPopupMenu::SetChooser({});
        app_.reset();
        CAuthProgressDlg::DestroyGlobal();
        StartupFixture::TearDown();
    }
    std::unique_ptr<CTavikPDAApp> app_;
};

QStringList Names(FileListCtrl& list) {
    QStringList names;
    for (int i = 0; i < list.RowCount(); ++i) {
        names << list.Text(i, kColumnName) + QLatin1Char('=') + list.Text(i, kColumnSize);
    }
    return names;
}

TEST_F(ExplorerRoadTest, LoginDiskListConnectFolderBackAndDisconnect) {
    CAccountGlobals saved;
    saved.userName = u"demo";
    saved.domainSuffix = u"@tavik.local";
    saved.password = QString::fromLatin1(test::DemoServer::kPassword).toStdU16String();
    saved.autoLogin = true;
    ASSERT_EQ(CAccountStore().Save(saved), SaveResult::Saved);
    CMessageBox::Recorder boxes;

    app_ = std::make_unique<CTavikPDAApp>();
    ASSERT_TRUE(app_->InitInstance({ExecutablePath(), u""}));
    CMainFrame& frame = *app_->MainFrame();
    auto* view = qobject_cast<CTavikPDAView*>(frame.centralWidget());
    ASSERT_NE(view, nullptr);
    CTavikPDADoc& document = *app_->Document();

    // The disk list, as the disk-information server gave it.
    ASSERT_EQ(document.DiskCount(), 1);
    const QString disk = QString::fromStdU16String(document.Disks()[0].diskName);
    FileListCtrl& remote = view->RemoteList();
    EXPECT_TRUE(view->DiskListMode());
    EXPECT_EQ(Names(remote), QStringList{disk + QStringLiteral("=끊김")});
    EXPECT_FALSE(frame.Action(ID_DOWNLOAD)->isEnabled());

    // Connect with the button, after a tap on the row.
    const QPoint row = remote.visualItemRect(remote.topLevelItem(0)).center();
    QTest::mouseClick(remote.viewport(), Qt::LeftButton, {}, row);
    ASSERT_TRUE(view->ConnectButton().isEnabled());
    QTest::mouseClick(&view->ConnectButton(), Qt::LeftButton);
    ASSERT_NE(document.CurrentSession(), nullptr);
    EXPECT_FALSE(view->DiskListMode());
    EXPECT_TRUE(frame.Action(ID_DOWNLOAD)->isEnabled());
    EXPECT_EQ(Names(remote), QStringList{QStringLiteral("hello.txt=5")});

    // A folder made on the disk shows after "새로고침" of the remote pane; the user enters it.
    const std::u16string folder =
        (document.SessionPath() + QStringLiteral("/docs")).toStdU16String();
    ASSERT_TRUE(tavik_MakeFolder(folder.c_str(), document.CurrentSession()));
    QTest::mouseClick(remote.viewport(), Qt::LeftButton, {}, row);
    frame.Action(ID_REFRESH)->trigger();
    ASSERT_EQ(Names(remote), (QStringList{"docs=폴더", "hello.txt=5"}));
    QTest::mouseDClick(remote.viewport(), Qt::LeftButton, {},
                       remote.visualItemRect(remote.topLevelItem(0)).center());
    EXPECT_EQ(view->RemoteBar().pathButton().Path(),
              QStringLiteral("/전체 TAVIK 보기/") + disk + QStringLiteral("/docs"));
    EXPECT_EQ(remote.RowCount(), 0);

    // Back to the disk list through the path bar's root: still connected.
    CPopupMenu::SetChooser(
        [](QMenu& menu, const QPoint&) { return CPopupMenu::FindItem(menu, kRemotePathMenuBase); });
    QTest::mouseClick(&view->RemoteBar().pathButton(), Qt::LeftButton);
    EXPECT_TRUE(view->DiskListMode());
    EXPECT_EQ(Names(remote), QStringList{disk + QStringLiteral("=연결됨")});

    // Disconnect: the row, then the disconnect button it brings up, and the question answered.
    QTest::mouseClick(remote.viewport(), Qt::LeftButton, {}, row);
    ASSERT_TRUE(view->DisconnectButton().isVisible());
    EXPECT_TRUE(frame.Action(ID_DISCONNECT) == nullptr || frame.Action(ID_DISCONNECT)->isEnabled());
    QTest::mouseClick(&view->DisconnectButton(), Qt::LeftButton);
    EXPECT_EQ(Names(remote), QStringList{disk + QStringLiteral("=끊김")});
    EXPECT_FALSE(document.IsConnected(disk));
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().text,
              QStringLiteral("현재 선택되어 있는 TAVIK의 연결을 끊으시겠습니까?"));
}

} // namespace
} // namespace tavik::app
