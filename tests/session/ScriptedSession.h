// The scripted session a newcomer would go through with the explorer, as the driver's steps:
// log in through the launch parameters (a session key), see the disk list, connect the disk, open
// a folder, download a file, upload a file (each closing its progress dialog at "완료"), make a new
// folder, rename it, delete it, log out and leave the program. Each step checks what a person would
// see (rows of the lists) and what the service's disk holds (the transferred files byte for byte,
// the folder made, renamed, gone). Ownership: refers to the application object and the folders;
// both outlive the session.
#pragma once

#include "app/frame/CTavikPDAApp.h"
#include "tests/session/SessionDriver.h"
#include "tests/session/SessionFolders.h"

namespace tavik::app {
class CTavikPDAView;
} // namespace tavik::app

class QTreeWidget;

namespace tavik::session {

class ScriptedSession {
public:
    static inline const QString kDiskName = QStringLiteral("데모 디스크");
    static inline const QString kNewFolder = QStringLiteral("새 폴더");
    static inline const QString kRenamedFolder = QStringLiteral("이름 바꾼 폴더");

    ScriptedSession(app::CTavikPDAApp& app, app::StartupOptions options,
                    const SessionFolders& folders);

    // Adds the steps, in order, to the driver.
    void AddSteps(SessionDriver& driver);

private:
    SessionStep LogIn();
    SessionStep ConnectDisk();
    SessionStep OpenFolder();
    SessionStep Download();
    enum class Direction { Download, Upload };
    SessionStep CloseTransfer(Direction direction);
    SessionStep Upload();
    QString InBatchFolder(const QString& relative) const;
    // The open transfer dialog reads "완료" and its "진행 상태" the given files.
    bool BatchDialogReads(const QString& files) const;
    SessionStep OpenBatchFolder();
    SessionStep BatchDownload();
    SessionStep FolderUpload();
    SessionStep CloseBatch(Direction direction);
    SessionStep NewFolder();
    SessionStep Rename();
    SessionStep Delete();
    SessionStep LogOut();
    SessionStep Exit();

    QWidget* Frame() const;
    // What a picture shows: a modal window, else the transfer dialog, else the main window.
    QWidget* ForemostWindow() const;
    QWidget* TransferDialog() const;
    // The transfer dialog's close button reads "완료".
    bool TransferDone() const;
    QTreeWidget* RemoteList() const;
    QTreeWidget* LocalList() const;
    bool RemoteListShows(const QString& name) const;
    bool NoWindowIsModal() const;
    QString OnDisk(const QString& relative) const;
    QString DownloadedFile() const;

    app::CTavikPDAApp& app_;
    app::StartupOptions options_;
    const SessionFolders& folders_;
    bool started_ = false;
    bool startedOk_ = false;
};

} // namespace tavik::session
