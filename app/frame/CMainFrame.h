// The explorer's main window: title "TAVIK 탐색기", the tray icon, the command bar (menus "연결"
// and "파일", tool buttons 새로고침 / 새폴더 / 삭제) and the login-related commands: log in again,
// log out, log in under another name, exit, open the download folder, about.
//
// Create() runs the creation steps in their fixed order; every command is a QAction carrying
// its command id (Action(id), SendCommand(id)). The explorer's commands (refresh, new folder,
// delete and the file menu) are handed on with viewCommand(id) to the view that handles them.
// Window messages reach windowProc: the tray icon's callback (32770); the transfer messages
// (0x081A, 0x081B, 0x081C) are handed to the central view's windowProc. While a transfer runs
// (the document's session is busy) logging in, logging out and exiting wait. The window can be
// found by its title from other programs (CEndpointWindow); WM_CLOSE from there closes it.
//
// Closing: a close the user asks for through the window manager goes through ConfirmExit, like
// "종료"; once the window is closed, closed() is emitted (the application ends on it).
// Ownership: the application object owns the frame; the frame owns its tray icon and actions.
// The document is the application's and must outlive the frame.
// Threads: user-interface thread.
#pragma once

#include "app/settings/ProgramConstants.h"
#include "sdk/include/TavikWindow.h"

#include <QMainWindow>
#include <QString>

#include <map>
#include <string>

class QAction;
class QMenu;
class QToolBar;

namespace tavik::app {

class CTavikPDADoc;
class CTrayIcon2;

class CMainFrame : public QMainWindow, public CWindow {
    Q_OBJECT
public:
    static const QString kLogoutPrompt;
    static const QString kLogoutForAnotherPrompt;

    explicit CMainFrame(CTavikPDADoc& document, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The creation steps; false when one fails (the frame is then not usable).
    bool Create();

    // Runs the disk-information query for the account globals and hands the list to the
    // document; returns (and keeps) the logged-in flag.
    bool QueryDiskInfo();

    void LoginAgain();
    // True when the user confirmed the logout.
    bool Logout();
    void LoginAsAnother();
    void ConfirmExit();
    void OpenDownloadFolder();
    void About();

    // The action of a command id (null for an unknown id), and triggering it as WM_COMMAND.
    QAction* Action(int commandId) const;
    void SendCommand(int commandId);

    // The account of a launch with a session key is never saved, here as at start-up.
    void SetLaunchedWithSessionKey(bool launched) { launchedWithSessionKey_ = launched; }

    bool IsLoggedIn() const { return loggedIn_; }
    bool AutoLoginAllowed() const { return autoLoginAllowed_; }
    void SetAutoLoginAllowed(bool allowed) { autoLoginAllowed_ = allowed; }
    const QString& LogoutPrompt() const { return logoutPrompt_; }
    const HostPort& DiskInfoServer() const { return diskInfoServer_; }
    const std::u16string& DownloadPath() const { return downloadPath_; }
    // The folder "다운로드 폴더 열기" opens, for this run (a download sets it).
    void SetDownloadPath(const std::u16string& path) { downloadPath_ = path; }
    // Whether My Device lists dot files, as stored in the settings; setting it stores it and
    // checks the menu item "숨김 파일 보기".
    bool HiddenFilesShown() const { return hiddenFilesShown_; }
    void SetHiddenFilesShown(bool shown);
    // The settings command: the settings dialog, then the new download folder is stored.
    void Settings();
    CTrayIcon2* TrayIcon() const { return trayIcon_; }
    QMenu* TrayMenu() const { return trayMenu_; }
    QToolBar* CommandBar() const { return commandBar_; }
    CTavikPDADoc& Document() const { return document_; }

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

signals:
    void viewCommand(int commandId);
    void closed();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool CreateTrayIcon();
    void ReadSettings();
    bool CreateCommandBar();
    void ShowMenuKeys();
    QAction* AddCommand(QMenu* menu, int commandId, const QString& text);
    void OnCommand(int commandId);
    void ShowTrayMenu();

    CTavikPDADoc& document_;
    bool loggedIn_ = false;
    bool autoLoginAllowed_ = false;
    bool launchedWithSessionKey_ = false;
    QString logoutPrompt_;
    HostPort diskInfoServer_;
    std::u16string downloadPath_;
    bool hiddenFilesShown_ = false;
    CTrayIcon2* trayIcon_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QToolBar* commandBar_ = nullptr;
    std::map<int, QAction*> actions_;
};

} // namespace tavik::app
