// The modeless progress dialog of one transfer (template 132, title "TAVIK - 다운/업"): the
// remote file under "연결된 TAVIK :", the local file under the caption "업로드 파일명: " or
// "다운로드 파일명: ", "파일 크기:" as "%s / %s byte", "전송 속도:" as "%5.2f k/s", "남은 시간:",
// "진행 상태:" as "%s / %s" files, two PercentProgressCtrl bars (1011, 1012), the close button
// (1032, "취소", "완료" once done) and "다운로드 폴더 열기" (1031, shown when a download
// completes). Each value label keeps a fixed accessible name and carries its value as its
// accessible description.
//
// Closing: the close button, Escape and the window's close all ask, while bar 1012 is not above
// 99, "파일을 다운로드하는 중 입니다. 다운로드 작업을 취소하시겠습니까?" (or the upload text)
// through CMessageBox; only OK sets the cancel flag to 1 and closes. After 100 % they close at
// once. "다운로드 폴더 열기" emits openFolderRequested, then closes. Whenever the dialog closes it
// sends WM_TRANSFER_DIALOG_GONE (lParam: this dialog) to its notify window, whose handler deletes
// it.
//
// Ownership: the cancel flag belongs to the caller and must outlive the library call, not the
// dialog. Threads: user-interface thread.
#pragma once

#include "sdk/include/TavikTransfer.h"
#include "sdk/include/TavikWindow.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace tavik::app {

class PercentProgressCtrl;

inline constexpr int IDD_TRANSFER = 132;

inline const QString kTransferDialogTitle = QStringLiteral("TAVIK - 다운/업");
inline const QString kCancelDownloadQuestion =
    QStringLiteral("파일을 다운로드하는 중 입니다. 다운로드 작업을 취소하시겠습니까?");
inline const QString kCancelUploadQuestion =
    QStringLiteral("파일을 업로드하는 중 입니다. 업로드 작업을 취소하시겠습니까?");

class TransferDialog : public QDialog {
    Q_OBJECT

public:
    enum class Direction { Upload = 0, Download = 1 };

    // cancelFlag: the flag handed to the library; notifyWindow receives WM_TRANSFER_DIALOG_GONE.
    TransferDialog(Direction direction, int* cancelFlag, CWindow* notifyWindow, QWidget* owner);
    ~TransferDialog() override;

    void SetFiles(int current, int total);
    void SetDiskPathText(const QString& text);

    // The dialog update of one notification: bars, file text, bytes, speed, remaining time, the
    // end state at 100 %; the texts are pushed and the dialog repainted at once.
    void UpdateProgress(int percent, const TAVIK_PROGRESS& progress);
    // The same from the parts of either progress record (32- or 64-bit positions); localPath
    // (ANSI) may be null.
    void UpdateProgress(int percent, uint64_t done, uint64_t total, uint32_t elapsedMs,
                        const char* localPath);

    // A batch's notification: the bars and bytes over the whole batch, the file text the file
    // under way ("진행 상태:" is set by SetFiles before each file).
    void UpdateBatchProgress(uint64_t done, uint64_t total, uint64_t elapsedMs,
                             const QString& fileText);
    // A batch that ran to its end: both bars at 100, "완료" on the close button and, after a
    // download, "다운로드 폴더 열기" (whatever the last file's bytes were).
    void ShowBatchDone();

    Direction direction() const { return direction_; }
    QString CaptionText() const;
    // What the controls show (for the tests and assistive tools).
    QString DiskPathText() const;
    QString FileText() const;
    QString BytesText() const;
    QString SpeedText() const;
    QString RemainingText() const;
    QString FilesText() const;
    QString CloseButtonText() const;
    bool OpenFolderShown() const;
    int BarPosition() const;

    // The close button's action (also Escape and the window's close).
    void OnCloseButton();
    void OnOpenFolder();

signals:
    void openFolderRequested();

public slots:
    void reject() override;
    // Hides the dialog and sends WM_TRANSFER_DIALOG_GONE (once).
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void PushTexts();
    void ShowDone();

    Direction direction_;
    int* cancelFlag_;
    CWindow* notifyWindow_;
    int totalFiles_ = 1;
    int currentFile_ = 1;
    bool goneSent_ = false;
    QLabel* diskPath_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* file_ = nullptr;
    QLabel* bytes_ = nullptr;
    QLabel* speed_ = nullptr;
    QLabel* remaining_ = nullptr;
    QLabel* files_ = nullptr;
    PercentProgressCtrl* bar1_ = nullptr;
    PercentProgressCtrl* bar2_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    QString fileText_, bytesText_, speedText_, remainingText_;
};

} // namespace tavik::app
