#include "app/explorer/CTransferFlow.h"

#include "app/explorer/CLocalReplacement.h"
#include "app/explorer/CRemoteReplacement.h"
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/LocalNames.h"
#include "app/explorer/PaneText.h"
#include "app/explorer/PathBar.h"
#include "app/explorer/PathButton.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CMessageBox.h"

#include "platform/LocalFileSystem.h"
#include "sdk/include/TavikSDK.h"

#include <QCoreApplication>

#include <limits>

namespace tavik::app {

namespace {

// The remote bar's path as the dialog names the file: without its root component.
QString DiskPathText(const QString& remoteBarPath, const QString& name) {
    QString path = StripArrow(remoteBarPath);
    path.remove(QLatin1Char('/') + kRemoteRootComponent);
    return path + QLatin1Char('/') + name;
}

QString LibraryErrorText() {
    LPCWSTR text = tavik_FormatMessage(tavik_GetLastError());
    return text != nullptr ? QString::fromUtf16(text) : QString();
}

} // namespace

CTransferFlow::CTransferFlow(CTavikPDAView& view) : QObject(&view), view_(view) {}

CTransferFlow::~CTransferFlow() {
    // A dialog left open after a transfer goes with the flow; it must not notify anybody then.
    if (dialog_) {
        delete dialog_.data();
    }
}

void CTransferFlow::SetNotifyWindow(CWindow* window, QWidget* owner) {
    notifyWindow_ = window;
    owner_ = owner;
}

void CTransferFlow::SetFreeSpaceProbe(FreeSpaceProbe probe) {
    freeSpaceProbe_ = std::move(probe);
}

CWindow* CTransferFlow::NotifyWindow() {
    return notifyWindow_ != nullptr ? notifyWindow_ : static_cast<CWindow*>(&view_);
}

bool CTransferFlow::ProbeFreeSpace(const QString& devicePath, uint64_t& freeBytes) const {
    if (freeSpaceProbe_) {
        return freeSpaceProbe_(devicePath, freeBytes);
    }
    uint64_t totalBytes = 0;
    return platform::getDiskFreeSpace(devicePath.toStdU16String(), freeBytes, totalBytes) ==
           platform::kErrorSuccess;
}

void CTransferFlow::Upload() {
    if (running_) {
        return;
    }
    FileListCtrl& list = view_.LocalList();
    list.setFocus();
    TAVIK_SESSION session = view_.Document().CurrentSession();
    TAVIK_DISKSPACE space{};
    if (!tavik_GetDiskSpace(&space, session)) {
        return;
    }
    if (space.dwFree == 0) {
        CMessageBox::Show(kNoSpaceText, QString(), MB_OK, &view_);
        return;
    }
    const int row = list.FirstSelectedRow();
    if (row < 0) {
        CMessageBox::Show(kNoUploadSelectionText, QString(), MB_OK, &view_);
        return;
    }
    const QString name = list.Text(row, kColumnName);
    const QString sizeText = list.Text(row, kColumnSize);
    if (sizeText == kFolderSizeText) {
        CMessageBox::Show(kFolderUploadText, QString(), MB_OK, &view_);
        return;
    }
    const std::optional<QString> source = EntryInFolder(view_.CurrentDevicePath(), name);
    if (!source) {
        CMessageBox::Show(UnusableNameText(name), QString(), MB_OK | MB_ICONERROR, &view_);
        return;
    }
    Plan plan{TransferDialog::Direction::Upload,  {}, {}, {}, {},
              ParseSizeText(sizeText).value_or(0)};
    plan.source = *source;
    // The size in full, from the file itself.
    platform::LocalFileInfo info;
    if (platform::getFileInfo(plan.source.toStdU16String(), info) == platform::kErrorSuccess) {
        plan.size = info.size;
    }
    // A server that knows only 32-bit positions would receive a bigger file cut short.
    if (plan.size > std::numeric_limits<uint32_t>::max() && !tavik_IsLargeFileSession(session)) {
        CMessageBox::Show(kFileTooLargeText, QString(), MB_OK | MB_ICONERROR, &view_);
        return;
    }
    if (UploadNeedsSpaceQuestion(space.dwBlock, space.dwFree, plan.size) &&
        CMessageBox::Show(kNoSpaceQuestionText, QString(), MB_OKCANCEL | MB_ICONQUESTION, &view_) !=
            IDOK) {
        return;
    }
    const QString remoteFolder = view_.CurrentRemoteFolder();
    plan.destination = remoteFolder + QLatin1Char('/') + name;
    plan.diskPathText = DiskPathText(view_.RemoteBar().pathButton().Path(), name);
    // The bytes go to a hidden name; the target changes only once they have all arrived.
    CRemoteReplacement replacement(session, remoteFolder);
    plan.transferDestination = replacement.Path();
    const Outcome outcome = Run(plan);
    if (outcome == Outcome::Refused) {
        return;
    }
    // The library's error first: what follows answers with its own.
    const QString errorText = LibraryErrorText();
    const CRemoteReplacement::CommitResult committed = outcome == Outcome::Succeeded
                                                           ? replacement.Commit(plan.destination)
                                                           : CRemoteReplacement::CommitResult{};
    // Gone before the folder is listed again, which would show it.
    replacement.Discard();
    if (outcome != Outcome::Failed) {
        if (outcome == Outcome::Succeeded && !committed.ok) {
            CMessageBox::Show(committed.errorText, QString(), MB_OK | MB_ICONERROR, &view_);
            CloseDialog();
        }
        view_.ListRemoteFolder(remoteFolder);
        return;
    }
    TAVIK_DISKSPACE after{};
    if (tavik_GetDiskSpace(&after, session)) {
        CMessageBox::Show(after.dwFree != 0 ? errorText : kUploadStoppedNoSpaceText, QString(),
                          MB_OK, &view_);
        view_.ListRemoteFolder(remoteFolder);
    }
    CloseDialog();
}

void CTransferFlow::Download() {
    if (running_) {
        return;
    }
    FileListCtrl& list = view_.RemoteList();
    list.setFocus();
    const int row = list.FirstSelectedRow();
    if (row < 0) {
        CMessageBox::Show(kNoDownloadSelectionText, QString(), MB_OK, &view_);
        return;
    }
    const QString localFolder = view_.CurrentDevicePath();
    uint64_t freeBytes = 0;
    if (!ProbeFreeSpace(localFolder, freeBytes)) {
        return;
    }
    if (DownloadRefusedForSpace(freeBytes)) {
        CMessageBox::Show(kNoSpaceText, QString(), MB_OK, &view_);
        return;
    }
    const QString name = list.Text(row, kColumnName);
    const QString sizeText = list.Text(row, kColumnSize);
    if (sizeText == kFolderSizeText) {
        CMessageBox::Show(kFolderDownloadText, QString(), MB_OK, &view_);
        return;
    }
    // A name that is no single local name would put the file beside the folder shown, not in it.
    const std::optional<QString> destination = EntryInFolder(localFolder, name);
    if (!destination) {
        CMessageBox::Show(UnusableNameText(name), QString(), MB_OK | MB_ICONERROR, &view_);
        return;
    }
    Plan plan{TransferDialog::Direction::Download, {}, {}, {}, {},
              ParseSizeText(sizeText).value_or(0)};
    if (DownloadNeedsSpaceQuestion(freeBytes, plan.size) &&
        CMessageBox::Show(kNoSpaceQuestionText, QString(), MB_OKCANCEL | MB_ICONQUESTION, &view_) !=
            IDOK) {
        return;
    }
    plan.source = view_.CurrentRemoteFolder() + QLatin1Char('/') + name;
    plan.diskPathText = DiskPathText(view_.RemoteBar().pathButton().Path(), name);
    // The device root's own path is "\\": an empty path would open nothing.
    emit downloadFolderChosen(localFolder.isEmpty() ? QStringLiteral("\\") : localFolder);
    plan.destination = *destination;
    // The bytes go to a hidden file beside the destination, which keeps its old contents until
    // they have all arrived.
    CLocalReplacement replacement(localFolder);
    if (!replacement.Ready()) {
        CMessageBox::Show(CannotCreateFileText(localFolder), QString(), MB_OK | MB_ICONERROR,
                          &view_);
        return;
    }
    plan.transferDestination = replacement.Path();
    const Outcome outcome = Run(plan);
    if (outcome == Outcome::Refused) {
        return;
    }
    const uint32_t commitError = outcome == Outcome::Succeeded
                                     ? replacement.Commit(plan.destination)
                                     : platform::kErrorSuccess;
    // Gone before the folder is listed again, which would show it.
    replacement.Discard();
    if (outcome != Outcome::Failed) {
        if (commitError != platform::kErrorSuccess) {
            const RenameFailure failure = LocalRenameFailure(commitError, false);
            CMessageBox::Show(failure.text, QString(), MB_OK | failure.icon, &view_);
            CloseDialog();
        }
        view_.ListLocalFolder(localFolder);
        return;
    }
    if (ProbeFreeSpace(localFolder, freeBytes)) {
        CMessageBox::Show(DownloadRefusedForSpace(freeBytes) ? kNoSpaceText : LibraryErrorText(),
                          QString(), MB_OK, &view_);
        view_.ListLocalFolder(localFolder);
    }
    CloseDialog();
}

CTransferFlow::Outcome CTransferFlow::Run(const Plan& plan) {
    // The record's paths live in 512-byte buffers: a longer path is refused, never cut.
    const std::optional<std::string> source = TransferPathBytes(plan.source);
    const std::optional<std::string> destination = TransferPathBytes(plan.transferDestination);
    if (!source || !destination || !TransferPathBytes(plan.destination)) {
        CMessageBox::Show(kPathTooLongText, QString(), MB_OK | MB_ICONERROR, &view_);
        return Outcome::Refused;
    }
    QWidget* owner = owner_ != nullptr ? owner_ : view_.window();
    auto* dialog = new TransferDialog(plan.direction, &cancel_, NotifyWindow(), owner);
    dialog->SetFiles(1, 1);
    dialog->SetDiskPathText(plan.diskPathText);
    connect(dialog, &TransferDialog::openFolderRequested, this,
            &CTransferFlow::openDownloadFolderRequested);
    dialog_ = dialog;
    dialog->show();

    cancel_ = 0;
    shownDestination_ = plan.destination;
    painted_ = false;
    pumped_ = false;

    running_ = true;
    view_.Document().SetSessionBusy(true);
    view_.LockPanes(true);
    const BOOL ok = Transfer(plan, *source, *destination);
    view_.LockPanes(false);
    view_.Document().SetSessionBusy(false);
    running_ = false;
    if (ok == 0) {
        return Outcome::Failed;
    }
    // The library reports a cancel as success: the file is incomplete all the same.
    return cancel_ != 0 ? Outcome::Cancelled : Outcome::Succeeded;
}

BOOL CTransferFlow::Transfer(const Plan& plan, const std::string& source,
                             const std::string& destination) {
    const bool download = plan.direction == TransferDialog::Direction::Download;
    TAVIK_SESSION session = view_.Document().CurrentSession();
    if (tavik_IsLargeFileSession(session)) {
        TAVIK_TRANSFER64 transfer{};
        transfer.pszSrcPath = source.c_str();
        transfer.pszDstPath = destination.c_str();
        transfer.qwEndPos = plan.size;
        // A fresh hidden file is written from its first byte to its last.
        transfer.bTrunc = 1;
        transfer.hNotifyWnd = NotifyWindow();
        transfer.uNotifyMsg = download ? WM_DOWNLOAD_PROGRESS64 : WM_UPLOAD_PROGRESS64;
        return download ? tavik_Download64(session, &transfer, &cancel_)
                        : tavik_Upload64(session, &transfer, &cancel_);
    }
    TAVIK_TRANSFER transfer{};
    transfer.pszSrcPath = source.c_str();
    transfer.pszDstPath = destination.c_str();
    transfer.dwStartPos = 0;
    transfer.dwEndPos = static_cast<uint32_t>(plan.size);
    transfer.bTrunc = 1;
    transfer.hNotifyWnd = NotifyWindow();
    transfer.uNotifyMsg = download ? WM_DOWNLOAD_PROGRESS : WM_UPLOAD_PROGRESS;
    return download ? tavik_Download(session, &transfer, &cancel_)
                    : tavik_Upload(session, &transfer, &cancel_);
}

LRESULT CTransferFlow::OnProgress(const TAVIK_PROGRESS* progress) {
    if (progress == nullptr || progress->pTransfer == nullptr) {
        return 0;
    }
    const TAVIK_TRANSFER& transfer = *progress->pTransfer;
    const bool download = transfer.uNotifyMsg == WM_DOWNLOAD_PROGRESS;
    return OnNotice({progress->dwPos, transfer.dwEndPos, progress->dwElapsed, progress->dwError,
                     download ? transfer.pszDstPath : transfer.pszSrcPath, download});
}

LRESULT CTransferFlow::OnProgress64(const TAVIK_PROGRESS64* progress) {
    if (progress == nullptr || progress->pTransfer == nullptr) {
        return 0;
    }
    const TAVIK_TRANSFER64& transfer = *progress->pTransfer;
    const bool download = transfer.uNotifyMsg == WM_DOWNLOAD_PROGRESS64;
    return OnNotice({progress->qwPos, transfer.qwEndPos, progress->dwElapsed, progress->dwError,
                     download ? transfer.pszDstPath : transfer.pszSrcPath, download});
}

LRESULT CTransferFlow::OnNotice(const Notice& notice) {
    const int percent = TransferPercent(notice.pos, notice.end);
    if (dialog_ && dialog_->isVisible()) {
        // Repainting after every 64 KiB block would cost more than the transfer itself.
        const bool due = !painted_ || sincePaint_.elapsed() >= kRepaintIntervalMs ||
                         percent == 100 || notice.error != 0;
        if (due) {
            ShowProgress(percent, notice);
            painted_ = true;
            sincePaint_.start();
        }
    }
    LetPendingEventsThrough();
    return 0;
}

void CTransferFlow::ShowProgress(int percent, const Notice& notice) {
    // A download writes to a hidden name; the dialog names the file the user asked for.
    if (!running_ || !notice.download) {
        dialog_->UpdateProgress(percent, notice.pos, notice.end, notice.elapsedMs,
                                notice.localPath);
        return;
    }
    const std::optional<std::string> shown = TransferPathBytes(shownDestination_);
    dialog_->UpdateProgress(percent, notice.pos, notice.end, notice.elapsedMs,
                            shown ? shown->c_str() : notice.localPath);
}

void CTransferFlow::LetPendingEventsThrough() {
    // What waits for the dialog and the frame (their repaints, their own messages) goes through
    // at every notification: that costs no system call.
    if (dialog_) {
        QCoreApplication::sendPostedEvents(dialog_);
    }
    QWidget* owner = owner_ != nullptr ? owner_ : view_.window();
    QCoreApplication::sendPostedEvents(owner);
    // Input from the window system (a tap on the close button) needs a whole pass of the event
    // loop, a poll of its descriptors. A notification comes every 64 KiB, tens of thousands of
    // times a second on a fast link, and a pass at each would slow the transfer itself; once a
    // millisecond is still far quicker than a hand or a screen can tell.
    if (!pumped_ || sincePump_.elapsed() >= kInputIntervalMs) {
        QCoreApplication::processEvents();
        pumped_ = true;
        sincePump_.start();
    }
}

void CTransferFlow::OnDialogGone(TransferDialog* dialog) {
    if (dialog == nullptr) {
        return;
    }
    // Another transfer's dialog may be the current one by now: only its own notice clears it.
    if (dialog_ == dialog) {
        dialog_ = nullptr;
    }
    dialog->deleteLater();
}

void CTransferFlow::CloseDialog() {
    if (dialog_ && dialog_->isVisible()) {
        dialog_->done(QDialog::Rejected);
    }
}

} // namespace tavik::app
