// The explorer's upload and download of one file between the panes, with its TransferDialog.
//
// Upload copies the first selected row of the local list into the remote folder the remote pane
// shows; download copies the first selected row of the remote list into the local folder. Each
// checks the selection, the free space (asking before it goes on when the file looks too big),
// fills a TAVIK_TRANSFER and runs tavik_Upload / tavik_Download synchronously on this thread.
// The library sends WM_UPLOAD_PROGRESS / WM_DOWNLOAD_PROGRESS to the notify window (the main
// frame, which relays them to the view, which calls OnProgress) after every block.
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
// When the server agreed on 64-bit positions the transfer runs through tavik_Download64 /
// tavik_Upload64 and its notices are WM_UPLOAD_PROGRESS64 / WM_DOWNLOAD_PROGRESS64 (OnProgress64);
// otherwise it is the design's 32-bit call and notices.
//
// Refusals (messages through CMessageBox): no selection, a folder, no space, a path longer than
// the transfer record's 512-byte buffers, a local file of 4 GiB or more when the server knows
// only 32-bit positions, a
// name that is no single local name (LocalNames.h), no hidden file to be made on the device.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/TransferDialog.h"

#include "sdk/include/TavikLargeFiles.h"
#include "sdk/include/TavikTransfer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

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
        const char* localPath = nullptr; // ANSI, what the library writes or reads
        bool download = false;
    };
    enum class Outcome { Refused, Succeeded, Cancelled, Failed };
    Outcome Run(const Plan& plan);
    CWindow* NotifyWindow();
    bool ProbeFreeSpace(const QString& devicePath, uint64_t& freeBytes) const;
    void CloseDialog();
    void LetPendingEventsThrough();
    LRESULT OnNotice(const Notice& notice);
    void ShowProgress(int percent, const Notice& notice);
    // The library call of Run: the 64-bit one when the session agreed on it.
    BOOL Transfer(const Plan& plan, const std::string& source, const std::string& destination);

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
};

} // namespace tavik::app
