// The whole start against tavik-server --demo: the update check, the automatic login with the
// saved account (a wrong password first, then the right one typed), the disk list in the
// document, logout, login again, exit.
#include "app/explorer/CTavikPDADoc.h"
#include "app/frame/CMainFrame.h"
#include "app/frame/CTavikPDAApp.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/res/ProgramResources.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CAccountStore.h"
#include "app/settings/CProfile.h"
#include "app/shell/CMessageBox.h"
#include "tests/startup/DialogScript.h"
#include "tests/startup/StartupFixture.h"
#include "tests/startup_e2e/DemoServer.h"

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>

namespace tavik::app {
namespace {

class WholeStartTest : public test::StartupFixture {
protected:
    void TearDown() override {
        app_.reset();
        CAuthProgressDlg::DestroyGlobal();
        StartupFixture::TearDown();
    }
    std::unique_ptr<CTavikPDAApp> app_;
};

TEST_F(WholeStartTest, LogsInListsTheDisksLogsOutLogsInAgainAndExits) {
    CAccountGlobals saved;
    saved.userName = u"demo";
    saved.domainSuffix = u"@tavik.local";
    saved.password = u"wrong";
    saved.autoLogin = true;
    ASSERT_EQ(CAccountStore().Save(saved), SaveResult::Saved);

    CMessageBox::Recorder boxes;
    test::DialogScript script({[](CLoginDlg& dialog) {
        // Back after the refused automatic login.
        dialog.PasswordEdit()->setText(QString::fromLatin1(test::DemoServer::kPassword));
        test::ClickLogin(dialog);
    }});
    app_ = std::make_unique<CTavikPDAApp>();
    ASSERT_TRUE(app_->InitInstance({ExecutablePath(), u""}));
    ASSERT_EQ(script.Seen(), 1);
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes()[0].text,
              QStringLiteral("아이디/비밀번호/도메인명이 올바른지 확인하세요"));

    CMainFrame& frame = *app_->MainFrame();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_TRUE(frame.IsLoggedIn());
    ASSERT_EQ(app_->Document()->DiskCount(), 1);
    const DiskEntry& disk = app_->Document()->Disks()[0];
    EXPECT_FALSE(disk.diskName.empty());
    EXPECT_FALSE(disk.diskId.empty());
    // The demo's disk server runs on a free port, which its disk list names.
    EXPECT_EQ(disk.serverAddress.rfind(u"127.0.0.1:", 0), 0u);
    EXPECT_EQ(disk.session, nullptr);
    // The right password is what was saved.
    EXPECT_EQ(CAccountStore().List().at(0).password, u"demo-secret");
    ASSERT_TRUE(WaitFor([] { return CAuthProgressDlg::Global() == nullptr; }));

    // Logout, then "로그인": the saved automatic login runs again without a dialog in sight.
    frame.Action(ID_LOGOUT)->trigger();
    EXPECT_FALSE(frame.IsLoggedIn());
    EXPECT_EQ(app_->Document()->DiskCount(), 0);
    frame.Action(ID_LOGIN)->trigger();
    EXPECT_EQ(script.Seen(), 1);
    EXPECT_TRUE(frame.IsLoggedIn());
    EXPECT_EQ(app_->Document()->DiskCount(), 1);

    QSignalSpy finished(app_.get(), &CTavikPDAApp::finished);
    frame.Action(ID_APP_EXIT)->trigger();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(frame.isVisible());
    QStringList texts;
    for (const MessageBoxRequest& box : boxes.Boxes()) {
        texts << box.text;
    }
    EXPECT_EQ(texts, (QStringList{"아이디/비밀번호/도메인명이 올바른지 확인하세요",
                                  "로그아웃 하시겠습니까?", "TAVIK 탐색기를 종료 하시겠습니까?"}));
}

// The program itself, started from the build folder (its bin/ with the build's update.ini), logs
// in with the saved account and shows its main window, of which it saves an image and ends.
// TAVIK_E2E_SCREENSHOT names where that image is kept for a person to look at.
TEST_F(WholeStartTest, TheProgramStartsFromTheBuildFolderAndShowsItsMainWindow) {
    CAccountGlobals saved;
    saved.userName = u"demo";
    saved.domainSuffix = u"@tavik.local";
    saved.password = QString::fromLatin1(test::DemoServer::kPassword).toStdU16String();
    saved.autoLogin = true;
    ASSERT_EQ(CAccountStore().Save(saved), SaveResult::Saved);

    const char* kept = std::getenv("TAVIK_E2E_SCREENSHOT");
    QString image = kept != nullptr ? QString::fromLocal8Bit(kept)
                                    : QString::fromStdString(folder_.file("window.png"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVIK_SCREENSHOT"), image);
    environment.insert(QStringLiteral("TAVIK_SCREENSHOT_AFTER_MS"), QStringLiteral("3000"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(TAVIK_PROGRAM), {});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAll().toStdString();

    QImage window(image);
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window.size(), QSize(480, 800)); // the main window, not the login dialog
    // Logged in: the account stays saved, and the program's own bin/ held what it needed.
    EXPECT_EQ(CProfile().GetString(u"user", u"id", u""), u"demo@tavik.local");
}

} // namespace
} // namespace tavik::app
