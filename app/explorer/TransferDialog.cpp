#include "app/explorer/TransferDialog.h"

#include "app/explorer/ExplorerIds.h"
#include "app/explorer/PercentProgressCtrl.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/PocketShell.h"

#include "platform/AnsiCodePage.h"
#include "platform/WindowMessage.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavik::app {

namespace {

constexpr int IDC_BAR_1 = 1011;
constexpr int IDC_BAR_2 = 1012;
constexpr int IDC_CAPTION = 1026;
constexpr int IDC_BYTES = 1027;
constexpr int IDC_SPEED = 1028;
constexpr int IDC_REMAINING = 1029;
constexpr int IDC_FILES = 1030;
constexpr int IDC_OPEN_FOLDER = 1031;
constexpr int IDC_CLOSE = 1032;
constexpr int IDC_DISK_PATH = 1038;
constexpr int IDC_FILE = 1039;

QLabel* MakeLabel(const QString& text, const QString& name, int id, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAccessibleName(name);
    if (id != 0) {
        label->setObjectName(QString::number(id));
    }
    return label;
}

// A value label keeps its fixed accessible name (what the value is) and tells assistive tools
// the value itself as its description.
void SetValue(QLabel* label, const QString& value) {
    label->setText(value);
    label->setAccessibleDescription(value);
}

PercentProgressCtrl* MakeBar(int id, const QString& name, QWidget* parent) {
    auto* bar = new PercentProgressCtrl(parent);
    bar->setObjectName(QString::number(id));
    bar->setAccessibleName(name);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setMinimumHeight(18);
    return bar;
}

} // namespace

TransferDialog::TransferDialog(Direction direction, int* cancelFlag, CWindow* notifyWindow,
                               QWidget* owner)
    : QDialog(owner), direction_(direction), cancelFlag_(cancelFlag), notifyWindow_(notifyWindow) {
    setObjectName(QString::number(IDD_TRANSFER));
    setWindowTitle(kTransferDialogTitle);
    setAccessibleName(kTransferDialogTitle);
    setModal(false);
    HideTitleBarOkButton(this);
    BuildControls();
    PushTexts();
}

TransferDialog::~TransferDialog() = default;

void TransferDialog::BuildControls() {
    auto* linked =
        MakeLabel(QStringLiteral("연결된 TAVIK :"), QStringLiteral("연결된 TAVIK"), 0, this);
    diskPath_ = MakeLabel(QString(), QStringLiteral("TAVIK 경로"), IDC_DISK_PATH, this);
    caption_ = MakeLabel(CaptionText(), CaptionText().trimmed(), IDC_CAPTION, this);
    file_ = MakeLabel(QString(), QStringLiteral("파일 경로"), IDC_FILE, this);
    for (QLabel* path : {diskPath_, file_}) {
        path->setWordWrap(true);
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    bytes_ = MakeLabel(QString(), QStringLiteral("파일 크기"), IDC_BYTES, this);
    speed_ = MakeLabel(QString(), QStringLiteral("전송 속도"), IDC_SPEED, this);
    remaining_ = MakeLabel(QString(), QStringLiteral("남은 시간"), IDC_REMAINING, this);
    files_ = MakeLabel(QString(), QStringLiteral("진행 상태"), IDC_FILES, this);
    bar1_ = MakeBar(IDC_BAR_1, QStringLiteral("파일 진행률"), this);
    bar2_ = MakeBar(IDC_BAR_2, QStringLiteral("전체 진행률"), this);

    close_ = new QPushButton(QStringLiteral("취소"), this);
    close_->setObjectName(QString::number(IDC_CLOSE));
    close_->setAccessibleName(QStringLiteral("취소"));
    close_->setAutoDefault(false);
    openFolder_ = new QPushButton(QStringLiteral("다운로드 폴더 열기"), this);
    openFolder_->setObjectName(QString::number(IDC_OPEN_FOLDER));
    openFolder_->setAccessibleName(QStringLiteral("다운로드 폴더 열기"));
    openFolder_->setAutoDefault(false);
    openFolder_->hide();
    connect(close_, &QPushButton::clicked, this, &TransferDialog::OnCloseButton);
    connect(openFolder_, &QPushButton::clicked, this, &TransferDialog::OnOpenFolder);

    auto* figures = new QGridLayout();
    const std::pair<QString, QLabel*> rows[] = {
        {QStringLiteral("파일 크기:"), bytes_},
        {QStringLiteral("전송 속도:"), speed_},
        {QStringLiteral("남은 시간:"), remaining_},
        {QStringLiteral("진행 상태:"), files_},
    };
    int line = 0;
    for (const auto& [title, value] : rows) {
        figures->addWidget(MakeLabel(title, title.chopped(1), 0, this), line, 0);
        figures->addWidget(value, line, 1);
        ++line;
    }
    figures->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(openFolder_);
    buttons->addStretch(1);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(linked);
    layout->addWidget(diskPath_);
    layout->addWidget(caption_);
    layout->addWidget(file_);
    layout->addLayout(figures);
    layout->addWidget(bar1_);
    layout->addWidget(bar2_);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

QString TransferDialog::CaptionText() const {
    return direction_ == Direction::Download ? QStringLiteral("다운로드 파일명: ")
                                             : QStringLiteral("업로드 파일명: ");
}

void TransferDialog::SetFiles(int current, int total) {
    currentFile_ = current;
    totalFiles_ = total;
    PushTexts();
}

void TransferDialog::SetDiskPathText(const QString& text) {
    SetValue(diskPath_, text);
}

void TransferDialog::UpdateProgress(int percent, const TAVIK_PROGRESS& progress) {
    const TAVIK_TRANSFER* transfer = progress.pTransfer;
    const uint32_t total = transfer != nullptr ? transfer->dwEndPos : 0;
    const char* localPath = nullptr;
    if (transfer != nullptr) {
        localPath = direction_ == Direction::Download ? transfer->pszDstPath : transfer->pszSrcPath;
    }
    UpdateProgress(percent, progress.dwPos, total, progress.dwElapsed, localPath);
}

void TransferDialog::UpdateProgress(int percent, uint64_t done, uint64_t total, uint32_t elapsedMs,
                                    const char* localPath) {
    bar1_->setValue(percent);
    bar2_->setValue(percent);
    if (localPath != nullptr) {
        fileText_ = QString::fromStdU16String(platform::fromAnsi(localPath));
    }
    bytesText_ = app::BytesText(done, total);
    const std::optional<double> speed = TransferSpeed(done, elapsedMs);
    speedText_ = app::SpeedText(speed);
    remainingText_ = app::RemainingText(RemainingSeconds(done, total, speed));
    if (percent == 100) {
        if (currentFile_ == totalFiles_) {
            ShowDone();
        } else if (currentFile_ < totalFiles_) {
            ++currentFile_;
        }
    }
    PushTexts();
}

void TransferDialog::ShowDone() {
    close_->setText(QStringLiteral("완료"));
    close_->setAccessibleName(QStringLiteral("완료"));
    if (direction_ == Direction::Download) {
        openFolder_->show();
    }
}

void TransferDialog::UpdateBatchProgress(uint64_t done, uint64_t total, uint64_t elapsedMs,
                                         const QString& fileText) {
    const int percent = BatchPercent(done, total);
    bar1_->setValue(percent);
    bar2_->setValue(percent);
    fileText_ = fileText;
    bytesText_ = BatchBytesText(done, total);
    const std::optional<double> speed = BatchSpeed(done, elapsedMs);
    speedText_ = app::SpeedText(speed);
    remainingText_ = app::RemainingText(BatchRemainingSeconds(done, total, speed));
    PushTexts();
}

void TransferDialog::ShowBatchDone() {
    bar1_->setValue(100);
    bar2_->setValue(100);
    remainingText_ = app::RemainingText(0);
    ShowDone();
    PushTexts();
}

void TransferDialog::PushTexts() {
    SetValue(file_, fileText_);
    SetValue(bytes_, bytesText_);
    SetValue(speed_, speedText_);
    SetValue(remaining_, remainingText_);
    SetValue(files_,
             QStringLiteral("%1 / %2").arg(GroupDigits(currentFile_), GroupDigits(totalFiles_)));
}

QString TransferDialog::DiskPathText() const {
    return diskPath_->text();
}
QString TransferDialog::FileText() const {
    return file_->text();
}
QString TransferDialog::BytesText() const {
    return bytes_->text();
}
QString TransferDialog::SpeedText() const {
    return speed_->text();
}
QString TransferDialog::RemainingText() const {
    return remaining_->text();
}
QString TransferDialog::FilesText() const {
    return files_->text();
}
QString TransferDialog::CloseButtonText() const {
    return close_->text();
}
bool TransferDialog::OpenFolderShown() const {
    return !openFolder_->isHidden();
}
int TransferDialog::BarPosition() const {
    return bar2_->value();
}

void TransferDialog::OnCloseButton() {
    if (bar2_->value() > 99) {
        QDialog::reject();
        return;
    }
    const QString& question =
        direction_ == Direction::Download ? kCancelDownloadQuestion : kCancelUploadQuestion;
    if (CMessageBox::Show(question, QString(), MB_OKCANCEL | MB_ICONQUESTION, this) != IDOK) {
        return;
    }
    if (cancelFlag_ != nullptr) {
        *cancelFlag_ = 1;
    }
    QDialog::reject();
}

void TransferDialog::OnOpenFolder() {
    emit openFolderRequested();
    QDialog::reject();
}

void TransferDialog::reject() {
    OnCloseButton();
}

void TransferDialog::closeEvent(QCloseEvent* event) {
    // The window's own close asks like the close button; the dialog closes through done().
    event->ignore();
    OnCloseButton();
}

void TransferDialog::done(int result) {
    QDialog::done(result);
    // The window is gone for the user: the notify window's handler deletes the object.
    if (!goneSent_) {
        goneSent_ = true;
        platform::SendMessage(notifyWindow_, WM_TRANSFER_DIALOG_GONE, 0,
                              reinterpret_cast<LPARAM>(this));
    }
}

} // namespace tavik::app
