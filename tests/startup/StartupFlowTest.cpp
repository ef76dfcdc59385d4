// The program's start-up, login dialog and main frame, with the login answered by a stand-in
// (the conversation itself is the authentication's tests' business) and every box answered
// through the program's one message-box function.
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/ImageButton.h"
#include "app/frame/CInstanceLink.h"
#include "app/frame/CMainFrame.h"
#include "app/frame/CTavikPDAApp.h"
#include "app/frame/LaunchParameters.h"
#include "app/login/AuthResult.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/login/CLoginDlg.h"
#include "app/res/ProgramResources.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CAccountStore.h"
#include "app/settings/CProfile.h"
#include "app/settings/CUpdateMgr.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/CShellOpen.h"
#include "app/shell/CTrayIcon2.h"
#include "app/socket/CWindowMessage.h"
#include "tests/startup/DialogScript.h"
#include "tests/startup/StartupFixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tavik::app {
namespace {

using test::ClickCancel;
using test::ClickLogin;
using test::DialogScript;

// Stands in for the login conversation: records what the dialog asked for and answers with
// WM_AUTHRESULT from the event loop, as the real conversation does.
struct FakeLogin {
    std::vector<LoginFields> calls;
    LPARAM answer = kAuthSucceeded;

    CLoginDlg::LoginStarter Starter() {
        return [this](const LoginFields& fields, QWidget* dialog) -> CAuthHandler* {
            calls.push_back(fields);
            dialog->hide();
            QPointer<QWidget> target(dialog);
            LPARAM result = answer;
            QTimer::singleShot(0, dialog, [target, result] {
                CWindowMessage::Send(target, WM_AUTHRESULT, 0, result);
            });
            return nullptr;
        };
    }
};

class StartupFlowTest : public test::StartupFixture {
protected:
    void SetUp() override {
        StartupFixture::SetUp();
        CAccountGlobals::Instance() = CAccountGlobals();
        previousStarter_ = CLoginDlg::SetLoginStarter(login_.Starter());
        previousShell_ = CShellOpen::SetHandler([this](const ShellOpenRequest& request) {
            shellCalls_.push_back(request.file);
            return 0u;
        });
    }
    void TearDown() override {
        app_.reset();
        CAuthProgressDlg::DestroyGlobal();
        CLoginDlg::SetLoginStarter(previousStarter_);
        CShellOpen::SetHandler(previousShell_);
        StartupFixture::TearDown();
    }

    bool Start(const std::u16string& commandLine = u"") {
        app_ = std::make_unique<CTavikPDAApp>();
        return app_->InitInstance({ExecutablePath(), commandLine});
    }
    CMainFrame& Frame() { return *app_->MainFrame(); }

    static void SaveAccount(const std::u16string& user, const std::u16string& password,
                            bool autoLogin) {
        CAccountGlobals account;
        account.userName = user;
        account.domainSuffix = u"@tavik.local";
        account.password = password;
        account.autoLogin = autoLogin;
        ASSERT_EQ(CAccountStore().Save(account), SaveResult::Saved);
    }
    static QStringList Texts(const std::vector<MessageBoxRequest>& boxes) {
        QStringList texts;
        for (const MessageBoxRequest& box : boxes) {
            texts << box.text;
        }
        return texts;
    }

    FakeLogin login_;
    std::unique_ptr<CTavikPDAApp> app_;
    QStringList shellCalls_;
    CLoginDlg::LoginStarter previousStarter_;
    CShellOpen::Handler previousShell_;
};

TEST_F(StartupFlowTest, LaunchParametersSkipElevenCharactersAndTakeUserAndSessionKey) {
    SaveAccount(u"saved", u"pw", false);
    struct Row {
        std::u16string line;
        bool withKey;
        std::u16string user, domainSuffix, password, sessionKey;
        bool autoLogin;
    };
    const Row rows[] = {
        // Short lines load the saved account.
        {u"u_id=kim;ab", false, u"saved", u"@tavik.local", u"pw", u"", false},
        {u"", false, u"saved", u"@tavik.local", u"pw", u"", false},
        {u"tavik://run u_id=kim", false, u"kim", u"@tavik.local", u"", u"", false},
        {u"tavik://runu_id=kim;u_sessionkey=K1", true, u"kim", u"@tavik.local", u"", u"K1", true},
        {u"01234567890 U_ID = lee ; u_SessionKey= K 2 ;x=y", true, u"lee", u"@tavik.local", u"",
         u"K 2", true},
        {u"01234567890u_id=park", false, u"park", u"@tavik.local", u"", u"", false},
        {u"01234567890u_id=;u_sessionkey=K3", false, u"saved", u"@tavik.local", u"pw", u"", false},
        {u"01234567890garbage;u_id=choi=x", false, u"choi=x", u"@tavik.local", u"", u"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QString::fromStdU16String(row.line).toStdString());
        CAccountGlobals account;
        EXPECT_EQ(ApplyLaunchParameters(row.line, account), row.withKey);
        EXPECT_EQ(account.userName, row.user);
        EXPECT_EQ(account.domainSuffix, row.domainSuffix);
        EXPECT_EQ(account.password, row.password);
        EXPECT_EQ(account.sessionKey, row.sessionKey);
        EXPECT_EQ(account.autoLogin, row.autoLogin);
    }
}

TEST_F(StartupFlowTest, ASessionKeyLogsInAtOnceWithoutPasswordAndSavesNothing) {
    CMessageBox::Recorder boxes;
    DialogScript script({});
    ASSERT_TRUE(Start(u"tavik://runu_id=kim;u_sessionkey=KEY"));
    ASSERT_EQ(login_.calls.size(), 1u);
    EXPECT_EQ(login_.calls[0].userName, u"kim");
    EXPECT_EQ(login_.calls[0].domain, u"tavik.local");
    EXPECT_EQ(login_.calls[0].password, u"");
    EXPECT_EQ(login_.calls[0].sessionKey, u"KEY");
    EXPECT_EQ(script.Seen(), 0); // the dialog never came into sight
    EXPECT_TRUE(app_->LaunchedWithSessionKey());
    // Nothing of the account in the registry.
    CProfile profile;
    EXPECT_EQ(profile.GetString(u"user", u"ALL", u"-"), u"-");
    EXPECT_EQ(profile.GetInt(u"user", u"PwSave", 7), 7u);
    EXPECT_EQ(profile.GetString(u"kim@tavik.local", u"Id", u"-"), u"-");
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(boxes.Boxes().empty()) << Texts(boxes.Boxes()).join("|").toStdString();
}

TEST_F(StartupFlowTest, AUserAloneFillsTheDialogAndCancellingItEndsTheProgram) {
    SaveAccount(u"saved", u"pw", true);
    CMessageBox::Recorder boxes([](const MessageBoxRequest& box) {
        return box.text == kConfirmExitText ? IDOK : IDCANCEL;
    });
    QString user, domain, password;
    bool autoLogin = true;
    DialogScript script({[&](CLoginDlg& dialog) {
        user = dialog.UserCombo()->currentText();
        domain = dialog.DomainCombo()->currentText();
        password = dialog.PasswordEdit()->text();
        autoLogin = dialog.AutoLoginBox()->isChecked();
        ClickCancel(dialog);
    }});
    EXPECT_FALSE(Start(u"01234567890u_id=park"));
    EXPECT_EQ(user, QStringLiteral("park"));
    EXPECT_EQ(domain, QStringLiteral("tavik.local"));
    EXPECT_EQ(password, QString());
    EXPECT_FALSE(autoLogin);
    EXPECT_TRUE(login_.calls.empty());
    EXPECT_EQ(app_->MainFrame(), nullptr);
    EXPECT_EQ(CAuthProgressDlg::Global(), nullptr);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("TAVIK 탐색기를 종료 하시겠습니까?"));
    EXPECT_TRUE(boxes.Boxes()[0].HasCancel());
}

TEST_F(StartupFlowTest, TheUpdateCheckEndsTheStartBeforeTheLoginDialog) {
    struct Row {
        bool marker;
        const char* ini;
        QStringList boxes;
        std::vector<std::string> updaterLog;
    };
    const Row rows[] = {
        {true, "[Client]\nchannel=test\n", {}, {"start"}},
        {false,
         "[Client]\nchannel = test\n",
         {QStringLiteral("UpdateMgr을 초기화 하는데 실패했습니다.")},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.ini);
        std::filesystem::remove(folder_.file("updater.log"));
        std::filesystem::remove(MarkerPath());
        if (row.marker) {
            std::filesystem::create_directories(Root() + "/update");
            folder_.write("A/B/update/newstart.txt", "newstart = 1");
        }
        WriteIni(row.ini);
        CMessageBox::Recorder boxes;
        DialogScript script({});
        EXPECT_FALSE(Start());
        EXPECT_EQ(script.Seen(), 0);
        EXPECT_TRUE(login_.calls.empty());
        EXPECT_EQ(Texts(boxes.Boxes()), row.boxes);
        for (const MessageBoxRequest& box : boxes.Boxes()) {
            EXPECT_EQ(box.caption, QStringLiteral("TAVIK 업데이트"));
            EXPECT_EQ(box.Icon(), MB_ICONERROR);
        }
        if (!row.updaterLog.empty()) {
            ASSERT_TRUE(WaitForUpdaterLines(row.updaterLog.size()));
        }
        EXPECT_EQ(UpdaterLog(), row.updaterLog);
        app_.reset();
    }
}

TEST_F(StartupFlowTest, CheckBoxRulesHoldForEveryStartAndClick) {
    struct Row {
        bool save, autoLogin, remove;
        int click; // control id
        bool wantSave, wantAuto, wantRemove;
    };
    const Row rows[] = {
        {true, true, false, CLoginDlg::IDC_DELETE_ACCOUNT, false, false, true},
        {false, false, true, CLoginDlg::IDC_DELETE_ACCOUNT, false, false, false},
        {false, false, true, CLoginDlg::IDC_AUTO_LOGIN, false, false, true},
        {false, false, false, CLoginDlg::IDC_AUTO_LOGIN, true, true, false},
        {true, true, false, CLoginDlg::IDC_AUTO_LOGIN, true, false, false},
        {true, true, false, CLoginDlg::IDC_SAVE_PASSWORD, true, true, false},
        {false, false, true, CLoginDlg::IDC_SAVE_PASSWORD, false, false, true},
        {true, false, false, CLoginDlg::IDC_SAVE_PASSWORD, false, false, false},
        {false, false, false, CLoginDlg::IDC_SAVE_PASSWORD, true, false, false},
    };
    // The same rules whether the box is clicked or toggled by an assistive tool.
    const std::pair<const char*, std::function<void(QCheckBox*)>> ways[] = {
        {"click", [](QCheckBox* box) { box->click(); }},
        {"accessible toggle",
         [](QCheckBox* box) {
             QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
             ASSERT_NE(accessible, nullptr);
             ASSERT_NE(accessible->actionInterface(), nullptr);
             accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
         }},
    };
    for (const auto& [way, change] : ways) {
        for (const Row& row : rows) {
            CLoginDlg dialog(true);
            dialog.SavePasswordBox()->setChecked(row.save);
            dialog.AutoLoginBox()->setChecked(row.autoLogin);
            dialog.DeleteAccountBox()->setChecked(row.remove);
            change(qobject_cast<QCheckBox*>(dialog.Control(row.click)));
            SCOPED_TRACE(::testing::Message() << row.save << row.autoLogin << row.remove << " "
                                              << way << " " << row.click);
            EXPECT_EQ(dialog.SavePasswordBox()->isChecked(), row.wantSave);
            EXPECT_EQ(dialog.AutoLoginBox()->isChecked(), row.wantAuto);
            EXPECT_EQ(dialog.DeleteAccountBox()->isChecked(), row.wantRemove);
        }
    }
}

TEST_F(StartupFlowTest, ChoosingASavedUserFillsItsDomainAndPasswordAndTheLoginSavesIt) {
    SaveAccount(u"alpha", u"pa", false);
    CAccountGlobals other;
    other.userName = u"beta";
    other.domainSuffix = u"@other.org";
    other.password = u"비밀";
    ASSERT_EQ(CAccountStore().Save(other), SaveResult::Saved);
    CProfile().WriteInt(u"user", u"PwSave", 0);

    QStringList users, domains;
    DialogScript script({[&](CLoginDlg& dialog) {
        for (int i = 0; i < dialog.UserCombo()->count(); ++i) {
            users << dialog.UserCombo()->itemText(i);
        }
        for (int i = 0; i < dialog.DomainCombo()->count(); ++i) {
            domains << dialog.DomainCombo()->itemText(i);
        }
        dialog.UserCombo()->setCurrentIndex(0);
        emit dialog.UserCombo()->activated(0);
        EXPECT_EQ(dialog.PasswordEdit()->text(), QStringLiteral("pa"));
        dialog.UserCombo()->setCurrentIndex(1);
        emit dialog.UserCombo()->activated(1);
        EXPECT_EQ(dialog.DomainCombo()->currentText(), QStringLiteral("other.org"));
        EXPECT_EQ(dialog.PasswordEdit()->text(), QStringLiteral("비밀"));
        EXPECT_TRUE(dialog.SavePasswordBox()->isChecked());
        ClickLogin(dialog);
    }});
    CMessageBox::Recorder boxes;
    ASSERT_TRUE(Start());
    EXPECT_EQ(users, (QStringList{"alpha", "beta"}));
    EXPECT_EQ(domains, (QStringList{"tavik.local", "other.org"}));
    ASSERT_EQ(login_.calls.size(), 1u);
    EXPECT_EQ(login_.calls[0].userName, u"beta");
    EXPECT_EQ(login_.calls[0].domain, u"other.org");
    EXPECT_EQ(login_.calls[0].password, u"비밀");
    // The globals hold the dialog's fields, and the account is the last used.
    EXPECT_EQ(CAccountGlobals::Instance().domainSuffix, u"@other.org");
    EXPECT_EQ(CProfile().GetString(u"user", u"id", u""), u"beta@other.org");
    EXPECT_EQ(CProfile().GetInt(u"user", u"PwSave", 0), 1u);
}

TEST_F(StartupFlowTest, APasswordTooLongToKeepIsToldAndTheAccountStillSaved) {
    const struct {
        size_t length;
        bool told;
    } rows[] = {{80, false}, {81, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        const QString password(static_cast<qsizetype>(row.length), QLatin1Char('p'));
        DialogScript script({[&](CLoginDlg& dialog) {
            dialog.UserCombo()->setEditText(QStringLiteral("kim"));
            dialog.PasswordEdit()->setText(password);
            dialog.SavePasswordBox()->setChecked(true);
            ClickLogin(dialog);
        }});
        CMessageBox::Recorder boxes;
        ASSERT_TRUE(Start());
        EXPECT_EQ(Texts(boxes.Boxes()).contains(CLoginDlg::kPasswordNotKeptText), row.told);
        EXPECT_EQ(CProfile().GetString(u"user", u"ALL", u""), u"kim@tavik.local");
        EXPECT_EQ(CProfile().GetString(u"user", u"id", u""), u"kim@tavik.local");
        EXPECT_EQ(CProfile().GetInt(u"user", u"PwSave", 0), 1u);
        const std::vector<SavedAccount> saved = CAccountStore().List();
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(saved[0].password, row.told ? u"" : password.toStdU16String());
        app_.reset();
        CAuthProgressDlg::DestroyGlobal();
    }
}

TEST_F(StartupFlowTest, AFailedLoginShowsTheDialogAgain) {
    SaveAccount(u"alpha", u"pa", true);
    login_.answer = kAuthFailed;
    DialogScript script({[&](CLoginDlg& dialog) {
        // Back after the failed automatic login, at its own place.
        EXPECT_TRUE(dialog.AutoLoginStarted());
        EXPECT_GT(dialog.pos().x(), -5000);
        login_.answer = kAuthSucceeded;
        ClickLogin(dialog);
    }});
    ASSERT_TRUE(Start());
    EXPECT_EQ(login_.calls.size(), 2u);
    EXPECT_EQ(script.Seen(), 1);
}

// Hands a command line over from another thread (the hand-off blocks, and the listener needs
// this thread's event loop), and runs the loop until it is answered.
bool HandOffFromAnotherThread(const QString& path, const std::u16string& line) {
    std::future<bool> done =
        std::async(std::launch::async, [&] { return CInstanceLink::HandOff(path, line); });
    while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done.get();
}

TEST_F(StartupFlowTest, ALaterLaunchHandsItsLineToTheRunningProgramOnly) {
    const QString path = QString::fromStdString(folder_.file("link"));
    CInstanceLink first(path);
    // Nobody listens yet; then a file nobody answers on (a program that ended) is replaced.
    EXPECT_FALSE(CInstanceLink::HandOff(path, u"tavik://runu_id=kim"));
    folder_.write("link", "left over");
    ASSERT_TRUE(first.Listen());
    CInstanceLink second(path);
    EXPECT_FALSE(second.Listen());
    QSignalSpy received(&first, &CInstanceLink::commandLineReceived);
    const std::u16string lines[] = {u"tavik://runu_id=김;u_sessionkey=K 1", u"", u"x"};
    for (const std::u16string& line : lines) {
        EXPECT_TRUE(HandOffFromAnotherThread(path, line));
        ASSERT_EQ(received.size(), 1);
        EXPECT_EQ(received.takeFirst().at(0).toString(), QString::fromStdU16String(line));
    }
    // A line longer than a link can be is not sent.
    const std::u16string huge(CInstanceLink::kMaxCommandLineBytes + 1, u'a');
    EXPECT_FALSE(HandOffFromAnotherThread(path, huge));
    EXPECT_EQ(received.size(), 0);
    EXPECT_TRUE(CInstanceLink::DefaultPath().contains(QStringLiteral("tavikPDA-link-")));
}

// Another user's process can neither hand over a line nor be answered, even where the
// folder and the socket would let it connect (needs root, to become another user).
TEST_F(StartupFlowTest, AnotherUsersProcessCannotHandOverALine) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "becoming another user needs root";
    }
    const QString path = QString::fromStdString(folder_.file("link"));
    CInstanceLink link(path);
    ASSERT_TRUE(link.Listen());
    // Open to everyone, so that only the check of the peer's user keeps the stranger out.
    ::chmod(folder_.path().c_str(), 0755);
    ::chmod(path.toLocal8Bit().constData(), 0777);
    QSignalSpy received(&link, &CInstanceLink::commandLineReceived);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain system calls only: the child of a threaded process.
        if (::setuid(65534) != 0) {
            ::_exit(3);
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toLocal8Bit();
        std::memcpy(address.sun_path, bytes.constData(),
                    std::min<size_t>(bytes.size(), sizeof address.sun_path - 1));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::_exit(2);
        }
        const char frame[] = {1, 0, 0, 0, 'x'};
        (void)!::write(fd, frame, sizeof frame);
        char answer = 0;
        ::pollfd wait{fd, POLLIN, 0};
        const bool answered = ::poll(&wait, 1, 2000) == 1 && ::read(fd, &answer, 1) == 1;
        ::_exit(answered && answer == 'k' ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCoreApplication::processEvents();
    ASSERT_TRUE(WIFEXITED(status));
    // 0: connected and turned away unanswered (2 would mean the socket kept it out first).
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(received.size(), 0);
}

TEST_F(StartupFlowTest, LaunchParametersOfALaterLaunchLogInOnlyWhileLoggedOut) {
    CMessageBox::Recorder boxes;
    DialogScript script({});
    ASSERT_TRUE(Start(u"tavik://runu_id=kim;u_sessionkey=KEY"));
    ASSERT_EQ(login_.calls.size(), 1u);
    // No disk-information server here: the program stays logged out.
    ASSERT_FALSE(Frame().IsLoggedIn());
    Frame().hide();
    const struct {
        const char* name;
        std::u16string line;
        size_t logins;
    } rows[] = {
        {"no user", u"tavik://runx=y", 1},
        {"empty user", u"tavik://runu_id=;u_sessionkey=K", 1},
        {"user and key", u"tavik://runu_id=lee;u_sessionkey=K2", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        app_->TakeLaunchParameters(row.line);
        EXPECT_TRUE(Frame().isVisible());
        EXPECT_EQ(login_.calls.size(), row.logins);
    }
    EXPECT_EQ(login_.calls.back().userName, u"lee");
    EXPECT_EQ(login_.calls.back().sessionKey, u"K2");
    EXPECT_EQ(login_.calls.back().password, u"");
    EXPECT_EQ(script.Seen(), 0); // logged in at once, the dialog never in sight
    // Nothing of the account in the registry.
    EXPECT_EQ(CProfile().GetString(u"user", u"ALL", u"-"), u"-");
}

class MainFrameTest : public StartupFlowTest {
protected:
    void SetUp() override {
        StartupFlowTest::SetUp();
        SaveAccount(u"alpha", u"pa", true);
        ASSERT_TRUE(Start()); // automatic login
        ASSERT_EQ(login_.calls.size(), 1u);
    }
    static std::vector<DiskEntry> TwoDisks() {
        std::vector<DiskEntry> disks(2);
        disks[0].diskName = u"one";
        disks[1].diskName = u"two";
        return disks;
    }
};

TEST_F(MainFrameTest, CreationGivesTitleTrayCommandBarAndSettings) {
    CMainFrame& frame = Frame();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("TAVIK 탐색기"));
    EXPECT_EQ(frame.LogoutPrompt(), QStringLiteral("로그아웃 하시겠습니까?"));
    EXPECT_TRUE(frame.AutoLoginAllowed());
    EXPECT_EQ(frame.DownloadPath(), u"\\Program Files\\Brelo\\tavik\\Download");
    EXPECT_EQ(frame.DiskInfoServer().host, "127.0.0.1");
    ASSERT_NE(frame.TrayIcon(), nullptr);
    EXPECT_EQ(frame.TrayIcon()->Id(), 10000u);
    EXPECT_TRUE(frame.TrayIcon()->IsShown());

    QStringList menus;
    for (QAction* menu : frame.menuBar()->actions()) {
        menus << menu->text() + "/" + menu->toolTip();
    }
    EXPECT_EQ(menus, (QStringList{"연결/연결", "파일/파일"}));
    const std::pair<int, const char*> commands[] = {
        {32786, "로그인"},
        {32787, "다른 이름으로 로그인"},
        {32788, "로그아웃"},
        {57665, "종료"},
        {32794, "다운로드 폴더 열기"},
        {32791, "설정"},
        {57664, "TAVIK 탐색기 정보"},
        {32795, "새 폴더 만들기"},
        {32796, "삭제하기"},
        {32790, "새로고침"},
    };
    for (auto [id, text] : commands) {
        QAction* action = frame.Action(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(action->text(), QString::fromUtf8(text));
        EXPECT_EQ(action->data().toInt(), id);
    }
    QStringList tools;
    for (QAction* action : frame.CommandBar()->actions()) {
        tools << QString::number(action->data().toInt()) + "/" + action->toolTip();
        EXPECT_EQ(frame.CommandBar()->widgetForAction(action)->accessibleName(), action->toolTip());
    }
    EXPECT_EQ(tools, (QStringList{"32790/새로고침", "32795/새폴더", "32796/삭제"}));
    // The explorer's commands go on to the view.
    QSignalSpy forwarded(&frame, &CMainFrame::viewCommand);
    frame.CommandBar()->actions()[1]->trigger();
    ASSERT_EQ(forwarded.count(), 1);
    EXPECT_EQ(forwarded[0][0].toInt(), 32795);
}

TEST_F(MainFrameTest, TheRemotePaneCommandsAreInTheConnectionMenuWithTheirRules) {
    CMainFrame& frame = Frame();
    QMenu* connection = frame.menuBar()->actions()[0]->menu();
    ASSERT_NE(connection, nullptr);
    const struct {
        int id;
        const char* text;
        bool visible;
    } entries[] = {{32815, "연결", true}, {32789, "연결끊기", true}, {32781, "테스트", false}};
    QSignalSpy forwarded(&frame, &CMainFrame::viewCommand);
    // The view's own questions (disconnect) are answered "취소".
    CMessageBox::Recorder questions([](const MessageBoxRequest&) { return IDCANCEL; });
    for (const auto& entry : entries) {
        SCOPED_TRACE(entry.id);
        QAction* action = frame.Action(entry.id);
        ASSERT_NE(action, nullptr);
        EXPECT_TRUE(connection->actions().contains(action));
        EXPECT_EQ(action->text(), QString::fromUtf8(entry.text));
        EXPECT_EQ(action->isVisible(), entry.visible);
        // Each reaches the view, the hidden one as a command.
        forwarded.clear();
        frame.SendCommand(entry.id);
        ASSERT_EQ(forwarded.count(), 1);
        EXPECT_EQ(forwarded[0][0].toInt(), entry.id);
    }
    // "연결" is always enabled; "연결끊기" only with something to disconnect, never after logout.
    auto* view = dynamic_cast<CTavikPDAView*>(frame.centralWidget());
    ASSERT_NE(view, nullptr);
    CMessageBox::Recorder boxes; // OK to the logout question
    for (bool withDisks : {false, true, false}) {
        if (withDisks) {
            frame.Document().TakeDiskList(TwoDisks());
            view->RemoteList().SelectRow(0, true);
            view->OnRemoteTap(0);
        } else {
            frame.Logout();
        }
        EXPECT_TRUE(frame.Action(ID_CONNECT)->isEnabled());
        EXPECT_FALSE(frame.Action(ID_DISCONNECT)->isEnabled());
        EXPECT_FALSE(view->DisconnectButton().isEnabled());
    }
}

TEST_F(MainFrameTest, LogoutAsksAndDropsTheDiskListOnlyOnOk) {
    for (int answer : {IDCANCEL, IDOK}) {
        Frame().Document().TakeDiskList(TwoDisks());
        CMessageBox::Recorder boxes([answer](const MessageBoxRequest&) { return answer; });
        EXPECT_EQ(Frame().Logout(), answer == IDOK);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("로그아웃 하시겠습니까?"));
        EXPECT_TRUE(boxes.Boxes()[0].HasCancel());
        EXPECT_EQ(Frame().Document().DiskCount(), answer == IDOK ? 0 : 2);
        EXPECT_FALSE(Frame().IsLoggedIn());
    }
}

TEST_F(MainFrameTest, LoginAsAnotherShowsTheDialogWithoutAutomaticLogin) {
    Frame().Document().TakeDiskList(TwoDisks());
    CMessageBox::Recorder boxes;
    bool autoChecked = true;
    bool autoStarted = true;
    DialogScript script({[&](CLoginDlg& dialog) {
        autoChecked = dialog.AutoLoginBox()->isChecked();
        autoStarted = dialog.AutoLoginStarted();
        ClickLogin(dialog);
    }});
    Frame().Action(ID_LOGIN_AS_ANOTHER)->trigger();
    EXPECT_EQ(script.Seen(), 1);
    EXPECT_FALSE(autoChecked);
    EXPECT_FALSE(autoStarted);
    EXPECT_EQ(login_.calls.size(), 2u);
    EXPECT_FALSE(Frame().AutoLoginAllowed());
    EXPECT_EQ(Frame().Document().DiskCount(), 0);
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes()[0].text,
              QStringLiteral("로그아웃 후에 다른 이름으로 로그인 하시겠습니까?"));
    EXPECT_EQ(Frame().LogoutPrompt(), QStringLiteral("로그아웃 하시겠습니까?"));
    EXPECT_TRUE(Frame().isVisible());
}

TEST_F(MainFrameTest, LoginAgainSavesWhatTheDialogSaysAndNeverDeletes) {
    // Each row logs in again as alpha (saved at start with the password "pa").
    const struct {
        bool tickDelete;
        QString password;
        bool told;
        std::u16string storedPassword;
    } rows[] = {
        // "접속정보 삭제" on a later login: nothing is saved, and nothing is deleted either.
        {true, QStringLiteral("new"), false, u"pa"},
        {false, QString(81, QLatin1Char('q')), true, u""},
        {false, QStringLiteral("new"), false, u"new"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password.toStdString());
        CMessageBox::Recorder boxes; // OK to the logout question
        DialogScript script({[&](CLoginDlg& dialog) {
            dialog.UserCombo()->setEditText(QStringLiteral("alpha"));
            dialog.PasswordEdit()->setText(row.password);
            dialog.SavePasswordBox()->setChecked(true);
            if (row.tickDelete) {
                dialog.DeleteAccountBox()->click();
            }
            ClickLogin(dialog);
        }});
        Frame().Action(ID_LOGIN_AS_ANOTHER)->trigger();
        ASSERT_EQ(script.Seen(), 1);
        EXPECT_EQ(Texts(boxes.Boxes()).contains(CLoginDlg::kPasswordNotKeptText), row.told);
        EXPECT_EQ(CProfile().GetString(u"user", u"ALL", u""), u"alpha@tavik.local");
        EXPECT_EQ(CProfile().GetString(u"user", u"id", u""), u"alpha@tavik.local");
        const std::vector<SavedAccount> saved = CAccountStore().List();
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(saved[0].password, row.storedPassword);
        // The next row starts from the account as saved at start.
        SaveAccount(u"alpha", u"pa", false);
    }
}

TEST_F(MainFrameTest, CancellingTheLoginOfLoginAgainOrConfirmingExitEndsTheProgram) {
    QSignalSpy finished(app_.get(), &CTavikPDAApp::finished);
    {
        CMessageBox::Recorder boxes([](const MessageBoxRequest&) { return IDCANCEL; });
        Frame().Action(ID_APP_EXIT)->trigger();
        EXPECT_EQ(Texts(boxes.Boxes()), QStringList{kConfirmExitText});
        EXPECT_TRUE(Frame().isVisible());
        EXPECT_EQ(finished.count(), 0);
    }
    CMessageBox::Recorder boxes; // OK to everything
    // The automatic login of the dialog fails, which brings the dialog into sight.
    login_.answer = kAuthFailed;
    DialogScript script({ClickCancel});
    Frame().Action(ID_LOGIN)->trigger();
    EXPECT_EQ(Texts(boxes.Boxes()), QStringList{kConfirmExitText});
    EXPECT_EQ(login_.calls.size(), 2u);
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(Frame().TrayIcon()->IsShown());
}

TEST_F(MainFrameTest, TrayPressesShowTheTrayMenuOnlyForTheLeftButton) {
    CMainFrame& frame = Frame();
    for (UINT mouse : {kWmRButtonDown, kWmLButtonDblClk, kWmMButtonDown, 0x0202u}) {
        CWindowMessage::Send(&frame, WM_TRAY_CALLBACK, 10000, static_cast<LPARAM>(mouse));
        EXPECT_FALSE(frame.TrayMenu()->isVisible()) << mouse;
    }
    frame.TrayIcon()->Activate(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(frame.TrayMenu()->isVisible());
    QStringList items;
    for (QAction* action : frame.TrayMenu()->actions()) {
        items << action->text() + "/" + QString::number(action->data().toInt());
    }
    EXPECT_EQ(items, (QStringList{"TAVIK 열기/32802", "TAVIK 종료/57665"}));
    frame.TrayMenu()->hide();

    frame.hide();
    frame.TrayMenu()->actions()[0]->trigger();
    EXPECT_TRUE(frame.isVisible());
    CMessageBox::Recorder boxes([](const MessageBoxRequest&) { return IDCANCEL; });
    frame.TrayMenu()->actions()[1]->trigger();
    EXPECT_EQ(Texts(boxes.Boxes()), QStringList{kConfirmExitText});
}

TEST_F(MainFrameTest, TheShellOpensTheDownloadFolderAndTheWebSiteCorner) {
    CMainFrame& frame = Frame();
    frame.Action(ID_OPEN_DOWNLOAD_FOLDER)->trigger();
    EXPECT_EQ(shellCalls_, QStringList{"\\Program Files\\Brelo\\tavik\\Download"});
    shellCalls_.clear();

    const int width = frame.width();
    const QPoint presses[] = {{width - 1, 0},  {width - 22, 49}, {width - 23, 10},
                              {width - 1, 50}, {10, 10},         {width - 5, 300}};
    const bool opens[] = {true, true, false, false, false, false};
    for (size_t i = 0; i < std::size(presses); ++i) {
        QTest::mousePress(frame.windowHandle(), Qt::LeftButton, {}, presses[i]);
        QTest::mouseRelease(frame.windowHandle(), Qt::LeftButton, {}, presses[i]);
        EXPECT_EQ(shellCalls_.size(), opens[i] ? 1 : 0) << presses[i].x() << "," << presses[i].y();
        if (opens[i] && !shellCalls_.empty()) {
            EXPECT_EQ(shellCalls_[0], QStringLiteral("http://127.0.0.1:8080/"));
        }
        shellCalls_.clear();
    }
    QTest::mousePress(frame.windowHandle(), Qt::RightButton, {}, {width - 1, 1});
    EXPECT_TRUE(shellCalls_.isEmpty());
}

TEST(TrayIconTest, SettingTwiceModifiesAndDestructionRemoves) {
    QPointer<QSystemTrayIcon> platform;
    {
        CTrayIcon2 tray(10000);
        EXPECT_FALSE(tray.IsShown());
        QPixmap art(16, 16);
        art.fill(Qt::blue);
        EXPECT_TRUE(tray.SetIcon(QIcon(art)));
        EXPECT_TRUE(tray.SetIcon(QIcon(art), QStringLiteral("tip")));
        EXPECT_EQ(tray.AddCount(), 1);
        EXPECT_EQ(tray.ModifyCount(), 1);
        EXPECT_TRUE(tray.IsShown());
        // Offscreen there is no notification area: the program runs without the icon.
        EXPECT_EQ(tray.PlatformIcon() == nullptr, !QSystemTrayIcon::isSystemTrayAvailable());
        platform = tray.PlatformIcon();
        tray.SetIcon(QIcon());
        EXPECT_FALSE(tray.IsShown());
        tray.SetIcon(QIcon(art));
        EXPECT_EQ(tray.AddCount(), 2);
        platform = tray.PlatformIcon();
    }
    EXPECT_TRUE(platform.isNull());
}

} // namespace
} // namespace tavik::app
