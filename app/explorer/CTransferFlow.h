// The explorer's upload and download of one file between the panes, with its TransferDialog.
//
// Upload copies the first selected row of the local list into the remote folder the remote pane
// shows; download copies the first selected row of the remote list into the local folder. Each
// checks the selection, the free space (asking before it goes on when the file looks too big),
// fills a TAVIK_TRANSFER and runs tavik_Upload / tavik_Download synchronously on this thread.
// The library sends WM_UPLOAD_PROGRESS / WM_DOWNLOAD_PROGRESS to the notify window (the main
// frame, which relays them to the view, which calls OnProgress) after every block. When the
// server agreed on 64-bit positions the record is a TAVIK_TRANSFER64 run by tavik_Upload64 /
// tavik_Download64, whose notices are WM_UPLOAD_PROGRESS64 / WM_DOWNLOAD_PROGRESS64
// (OnProgress64), relayed the same way.
//
// During the call: OnProgress updates the dialog at most about 30 times a second (always at
// 100 % and on an error notice), lets the events posted to the dialog and the frame through at
// every notification and reads the window system's input at most once a millisecond, so the
// close button, repainting and the window stay alive. Running() is true, and the view and
// frame keep every command that would use the session out until the call returns. The cancel
// flag is this object's, so it stays valid after the dialog is gone.
//
// The bytes never go straight to the file the user named: a download fills a hidden file beside
// it (CLocalReplacement), an upload a hidden remote name (CRemoteReplacement), and only a
// transfer that ends whole, uncancelled, puts the new file in the old one's place. A failed or
// cancelled transfer leaves the old file as it was. While the call runs the view's panes are
// locked (CTavikPDAView::LockPanes).
//
// Refusals (messages through CMessageBox): no selection, a folder, no space, a path longer than
// the transfer record's 512-byte buffers, a local file of 4 GiB or more, or a remote one the
// server reports with the clamped size 0xFFFFFFFF, when the server knows only 32-bit positions,
// a name that is no single local name (LocalNames.h), no hidden file to be made on the device.
// Several selected rows, or a folder among them, go as one batch instead
// (CBatchTransfer): every picked entry, folders walked (CBatchPlanner), in one dialog, existing
// files asked about. One selected file keeps the road above exactly.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/CConflictPolicy.h"
#include "app/explorer/TransferDialog.h"

#include "sdk/include/TavikLargeFiles.h"
#include "sdk/include/TavikTransfer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace tavik::app {

class CTavikPDAView;

class CTransferFlow : public QObject {
    Q_OBJECT

public:
    // The free bytes available to the user on the volume of a device path; false when unknown.
    using FreeSpaceProbe = std::function<bool(const QString& devicePath, uint64_t& freeBytes)>;

    explicit CTransferFlow(CTavikPDAView& view);
    ~CTransferFlow() override;

    // The window the library notifies and the dialog's owner; without one, the view itself.
    void SetNotifyWindow(CWindow* window, QWidget* owner);
    // Replaces the platform's free-space query (tests); an empty probe restores it.
    void SetFreeSpaceProbe(FreeSpaceProbe probe);

    void Upload();
    void Download();
    // The named rows of the local (upload) or remote (download) pane's folder as one batch.
    void UploadBatch(const QStringList& names);
    void DownloadBatch(const QStringList& names);
    // Files and folders of this machine (host paths, a drop from the desktop): uploaded into
    // the remote folder shown, from wherever they lie under the device root (one batch per
    // folder they come from); anything outside the device root is named and not sent.
    void UploadFromHost(const QStringList& hostPaths);
    // The same copied into the device folder the local pane shows (CLocalCopy), then listed.
    void CopyFromHost(const QStringList& hostPaths);
    // How a batch asks about an existing destination (tests); an empty one: ConflictDialog.
    void SetConflictAsker(CConflictPolicy::Asker asker);

    // For CBatchTransfer: the batch's dialog and progress, one library call at a time.
    void BeginBatch(bool download, int files, uint64_t totalBytes);
    void NextBatchFile(int file, uint64_t bytesBefore, const QString& shownName,
                       const QString& localPath);
    // One file's transfer: the ANSI paths (each within the record's 512-byte buffer) and the
    // byte range [start, end).
    struct Range {
        const char* source = nullptr;
        const char* destination = nullptr;
        uint64_t start = 0;
        uint64_t end = 0;
        bool truncate = true; // download: the local file is created anew
    };
    // One transfer with the notify window and message filled in, with 64-bit positions when the
    // session agreed on them (else the caller keeps end within 32 bits); false when it failed.
    bool CallLibrary(const Range& range);
    void EndBatch(bool completed);
    void RequestCancel() { cancel_ = 1; }
    QWidget* BoxParent();

    bool Running() const { return running_; }
    // The dialog of the last transfer while it is open, else null.
    TransferDialog* Dialog() const { return dialog_; }
    const int& CancelFlag() const { return cancel_; }

    // The frame's handlers, relayed by the view.
    LRESULT OnProgress(const TAVIK_PROGRESS* progress);
    LRESULT OnProgress64(const TAVIK_PROGRESS64* progress);
    void OnDialogGone(TransferDialog* dialog);

    // Updates the dialog at most this often (milliseconds), except at 100 % and on errors.
    static constexpr int kRepaintIntervalMs = 33;
    // Reads the window system's input at most this often (milliseconds) during a transfer.
    static constexpr int kInputIntervalMs = 1;

signals:
    // A download went to this local folder (device path): the frame's download folder.
    void downloadFolderChosen(const QString& devicePath);
    // The dialog's "다운로드 폴더 열기".
    void openDownloadFolderRequested();

private:
    struct Plan {
        TransferDialog::Direction direction;
        QString source;              // device path or remote path
        QString destination;         // the other side, as the user named it
        QString transferDestination; // where the bytes go: a hidden name beside destination
        QString diskPathText;        // the dialog's "연결된 TAVIK :" line
        uint64_t size = 0;
    };
    // What a notice says, from either progress record.
    struct Notice {
        uint64_t pos = 0;
        uint64_t end = 0;
        uint32_t elapsedMs = 0;
        uint32_t error = 0;
        const char* localPath = nullptr; // ANSI: what the library writes or reads
        bool download = false;
    };
    enum class Outcome { Refused, Succeeded, Cancelled, Failed };
    Outcome Run(const Plan& plan);
    // localFolder: the device folder of an upload's rows, when it is not the local pane's.
    void RunBatch(bool download, const QStringList& names, const QString* uploadFolder = nullptr);
    CConflictPolicy::Asker ConflictAsker();
    TransferDialog* OpenDialog(TransferDialog::Direction direction);
    // The batch's dialog at the current file, with `done` bytes of the batch moved.
    void ShowBatchFile(uint64_t done);
    CWindow* NotifyWindow();
    bool ProbeFreeSpace(const QString& devicePath, uint64_t& freeBytes) const;
    void CloseDialog();
    void LetPendingEventsThrough();
    LRESULT OnNotice(const Notice& notice);
    void ShowProgress(int percent, const Notice& notice);

    CTavikPDAView& view_;
    CWindow* notifyWindow_ = nullptr;
    QWidget* owner_ = nullptr;
    FreeSpaceProbe freeSpaceProbe_;
    QPointer<TransferDialog> dialog_;
    int cancel_ = 0;
    bool running_ = false;
    QString shownDestination_;
    bool painted_ = false;
    QElapsedTimer sincePaint_;
    bool pumped_ = false;
    QElapsedTimer sincePump_;
    CConflictPolicy::Asker conflictAsker_;
    // The batch under way: its bytes before the current file, its total, its clock.
    bool batch_ = false;
    bool batchDownload_ = false;
    uint64_t batchBefore_ = 0;
    uint64_t batchTotal_ = 0;
    int batchFiles_ = 0;
    QString batchFileText_;
    int batchFile_ = 0;
    QString batchShownName_;
    QElapsedTimer batchClock_;
};

} // namespace tavik::app
