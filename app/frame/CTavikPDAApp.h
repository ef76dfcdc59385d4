// The application object: the program's start-up (InitInstance) and end (ExitInstance).
//
// InitInstance, in order: the update manager's check (the program ends when it fails, with
// "UpdateMgr을 초기화 하는데 실패했습니다.", or quietly when the updater took over); the account
// from the launch parameters or the registry; the progress dialog; the login dialog (cancel
// ends the program); the account saved or deleted; the document and the main frame, which then
// runs the disk-information query. It returns false when the program is to end at once.
//
// It is a plain object beside the QApplication (which main creates first), so that the tests,
// which have their own QApplication, run the same start-up.
// Ownership: owns the update manager, the document, the main frame and the web-site shortcut.
// Threads: user-interface thread.
#pragma once

#include <QObject>

#include <memory>
#include <string>

namespace tavik::app {

class CMainFrame;
class CTavikPDADoc;
class CUpdateMgr;
class CWebsiteShortcut;

struct StartupOptions {
    // Host path of the running program; the update manager finds its files from here.
    std::string executablePath;
    // The command line after the program's name (the launch parameters).
    std::u16string commandLine;
};

class CTavikPDAApp : public QObject {
    Q_OBJECT
public:
    CTavikPDAApp();
    ~CTavikPDAApp() override;

    bool InitInstance(const StartupOptions& options);
    // Destroys the main frame, the document (closing its sessions) and the update manager's
    // hidden window. Returns the program's exit code.
    int ExitInstance();

    // The launch parameters of a later launch (a link opened while the program runs): the main
    // window comes forward; while nobody is logged in and nothing else is asked, a line naming
    // a user logs that user in as a start with it would (with a session key at once, without
    // one through the login dialog). Ignored before the main window exists.
    void TakeLaunchParameters(const std::u16string& commandLine);

    CMainFrame* MainFrame() const { return frame_.get(); }
    CTavikPDADoc* Document() const { return document_.get(); }
    CUpdateMgr* UpdateMgr() const { return updateMgr_.get(); }
    bool LaunchedWithSessionKey() const { return launchedWithSessionKey_; }

signals:
    // The main window has closed: the program ends.
    void finished();

private:
    bool CheckForUpdates(const std::string& executablePath);
    bool RunLogin();
    bool CreateMainFrame();

    std::unique_ptr<CUpdateMgr> updateMgr_;
    std::unique_ptr<CTavikPDADoc> document_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<CWebsiteShortcut> websiteShortcut_;
    bool launchedWithSessionKey_ = false;
};

} // namespace tavik::app
