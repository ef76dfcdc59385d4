#include "app/explorer/CTransferFlow.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CBatchTransfer.h"
#include "app/explorer/CLocalBatchSource.h"
#include "app/explorer/CLocalCopy.h"
#include "app/explorer/CLocalReplacement.h"
#include "app/explorer/CRemoteBatchSource.h"
#include "app/explorer/CRemoteReplacement.h"
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/ConflictDialog.h"
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
#include <QFileInfo>

#include <map>

namespace tavik::app {

namespace {

// The remote bar's path as the dialog names the file: without its root component.
QString DiskPathText(const QString& remoteBarPath, const QString& name) {
    QString path = StripArrow(remoteBarPath);
    path.remove(QLatin1Char('/') + kRemoteRootComponent);
    return path + QLatin1Char('/') + name;
}

QStringList RowNames(const FileListCtrl& list, const std::vector<int>& rows) {
    QStringList names;
    for (const int row : rows) {
        names.append(list.Text(row, kColumnName));
    }
    return names;
}

// Several rows, or a folder, go as a batch; one file keeps the single-file road.
bool IsBatch(const FileListCtrl& list, const std::vector<int>& rows) {
    return rows.size() > 1 ||
           (rows.size() == 1 && list.Text(rows[0], kColumnSize) == kFolderSizeText);
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
    if (const std::vector<int> rows = list.SelectedRows(); IsBatch(list, rows)) {
        UploadBatch(RowNames(list, rows));
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
    // A server that knows only 32-bit positions would receive a bigger file cut short; the
    // clamp itself is no size it can be told either.
    if (plan.size >= CBatchPlanner::kClampedSize && !tavik_IsLargeFileSession(session)) {
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
    if (const std::vector<int> rows = list.SelectedRows(); IsBatch(list, rows)) {
        DownloadBatch(RowNames(list, rows));
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
    // A server that knows only 32-bit sizes reports the clamp for 4 GiB and more: a download
    // would stop there and leave the file cut short.
    if (plan.size >= CBatchPlanner::kClampedSize &&
        !tavik_IsLargeFileSession(view_.Document().CurrentSession())) {
        CMessageBox::Show(kFileTooLargeText, QString(), MB_OK | MB_ICONERROR, &view_);
        return;
    }
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
    TransferDialog* dialog = OpenDialog(plan.direction);
    dialog->SetFiles(1, 1);
    dialog->SetDiskPathText(plan.diskPathText);

    // A fresh hidden file is written from its first byte to its last.
    const Range range{source->c_str(), destination->c_str(), 0, plan.size, true};
    cancel_ = 0;
    shownDestination_ = plan.destination;

    running_ = true;
    view_.Document().SetSessionBusy(true);
    view_.LockPanes(true);
    const bool ok = CallLibrary(range);
    view_.LockPanes(false);
    view_.Document().SetSessionBusy(false);
    running_ = false;
    if (!ok) {
        return Outcome::Failed;
    }
    // The library reports a cancel as success: the file is incomplete all the same.
    return cancel_ != 0 ? Outcome::Cancelled : Outcome::Succeeded;
}

TransferDialog* CTransferFlow::OpenDialog(TransferDialog::Direction direction) {
    QWidget* owner = owner_ != nullptr ? owner_ : view_.window();
    auto* dialog = new TransferDialog(direction, &cancel_, NotifyWindow(), owner);
    connect(dialog, &TransferDialog::openFolderRequested, this,
            &CTransferFlow::openDownloadFolderRequested);
    dialog_ = dialog;
    dialog->show();
    return dialog;
}

bool CTransferFlow::CallLibrary(const Range& range) {
    const bool download =
        dialog_ ? dialog_->direction() == TransferDialog::Direction::Download : batchDownload_;
    // A batch keeps one pace of repaints over all its files: thousands of small files would
    // otherwise repaint the dialog once each.
    if (!batch_) {
        painted_ = false;
        pumped_ = false;
    }
    TAVIK_SESSION session = view_.Document().CurrentSession();
    if (tavik_IsLargeFileSession(session)) {
        TAVIK_TRANSFER64 transfer{};
        transfer.pszSrcPath = range.source;
        transfer.pszDstPath = range.destination;
        transfer.qwStartPos = range.start;
        transfer.qwEndPos = range.end;
        transfer.bTrunc = range.truncate ? 1 : 0;
        transfer.hNotifyWnd = NotifyWindow();
        transfer.uNotifyMsg = download ? WM_DOWNLOAD_PROGRESS64 : WM_UPLOAD_PROGRESS64;
        return (download ? tavik_Download64(session, &transfer, &cancel_)
                         : tavik_Upload64(session, &transfer, &cancel_)) != 0;
    }
    // A server that knows only 32-bit positions gets the design's record and notices.
    TAVIK_TRANSFER transfer{};
    transfer.pszSrcPath = range.source;
    transfer.pszDstPath = range.destination;
    transfer.dwStartPos = static_cast<DWORD>(range.start);
    transfer.dwEndPos = static_cast<DWORD>(range.end);
    transfer.bTrunc = range.truncate ? 1 : 0;
    transfer.hNotifyWnd = NotifyWindow();
    transfer.uNotifyMsg = download ? WM_DOWNLOAD_PROGRESS : WM_UPLOAD_PROGRESS;
    return (download ? tavik_Download(session, &transfer, &cancel_)
                     : tavik_Upload(session, &transfer, &cancel_)) != 0;
}

QWidget* CTransferFlow::BoxParent() {
    return &view_;
}

void CTransferFlow::SetConflictAsker(CConflictPolicy::Asker asker) {
    conflictAsker_ = std::move(asker);
}

void CTransferFlow::UploadBatch(const QStringList& names) {
    RunBatch(false, names);
}

void CTransferFlow::DownloadBatch(const QStringList& names) {
    RunBatch(true, names);
}

CConflictPolicy::Asker CTransferFlow::ConflictAsker() {
    if (conflictAsker_) {
        return conflictAsker_;
    }
    return [this](const ConflictQuestion& question) {
        return ConflictDialog::Ask(question, dialog_ ? static_cast<QWidget*>(dialog_) : &view_);
    };
}

void CTransferFlow::UploadFromHost(const QStringList& hostPaths) {
    // The library reads device paths: a file is reached only through the device root.
    const QString root = QString::fromStdString(platform::deviceRoot());
    std::map<QString, QStringList> byFolder;
    std::vector<BatchFailure> outside;
    for (const QString& path : hostPaths) {
        const QFileInfo info(path);
        const QString folder = info.absolutePath();
        if (folder != root && !folder.startsWith(root + QLatin1Char('/'))) {
            outside.push_back({path, kOutsideDeviceReason});
            continue;
        }
        QString device = folder.mid(root.size());
        device.replace(QLatin1Char('/'), QLatin1Char('\\'));
        byFolder[device].append(info.fileName());
    }
    if (!outside.empty()) {
        CMessageBox::Show(BatchFailureText(outside), QString(), MB_OK | MB_ICONERROR, &view_);
    }
    for (const auto& [folder, names] : byFolder) {
        RunBatch(false, names, &folder);
    }
}

void CTransferFlow::CopyFromHost(const QStringList& hostPaths) {
    if (running_ || hostPaths.isEmpty()) {
        return;
    }
    // One plan per folder the files come from; links are judged against that folder.
    std::map<QString, QStringList> byFolder;
    for (const QString& path : hostPaths) {
        const QFileInfo info(path);
        byFolder[info.absolutePath()].append(info.fileName());
    }
    const QString target = view_.CurrentDevicePath();
    std::vector<BatchFailure> failures;
    CLocalCopy copy(ConflictAsker());
    for (const auto& [folder, names] : byFolder) {
        if (copy.Cancelled()) {
            break;
        }
        CLocalBatchSource source(folder, CLocalBatchSource::Paths::Host);
        CBatchPlanner planner(source, CBatchPlanner::Direction::Download, folder, target);
        copy.Run(planner.PlanNames(names));
        failures.insert(failures.end(), copy.Failures().begin(), copy.Failures().end());
    }
    view_.ListLocalFolder(target);
    if (!failures.empty()) {
        CMessageBox::Show(BatchFailureText(failures), QString(), MB_OK | MB_ICONERROR, &view_);
    }
}

void CTransferFlow::RunBatch(bool download, const QStringList& names, const QString* uploadFolder) {
    if (running_ || names.isEmpty()) {
        return;
    }
    TAVIK_SESSION session = view_.Document().CurrentSession();
    const QString localFolder = uploadFolder != nullptr ? *uploadFolder : view_.CurrentDevicePath();
    const QString remoteFolder = view_.CurrentRemoteFolder();
    // The free space first, as for one file; the batch's total is known once it is walked.
    uint64_t freeBytes = 0;
    TAVIK_DISKSPACE space{};
    if (download ? !ProbeFreeSpace(localFolder, freeBytes) : !tavik_GetDiskSpace(&space, session)) {
        return;
    }
    if (download ? DownloadRefusedForSpace(freeBytes) : space.dwFree == 0) {
        CMessageBox::Show(kNoSpaceText, QString(), MB_OK, &view_);
        return;
    }
    if (!download) {
        freeBytes = static_cast<uint64_t>(space.dwBlock) * space.dwFree;
    }
    CLocalBatchSource localSource(localFolder);
    CRemoteBatchSource remoteSource(session);
    CBatchPlanner planner(
        download ? static_cast<BatchSource&>(remoteSource) : localSource,
        download ? CBatchPlanner::Direction::Download : CBatchPlanner::Direction::Upload,
        download ? remoteFolder : localFolder, download ? localFolder : remoteFolder);
    planner.AcceptLargeFiles(tavik_IsLargeFileSession(session) != 0);
    running_ = true;
    view_.Document().SetSessionBusy(true);
    view_.LockPanes(true);
    cancel_ = 0;
    BatchPlan plan = planner.PlanNames(names, &cancel_);
    const bool go = freeBytes >= plan.totalBytes ||
                    CMessageBox::Show(kNoSpaceQuestionText, QString(),
                                      MB_OKCANCEL | MB_ICONQUESTION, &view_) == IDOK;
    if (go) {
        if (download) {
            emit downloadFolderChosen(localFolder.isEmpty() ? QStringLiteral("\\") : localFolder);
        }
        CConflictPolicy::Asker asker = conflictAsker_;
        if (!asker) {
            asker = [this](const ConflictQuestion& question) {
                return ConflictDialog::Ask(question,
                                           dialog_ ? static_cast<QWidget*>(dialog_) : &view_);
            };
        }
        CBatchTransfer batch(
            *this, download ? CBatchPlanner::Direction::Download : CBatchPlanner::Direction::Upload,
            session, std::move(asker));
        batch.Run(std::move(plan));
    }
    view_.LockPanes(false);
    view_.Document().SetSessionBusy(false);
    running_ = false;
    if (download) {
        view_.ListLocalFolder(localFolder);
    } else {
        view_.ListRemoteFolder(remoteFolder);
    }
}

void CTransferFlow::BeginBatch(bool download, int files, uint64_t totalBytes) {
    batch_ = true;
    batchDownload_ = download;
    batchBefore_ = 0;
    batchTotal_ = totalBytes;
    batchFiles_ = files;
    batchFileText_.clear();
    batchFile_ = 0;
    batchShownName_.clear();
    batchClock_.start();
    painted_ = false;
    pumped_ = false;
    TransferDialog* dialog = OpenDialog(download ? TransferDialog::Direction::Download
                                                 : TransferDialog::Direction::Upload);
    dialog->SetFiles(0, files);
}

void CTransferFlow::NextBatchFile(int file, uint64_t bytesBefore, const QString& shownName,
                                  const QString& localPath) {
    batchBefore_ = bytesBefore;
    batchFileText_ = localPath;
    batchFile_ = file;
    batchShownName_ = shownName;
    const bool due = !painted_ || sincePaint_.elapsed() >= kRepaintIntervalMs;
    if (dialog_ && due) {
        painted_ = true;
        sincePaint_.start();
        ShowBatchFile(bytesBefore);
    }
}

void CTransferFlow::ShowBatchFile(uint64_t done) {
    dialog_->SetFiles(batchFile_, batchFiles_);
    dialog_->SetDiskPathText(DiskPathText(view_.RemoteBar().pathButton().Path(), batchShownName_));
    dialog_->UpdateBatchProgress(done, batchTotal_, static_cast<uint64_t>(batchClock_.elapsed()),
                                 batchFileText_);
}

void CTransferFlow::EndBatch(bool completed) {
    batch_ = false;
    if (completed && dialog_) {
        ShowBatchFile(batchTotal_);
        dialog_->ShowBatchDone();
    } else {
        // Stopped at a question: nothing runs any more for the dialog's "취소" to stop.
        CloseDialog();
    }
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
    const int percent = batch_ ? BatchPercent(batchBefore_ + notice.pos, batchTotal_)
                               : TransferPercent(notice.pos, notice.end);
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
    if (batch_) {
        ShowBatchFile(batchBefore_ + notice.pos);
        return;
    }
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
