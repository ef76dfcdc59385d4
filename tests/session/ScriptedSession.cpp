#include "tests/session/ScriptedSession.h"

#include "app/frame/CMainFrame.h"
#include "app/res/ProgramResources.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QTreeWidget>

namespace tavik::session {

namespace {

// Names a person reads on the screen (the controls' accessible names, the menus' texts).
const QString kRemoteList = QStringLiteral("원격 목록");
const QString kLocalList = QStringLiteral("로컬 목록");
const QString kConnectButton = QStringLiteral("연결");
const QString kDownloadButton = QStringLiteral("다운로드");
const QString kUploadButton = QStringLiteral("업로드");
const QString kConnectionMenu = QStringLiteral("연결");
const QString kFileMenu = QStringLiteral("파일");
const QString kTransferTitle = QStringLiteral("TAVIK - 다운/업");
const QString kTransferDone = QStringLiteral("완료");

void Trigger(QAction* action) {
    if (action != nullptr && action->isEnabled()) {
        action->trigger();
    }
}

} // namespace

ScriptedSession::ScriptedSession(app::CTavikPDAApp& app, app::StartupOptions options,
                                 const SessionFolders& folders)
    : app_(app), options_(std::move(options)), folders_(folders) {}

void ScriptedSession::AddSteps(SessionDriver& driver) {
    driver.SetWindowSource([this] { return ForemostWindow(); });
    for (SessionStep step :
         {LogIn(), ConnectDisk(), OpenFolder(), Download(), CloseTransfer(Direction::Download),
          Upload(), CloseTransfer(Direction::Upload), OpenBatchFolder(), BatchDownload(),
          CloseBatch(Direction::Download), FolderUpload(), CloseBatch(Direction::Upload),
          NewFolder(), Rename(), Delete(), LogOut(), Exit()}) {
        driver.AddStep(std::move(step));
    }
}

QWidget* ScriptedSession::Frame() const {
    return app_.MainFrame();
}

QWidget* ScriptedSession::ForemostWindow() const {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (QWidget* transfer = TransferDialog()) {
        return transfer;
    }
    return Frame();
}

QWidget* ScriptedSession::TransferDialog() const {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->accessibleName() == kTransferTitle) {
            return window;
        }
    }
    return nullptr;
}

QTreeWidget* ScriptedSession::RemoteList() const {
    return qobject_cast<QTreeWidget*>(SessionDriver::FindByAccessibleName(Frame(), kRemoteList));
}

QTreeWidget* ScriptedSession::LocalList() const {
    return qobject_cast<QTreeWidget*>(SessionDriver::FindByAccessibleName(Frame(), kLocalList));
}

bool ScriptedSession::RemoteListShows(const QString& name) const {
    return SessionDriver::FindRow(RemoteList(), name) != nullptr;
}

bool ScriptedSession::NoWindowIsModal() const {
    return QApplication::activeModalWidget() == nullptr;
}

QString ScriptedSession::OnDisk(const QString& relative) const {
    return folders_.DiskRoot() + QLatin1Char('/') + relative;
}

// A download goes into the folder the local pane shows: the top of My Device in this session.
QString ScriptedSession::DownloadedFile() const {
    return folders_.DeviceRoot() + QLatin1Char('/') + SessionFolders::kDownloadFile;
}

bool ScriptedSession::TransferDone() const {
    return SessionDriver::FindByAccessibleName(TransferDialog(), kTransferDone) != nullptr;
}

SessionStep ScriptedSession::LogIn() {
    SessionStep step;
    step.name = QStringLiteral("log in with the launch parameters (session key); the disk list");
    step.shotName = QStringLiteral("disk-list");
    // The start-up runs the login dialog modally; with a session key it logs in by itself.
    step.act = [this] {
        startedOk_ = app_.InitInstance(options_);
        started_ = true;
    };
    step.done = [this] {
        return started_ && (!startedOk_ || (RemoteListShows(kDiskName) && NoWindowIsModal()));
    };
    step.check = [this] {
        if (!startedOk_) {
            return QStringLiteral("the program did not start (login refused?)");
        }
        return app_.MainFrame()->IsLoggedIn() ? QString()
                                              : QStringLiteral("the main window is not logged in");
    };
    return step;
}

SessionStep ScriptedSession::ConnectDisk() {
    SessionStep step;
    step.name =
        QStringLiteral("tap \"%1\", tap \"%2\": the disk's folders").arg(kDiskName, kConnectButton);
    step.shotName = QStringLiteral("connected");
    step.act = [this] {
        SessionDriver::TapRow(RemoteList(), SessionDriver::FindRow(RemoteList(), kDiskName));
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(Frame(), kConnectButton));
    };
    step.done = [this] {
        return RemoteListShows(SessionFolders::kFolder) &&
               RemoteListShows(SessionFolders::kTopFile);
    };
    return step;
}

SessionStep ScriptedSession::OpenFolder() {
    SessionStep step;
    step.name = QStringLiteral("double-tap \"%1\": its files").arg(SessionFolders::kFolder);
    step.shotName = QStringLiteral("folder");
    step.act = [this] {
        SessionDriver::DoubleTapRow(RemoteList(),
                                    SessionDriver::FindRow(RemoteList(), SessionFolders::kFolder));
    };
    step.done = [this] {
        return RemoteListShows(SessionFolders::kDownloadFile) &&
               RemoteListShows(SessionFolders::kTextFile);
    };
    return step;
}

SessionStep ScriptedSession::Download() {
    SessionStep step;
    step.name = QStringLiteral("tap \"%1\", tap \"%2\": the progress dialog reads 완료")
                    .arg(SessionFolders::kDownloadFile, kDownloadButton);
    step.shotName = QStringLiteral("downloaded");
    step.act = [this] {
        SessionDriver::TapRow(RemoteList(),
                              SessionDriver::FindRow(RemoteList(), SessionFolders::kDownloadFile));
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(Frame(), kDownloadButton));
    };
    step.done = [this] {
        return NoWindowIsModal() &&
               QFileInfo(DownloadedFile()).size() ==
                   QFileInfo(OnDisk(SessionFolders::kFolder + QLatin1Char('/') +
                                    SessionFolders::kDownloadFile))
                       .size();
    };
    step.check = [this] {
        return SessionFolders::CompareFiles(
            OnDisk(SessionFolders::kFolder + QLatin1Char('/') + SessionFolders::kDownloadFile),
            DownloadedFile());
    };
    return step;
}

SessionStep ScriptedSession::Upload() {
    SessionStep step;
    step.name =
        QStringLiteral("tap \"%1\" in My Device, tap \"%2\": the progress dialog reads 완료")
            .arg(SessionFolders::kUploadFile, kUploadButton);
    step.shotName = QStringLiteral("uploaded");
    step.act = [this] {
        SessionDriver::TapRow(LocalList(),
                              SessionDriver::FindRow(LocalList(), SessionFolders::kUploadFile));
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(Frame(), kUploadButton));
    };
    step.done = [this] {
        return NoWindowIsModal() && RemoteListShows(SessionFolders::kUploadFile);
    };
    step.check = [this] {
        return SessionFolders::CompareFiles(
            folders_.DeviceRoot() + QLatin1Char('/') + SessionFolders::kUploadFile,
            OnDisk(SessionFolders::kFolder + QLatin1Char('/') + SessionFolders::kUploadFile));
    };
    return step;
}

// The transfer's library call has returned once the dialog reads "완료" and the pane is listed
// again, so the files are compared here.
SessionStep ScriptedSession::CloseTransfer(Direction direction) {
    SessionStep step;
    const bool download = direction == Direction::Download;
    step.name =
        QStringLiteral("tap \"%1\": %2")
            .arg(kTransferDone, download ? QStringLiteral("My Device lists the file, "
                                                          "identical to the disk's")
                                         : QStringLiteral("the remote folder lists the "
                                                          "file, identical to the device's"));
    step.shotName = download ? QStringLiteral("download-closed") : QStringLiteral("upload-closed");
    step.act = [this] {
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(TransferDialog(), kTransferDone));
    };
    const QString remoteCopy =
        OnDisk(SessionFolders::kFolder + QLatin1Char('/') +
               (download ? SessionFolders::kDownloadFile : SessionFolders::kUploadFile));
    const QString localCopy =
        download ? DownloadedFile()
                 : folders_.DeviceRoot() + QLatin1Char('/') + SessionFolders::kUploadFile;
    step.done = [this, download] {
        if (TransferDialog() != nullptr) {
            return false;
        }
        return download
                   ? SessionDriver::FindRow(LocalList(), SessionFolders::kDownloadFile) != nullptr
                   : RemoteListShows(SessionFolders::kUploadFile);
    };
    step.check = [remoteCopy, localCopy, download] {
        return download ? SessionFolders::CompareFiles(remoteCopy, localCopy)
                        : SessionFolders::CompareFiles(localCopy, remoteCopy);
    };
    return step;
}

SessionStep ScriptedSession::OpenBatchFolder() {
    SessionStep step;
    step.name = QStringLiteral("double-tap \"%1\" in My Device: its folder is listed")
                    .arg(SessionFolders::kBatchFolder);
    step.shotName = QStringLiteral("batch-folder");
    step.act = [this] {
        SessionDriver::DoubleTapRow(
            LocalList(), SessionDriver::FindRow(LocalList(), SessionFolders::kBatchFolder));
    };
    step.done = [this] {
        return SessionDriver::FindRow(LocalList(), SessionFolders::kUploadFolder) != nullptr;
    };
    return step;
}

QString ScriptedSession::InBatchFolder(const QString& relative) const {
    return folders_.DeviceRoot() + QLatin1Char('/') + SessionFolders::kBatchFolder +
           QLatin1Char('/') + relative;
}

bool ScriptedSession::BatchDialogReads(const QString& files) const {
    QWidget* dialog = TransferDialog();
    return dialog != nullptr && TransferDone() &&
           SessionDriver::FindByAccessibleName(dialog, QStringLiteral("진행 상태")) != nullptr &&
           SessionDriver::FindByAccessibleName(dialog, QStringLiteral("진행 상태"))
                   ->accessibleDescription() == files;
}

SessionStep ScriptedSession::BatchDownload() {
    SessionStep step;
    step.name = QStringLiteral("tap \"%1\", Ctrl+tap \"%2\", tap \"%3\": one dialog reads 2 / 2 "
                               "and 완료")
                    .arg(SessionFolders::kDownloadFile, SessionFolders::kTextFile, kDownloadButton);
    step.shotName = QStringLiteral("batch-downloaded");
    step.act = [this] {
        SessionDriver::TapRow(RemoteList(),
                              SessionDriver::FindRow(RemoteList(), SessionFolders::kDownloadFile));
        SessionDriver::TapRow(RemoteList(),
                              SessionDriver::FindRow(RemoteList(), SessionFolders::kTextFile),
                              Qt::ControlModifier);
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(Frame(), kDownloadButton));
    };
    step.done = [this] { return NoWindowIsModal() && BatchDialogReads(QStringLiteral("2 / 2")); };
    step.check = [this] {
        QString problem;
        for (const QString& name : {SessionFolders::kDownloadFile, SessionFolders::kTextFile}) {
            problem += SessionFolders::CompareFiles(
                OnDisk(SessionFolders::kFolder + QLatin1Char('/') + name), InBatchFolder(name));
        }
        return problem;
    };
    return step;
}

SessionStep ScriptedSession::FolderUpload() {
    SessionStep step;
    step.name = QStringLiteral("tap the folder \"%1\", tap \"%2\": the remote folder lists it, "
                               "every file in it identical")
                    .arg(SessionFolders::kUploadFolder, kUploadButton);
    step.shotName = QStringLiteral("folder-uploaded");
    step.act = [this] {
        SessionDriver::TapRow(LocalList(),
                              SessionDriver::FindRow(LocalList(), SessionFolders::kUploadFolder));
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(Frame(), kUploadButton));
    };
    step.done = [this] {
        return NoWindowIsModal() && BatchDialogReads(QStringLiteral("2 / 2")) &&
               RemoteListShows(SessionFolders::kUploadFolder);
    };
    step.check = [this] {
        QString problem;
        for (const QString& name : SessionFolders::kUploadFolderFiles) {
            const QString relative = SessionFolders::kUploadFolder + QLatin1Char('/') + name;
            problem += SessionFolders::CompareFiles(
                InBatchFolder(relative),
                OnDisk(SessionFolders::kFolder + QLatin1Char('/') + relative));
        }
        return problem;
    };
    return step;
}

SessionStep ScriptedSession::CloseBatch(Direction direction) {
    SessionStep step;
    const bool download = direction == Direction::Download;
    step.name = QStringLiteral("tap \"%1\": the dialog closes, %2")
                    .arg(kTransferDone, download ? QStringLiteral("My Device lists both files")
                                                 : QStringLiteral("the folder stays listed"));
    step.shotName =
        download ? QStringLiteral("batch-download-closed") : QStringLiteral("folder-upload-closed");
    step.act = [this] {
        SessionDriver::Tap(SessionDriver::FindByAccessibleName(TransferDialog(), kTransferDone));
    };
    step.done = [this, download] {
        if (TransferDialog() != nullptr) {
            return false;
        }
        return download ? SessionDriver::FindRow(LocalList(), SessionFolders::kTextFile) != nullptr
                        : RemoteListShows(SessionFolders::kUploadFolder);
    };
    return step;
}

SessionStep ScriptedSession::NewFolder() {
    SessionStep step;
    step.name =
        QStringLiteral("tap the remote list, menu 파일 > 새 폴더 만들기, Escape keeps \"%1\"")
            .arg(kNewFolder);
    step.shotName = QStringLiteral("new-folder");
    step.act = [this] {
        SessionDriver::TapRow(RemoteList(),
                              SessionDriver::FindRow(RemoteList(), SessionFolders::kTextFile));
        Trigger(SessionDriver::FindMenuAction(app_.MainFrame(), kFileMenu,
                                              QStringLiteral("새 폴더 만들기")));
        // The new folder's name is offered for editing; Escape keeps it.
        SessionDriver::PressInLabelEditor(RemoteList(), Qt::Key_Escape);
    };
    step.done = [this] {
        return NoWindowIsModal() && RemoteListShows(kNewFolder) &&
               QFileInfo(OnDisk(SessionFolders::kFolder + QLatin1Char('/') + kNewFolder)).isDir();
    };
    return step;
}

SessionStep ScriptedSession::Rename() {
    SessionStep step;
    step.name = QStringLiteral("hold \"%1\", pick 이름 바꾸기, type \"%2\"")
                    .arg(kNewFolder, kRenamedFolder);
    step.shotName = QStringLiteral("renamed");
    step.popupChoice = QStringLiteral("이름 바꾸기");
    step.act = [this] {
        QTreeWidget* list = RemoteList();
        SessionDriver::HoldRow(list, SessionDriver::FindRow(list, kNewFolder));
        SessionDriver::TypeIntoLabelEditor(list, kRenamedFolder);
    };
    step.done = [this] {
        return NoWindowIsModal() && RemoteListShows(kRenamedFolder) &&
               QFileInfo(OnDisk(SessionFolders::kFolder + QLatin1Char('/') + kRenamedFolder))
                   .isDir() &&
               !QFileInfo::exists(OnDisk(SessionFolders::kFolder + QLatin1Char('/') + kNewFolder));
    };
    return step;
}

SessionStep ScriptedSession::Delete() {
    SessionStep step;
    step.name = QStringLiteral("tap \"%1\", menu 파일 > 삭제하기, confirm").arg(kRenamedFolder);
    step.shotName = QStringLiteral("deleted");
    step.expectedBoxes = {QStringLiteral("해당 폴더와 폴더 내의 모든 파일을 삭제하시겠습니까?")};
    step.act = [this] {
        SessionDriver::TapRow(RemoteList(), SessionDriver::FindRow(RemoteList(), kRenamedFolder));
        Trigger(
            SessionDriver::FindMenuAction(app_.MainFrame(), kFileMenu, QStringLiteral("삭제하기")));
    };
    step.done = [this] {
        return NoWindowIsModal() && !RemoteListShows(kRenamedFolder) &&
               !QFileInfo::exists(
                   OnDisk(SessionFolders::kFolder + QLatin1Char('/') + kRenamedFolder));
    };
    return step;
}

SessionStep ScriptedSession::LogOut() {
    SessionStep step;
    step.name = QStringLiteral("menu 연결 > 로그아웃, confirm: the remote pane is empty");
    step.shotName = QStringLiteral("logged-out");
    step.expectedBoxes = {app::CMainFrame::kLogoutPrompt};
    step.act = [this] {
        Trigger(SessionDriver::FindMenuAction(app_.MainFrame(), kConnectionMenu,
                                              QStringLiteral("로그아웃")));
    };
    step.done = [this] {
        return !app_.MainFrame()->IsLoggedIn() && RemoteList() != nullptr &&
               RemoteList()->topLevelItemCount() == 0;
    };
    return step;
}

SessionStep ScriptedSession::Exit() {
    SessionStep step;
    step.name = QStringLiteral("menu 연결 > 종료, confirm: the program ends");
    step.shotName = QStringLiteral("exit");
    step.expectedBoxes = {app::kConfirmExitText};
    step.act = [this] {
        Trigger(SessionDriver::FindMenuAction(app_.MainFrame(), kConnectionMenu,
                                              QStringLiteral("종료")));
    };
    step.done = [this] { return !app_.MainFrame()->isVisible(); };
    return step;
}

} // namespace tavik::session
