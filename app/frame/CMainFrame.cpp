#include "app/frame/CMainFrame.h"

#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/ExplorerIds.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/login/CLoginDlg.h"
#include "app/login/QueryDiskInfo.h"
#include "app/res/ProgramResources.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CAccountStore.h"
#include "app/shell/CAboutDlg.h"
#include "app/shell/CLanguage.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/CShellOpen.h"
#include "app/shell/CTrayIcon2.h"
#include "app/shell/ProgramIcon.h"
#include "app/shell/SettingsDialog.h"
#include "app/socket/CEndpointWindow.h"
#include "app/socket/CWindowMessage.h"
#include "platform/CWindowEndpoint.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace tavik::app {

const QString CMainFrame::kLogoutPrompt = QStringLiteral("로그아웃 하시겠습니까?");
const QString CMainFrame::kLogoutForAnotherPrompt =
    QStringLiteral("로그아웃 후에 다른 이름으로 로그인 하시겠습니까?");

namespace {

// The tray menu sits above the handheld's task bar, 26 pixels high.
constexpr int kTaskBarHeight = 26;

} // namespace

CMainFrame::CMainFrame(CTavikPDADoc& document, QWidget* parent)
    : QMainWindow(parent), document_(document) {
    setObjectName(QStringLiteral("CMainFrame"));
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::Create() {
    // 1. The frame itself: the explorer's view takes the central place later.
    auto* central = new QWidget(this);
    central->setAccessibleName(QStringLiteral("TAVIK"));
    setCentralWidget(central);
    resize(480, 800);
    // 2.
    setWindowTitle(kExplorerTitle);
    setAccessibleName(kExplorerTitle);
    setWindowIcon(ProgramIcon());
    auto* endpoints = new CEndpointWindow(this);
    endpoints->Bind(platform::CWindowEndpoint::TitleName(kExplorerTitle.toStdU16String()));
    // 3. to 6.
    if (!CreateTrayIcon()) {
        return false;
    }
    logoutPrompt_ = kLogoutPrompt;
    autoLoginAllowed_ = CAccountGlobals::Instance().autoLogin;
    ReadSettings();
    return CreateCommandBar();
}

bool CMainFrame::CreateTrayIcon() {
    trayIcon_ = new CTrayIcon2(kTrayIconId, this);
    trayIcon_->SetNotificationTarget(this, WM_TRAY_CALLBACK);
    return trayIcon_->SetIcon(ProgramIcon(), QString());
}

void CMainFrame::ReadSettings() {
    CAccountStore store;
    diskInfoServer_ = store.DiskInfoServer();
    downloadPath_ = store.DownloadPath();
    hiddenFilesShown_ = store.ShowHiddenFiles();
}

void CMainFrame::SetHiddenFilesShown(bool shown) {
    hiddenFilesShown_ = shown;
    if (QAction* item = Action(ID_SHOW_HIDDEN_FILES)) {
        item->setChecked(shown);
    }
    CAccountStore().SetShowHiddenFiles(shown);
}

bool CMainFrame::CreateCommandBar() {
    QMenu* connection = menuBar()->addMenu(CLanguage::Tr(QStringLiteral("연결")));
    AddCommand(connection, ID_LOGIN, QStringLiteral("로그인"));
    AddCommand(connection, ID_LOGIN_AS_ANOTHER, QStringLiteral("다른 이름으로 로그인"));
    AddCommand(connection, ID_LOGOUT, QStringLiteral("로그아웃"));
    connection->addSeparator();
    // The remote pane's commands; the view keeps "연결끊기" greyed by its rule (nothing is
    // connected before the first disk list). "테스트" is a hidden diagnostic: reachable as a
    // command, never shown.
    AddCommand(connection, ID_CONNECT, QStringLiteral("연결"));
    AddCommand(connection, ID_DISCONNECT, QStringLiteral("연결끊기"))->setEnabled(false);
    AddCommand(connection, ID_TEST_COUNT, QStringLiteral("테스트"))->setVisible(false);
    connection->addSeparator();
    AddCommand(connection, ID_OPEN_DOWNLOAD_FOLDER, QStringLiteral("다운로드 폴더 열기"));
    AddCommand(connection, ID_SETTINGS, QStringLiteral("설정"));
    AddCommand(connection, ID_APP_ABOUT, QStringLiteral("TAVIK 탐색기 정보"));
    connection->addSeparator();
    AddCommand(connection, ID_APP_EXIT, QStringLiteral("종료"));

    QMenu* file = menuBar()->addMenu(CLanguage::Tr(QStringLiteral("파일")));
    AddCommand(file, ID_UPLOAD, QStringLiteral("업로드 하기"));
    AddCommand(file, ID_DOWNLOAD, QStringLiteral("다운로드 하기"));
    file->addSeparator();
    AddCommand(file, ID_NEW_FOLDER, QStringLiteral("새 폴더 만들기"));
    AddCommand(file, ID_RENAME, QStringLiteral("이름 바꾸기"));
    AddCommand(file, ID_DELETE, QStringLiteral("삭제하기"));
    AddCommand(file, ID_SELECT_ALL, QStringLiteral("모두 선택 하기"));
    AddCommand(file, ID_REFRESH, QStringLiteral("새로고침"));
    file->addSeparator();
    QAction* hidden = AddCommand(file, ID_SHOW_HIDDEN_FILES, QStringLiteral("숨김 파일 보기"));
    hidden->setCheckable(true);
    hidden->setChecked(hiddenFilesShown_);
    ShowMenuKeys();

    // Tool bar resource 128 with the five tooltips in their fixed order: the two menus,
    // then the three buttons.
    connection->menuAction()->setToolTip(QStringLiteral("연결"));
    file->menuAction()->setToolTip(QStringLiteral("파일"));
    commandBar_ = addToolBar(QStringLiteral("TAVIK"));
    commandBar_->setObjectName(QString::number(IDR_TOOLBAR));
    commandBar_->setAccessibleName(QStringLiteral("도구 모음"));
    commandBar_->setMovable(false);
    struct Button {
        int id;
        QString tip;
        QStyle::StandardPixmap art;
    };
    const Button buttons[] = {
        {ID_REFRESH, QStringLiteral("새로고침"), QStyle::SP_BrowserReload},
        {ID_NEW_FOLDER, QStringLiteral("새폴더"), QStyle::SP_FileDialogNewFolder},
        {ID_DELETE, QStringLiteral("삭제"), QStyle::SP_TrashIcon},
    };
    for (const Button& button : buttons) {
        auto* action =
            new QAction(style()->standardIcon(button.art), CLanguage::Tr(button.tip), commandBar_);
        action->setToolTip(button.tip);
        action->setStatusTip(button.tip); // the fly-by help
        action->setData(button.id);
        connect(action, &QAction::triggered, this, [this, id = button.id] { OnCommand(id); });
        commandBar_->addAction(action);
        commandBar_->widgetForAction(action)->setAccessibleName(button.tip);
    }

    trayMenu_ = new QMenu(QStringLiteral("Tray"), this);
    trayMenu_->setObjectName(QString::number(IDR_TRAY_MENU));
    trayMenu_->setAccessibleName(QStringLiteral("Tray"));
    AddCommand(trayMenu_, ID_TRAY_OPEN, QStringLiteral("TAVIK 열기"));
    QAction* exit = trayMenu_->addAction(CLanguage::Tr(QStringLiteral("TAVIK 종료")));
    exit->setData(ID_APP_EXIT);
    connect(exit, &QAction::triggered, this, [this] { OnCommand(ID_APP_EXIT); });
    return true;
}

void CMainFrame::ShowMenuKeys() {
    // The lists take these keys themselves (they act on the pane that has the focus); the menu
    // only names them, so its shortcuts are live only while the menu itself is open.
    const std::pair<int, const char*> keys[] = {
        {ID_NEW_FOLDER, "Ctrl+Shift+N"}, {ID_RENAME, "F2"},  {ID_DELETE, "Del"},
        {ID_SELECT_ALL, "Ctrl+A"},       {ID_REFRESH, "F5"}, {ID_SHOW_HIDDEN_FILES, "Ctrl+H"},
    };
    for (const auto& [id, key] : keys) {
        if (QAction* action = Action(id)) {
            action->setShortcut(QKeySequence(QString::fromLatin1(key)));
            action->setShortcutContext(Qt::WidgetShortcut);
        }
    }
}

QAction* CMainFrame::AddCommand(QMenu* menu, int commandId, const QString& text) {
    QAction* action = menu->addAction(CLanguage::Tr(text));
    action->setData(commandId);
    action->setStatusTip(text);
    connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
    actions_.emplace(commandId, action);
    return action;
}

QAction* CMainFrame::Action(int commandId) const {
    auto found = actions_.find(commandId);
    return found == actions_.end() ? nullptr : found->second;
}

void CMainFrame::SendCommand(int commandId) {
    OnCommand(commandId);
}

void CMainFrame::OnCommand(int commandId) {
    // A transfer is inside its library call: nothing may log out, close or replace the session.
    const bool busy = document_.SessionBusy();
    switch (commandId) {
    case ID_LOGIN:
    case ID_LOGIN_AS_ANOTHER:
    case ID_LOGOUT:
    case ID_APP_EXIT:
        if (busy) {
            return;
        }
        break;
    default:
        break;
    }
    switch (commandId) {
    case ID_SETTINGS:
        Settings();
        return;
    case ID_LOGIN:
        LoginAgain();
        return;
    case ID_LOGIN_AS_ANOTHER:
        LoginAsAnother();
        return;
    case ID_LOGOUT:
        Logout();
        return;
    case ID_APP_EXIT:
        ConfirmExit();
        return;
    case ID_OPEN_DOWNLOAD_FOLDER:
        OpenDownloadFolder();
        return;
    case ID_APP_ABOUT:
        About();
        return;
    case ID_TRAY_OPEN:
        update();
        showNormal();
        raise();
        activateWindow();
        return;
    default:
        emit viewCommand(commandId);
    }
}

bool CMainFrame::QueryDiskInfo() {
    const CAccountGlobals& account = CAccountGlobals::Instance();
    DiskInfoQuery query;
    query.userName = account.userName;
    query.domainSuffix = account.domainSuffix;
    query.ticket = account.diskTicket;
    query.server = diskInfoServer_;
    return app::QueryDiskInfo(query, document_, loggedIn_);
}

void CMainFrame::LoginAgain() {
    CAuthProgressDlg::CreateGlobal();
    CLoginDlg login(autoLoginAllowed_, this);
    int result = login.exec();
    if (result == QDialog::Accepted) {
        CLoginDlg::SaveAccount(CAccountGlobals::Instance(), launchedWithSessionKey_, this);
        QueryDiskInfo();
    }
    // The query closes the progress dialog when it is decided; one that failed early is
    // closed here.
    if (CAuthProgressDlg* progress = CAuthProgressDlg::Global()) {
        progress->StopWatchdog();
        progress->SetDiskStep(100);
    }
    if (result != QDialog::Accepted) {
        close();
    }
}

bool CMainFrame::Logout() {
    int answer = CMessageBox::Show(logoutPrompt_, QString(), MB_OKCANCEL | MB_ICONQUESTION, this);
    logoutPrompt_ = kLogoutPrompt;
    if (answer != IDOK) {
        return false;
    }
    document_.CloseAllSessions();
    loggedIn_ = false;
    return true;
}

void CMainFrame::LoginAsAnother() {
    logoutPrompt_ = kLogoutForAnotherPrompt;
    autoLoginAllowed_ = false;
    // A cancelled logout keeps the session: no second login over a live one.
    if (Logout()) {
        LoginAgain();
    }
}

void CMainFrame::ConfirmExit() {
    if (CMessageBox::Show(kConfirmExitText, QString(), MB_OKCANCEL | MB_ICONQUESTION, this) ==
        IDOK) {
        close();
    }
}

void CMainFrame::OpenDownloadFolder() {
    CShellOpen::Open(QString::fromStdU16String(downloadPath_));
}

void CMainFrame::Settings() {
    SettingsDialog dialog(QString::fromStdU16String(downloadPath_), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    downloadPath_ = dialog.Path().toStdU16String();
    CAccountStore().SetDownloadPath(downloadPath_);
    CLanguage::Store(dialog.ChosenLanguage());
    CSecuritySetting::Store(dialog.ChosenSecurity());
}

void CMainFrame::About() {
    CAboutDlg about(this);
    about.exec();
}

LRESULT CMainFrame::windowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    // The transfer messages are the view's business; the frame only relays them.
    if (msg == WM_UPLOAD_PROGRESS || msg == WM_DOWNLOAD_PROGRESS || msg == WM_UPLOAD_PROGRESS64 ||
        msg == WM_DOWNLOAD_PROGRESS64 || msg == WM_TRANSFER_DIALOG_GONE) {
        auto* view = dynamic_cast<CWindow*>(centralWidget());
        return view != nullptr ? view->windowProc(msg, wParam, lParam) : 0;
    }
    if (msg == WM_TRAY_CALLBACK && lParam == static_cast<LPARAM>(kWmLButtonDown)) {
        ShowTrayMenu();
    }
    return 0;
}

void CMainFrame::ShowTrayMenu() {
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 480, 800);
    QSize size = trayMenu_->sizeHint();
    // Right- and bottom-aligned at the screen's lower right corner, above the task bar.
    trayMenu_->popup(QPoint(area.right() + 1 - size.width(),
                            area.bottom() + 1 - kTaskBarHeight - size.height()));
}

bool CMainFrame::event(QEvent* event) {
    if (CWindowMessage::Dispatch(event, *this)) {
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The window manager's close button asks like "종료"; the program's own close does not.
    // Nothing closes while a transfer is inside its library call.
    if (document_.SessionBusy()) {
        event->ignore();
        return;
    }
    if (event->spontaneous()) {
        event->ignore();
        ConfirmExit();
        return;
    }
    event->accept();
    if (trayIcon_ != nullptr) {
        trayIcon_->Remove();
    }
    emit closed();
}

} // namespace tavik::app
