#include "app/frame/CTavikPDAApp.h"

#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/frame/CMainFrame.h"
#include "app/frame/CWebsiteShortcut.h"
#include "app/frame/LaunchParameters.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/login/CLoginDlg.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CUpdateMgr.h"
#include "app/shell/CMessageBox.h"

#include "app/explorer/ExplorerIds.h"

#include <QApplication>

namespace tavik::app {

CTavikPDAApp::CTavikPDAApp() = default;

CTavikPDAApp::~CTavikPDAApp() {
    ExitInstance();
}

bool CTavikPDAApp::InitInstance(const StartupOptions& options) {
    // 1. and 2. The socket layer needs no start on this platform, and the profile key is the
    // program's fixed one (CProfile).
    // 3.
    if (!CheckForUpdates(options.executablePath)) {
        return false;
    }
    // 4. and 5. (the command line is only read here, so there is nothing to clear).
    launchedWithSessionKey_ =
        ApplyLaunchParameters(options.commandLine, CAccountGlobals::Instance());
    // 6. to 9.
    if (!RunLogin()) {
        return false;
    }
    // 10.
    return CreateMainFrame();
}

bool CTavikPDAApp::CheckForUpdates(const std::string& executablePath) {
    updateMgr_ = std::make_unique<CUpdateMgr>();
    switch (updateMgr_->Init(executablePath)) {
    case CUpdateMgr::kInitContinue:
        return true;
    case CUpdateMgr::kInitUpdaterStarted:
        return false;
    case CUpdateMgr::kInitFailed:
        break;
    }
    CMessageBox::Show(CUpdateMgr::kInitFailedText, CUpdateMgr::kCaption, MB_OK | MB_ICONERROR);
    return false;
}

bool CTavikPDAApp::RunLogin() {
    CAuthProgressDlg* progress = CAuthProgressDlg::CreateGlobal();
    CLoginDlg login(true);
    if (login.exec() != QDialog::Accepted) {
        if (CAuthProgressDlg::Global() != nullptr) {
            CAuthProgressDlg::Global()->StopWatchdog();
        }
        CAuthProgressDlg::DestroyGlobal();
        return false;
    }
    progress = CAuthProgressDlg::Global();
    if (progress != nullptr) {
        progress->BringForward();
    }
    CLoginDlg::StoreAccount(CAccountGlobals::Instance(), launchedWithSessionKey_);
    if (progress != nullptr) {
        progress->SetDiskStep(5);
    }
    return true;
}

bool CTavikPDAApp::CreateMainFrame() {
    document_ = std::make_unique<CTavikPDADoc>();
    frame_ = std::make_unique<CMainFrame>(*document_);
    if (!frame_->Create()) {
        return false;
    }
    frame_->SetLaunchedWithSessionKey(launchedWithSessionKey_);
    connect(frame_.get(), &CMainFrame::closed, this, &CTavikPDAApp::finished);
    websiteShortcut_ = std::make_unique<CWebsiteShortcut>();
    websiteShortcut_->SetMainWindow(frame_.get());
    QCoreApplication::instance()->installEventFilter(websiteShortcut_.get());
    // The frame owns the view; the view asks for the disk list in its first update.
    auto* view = new CTavikPDAView(*document_, frame_.get());
    view->AttachToFrame(*frame_);
    frame_->show();
    view->OnInitialUpdate();
    return true;
}

void CTavikPDAApp::TakeLaunchParameters(const std::u16string& commandLine) {
    if (!frame_) {
        return;
    }
    frame_->SendCommand(ID_TRAY_OPEN);
    if (frame_->IsLoggedIn() || document_->SessionBusy() ||
        QApplication::activeModalWidget() != nullptr) {
        return;
    }
    const auto pairs = ParseLaunchParameters(commandLine);
    const auto user = pairs.find(u"u_id");
    if (user == pairs.end() || user->second.empty()) {
        return;
    }
    const bool withKey = ApplyLaunchParameters(commandLine, CAccountGlobals::Instance());
    frame_->SetLaunchedWithSessionKey(withKey);
    frame_->SetAutoLoginAllowed(withKey);
    frame_->LoginAgain();
}

int CTavikPDAApp::ExitInstance() {
    websiteShortcut_.reset();
    frame_.reset();
    document_.reset();
    updateMgr_.reset();
    CAuthProgressDlg::DestroyGlobal();
    return 0;
}

} // namespace tavik::app
