#include "app/login/CAuthProgressDlg.h"

#include "app/login/AuthResult.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CWindowMessage.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavik::app {

namespace {

const QString kAuthWorking = QStringLiteral("인증 처리 중...");
const QString kAuthDone = QStringLiteral("인증 처리 완료");
const QString kDiskWaiting = QStringLiteral("디스크 정보 가져오기");
const QString kDiskWorking = QStringLiteral("디스크 정보 가져오기...");
// The dialog resource's own texts of the two bars.
const QString kAuthBarName = QStringLiteral("인증 처리중...");
const QString kDiskBarName = QStringLiteral("정보 가져오는 중...");
const QString kStalled = QStringLiteral("현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!");

QPointer<CAuthProgressDlg>& globalDialog() {
    static QPointer<CAuthProgressDlg> dialog;
    return dialog;
}

QProgressBar* makeBar(QWidget* parent, const QString& name) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setAccessibleName(name);
    bar->setToolTip(name);
    return bar;
}

QLabel* makeLine(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setAccessibleName(text);
    return label;
}

} // namespace

CAuthProgressDlg::CAuthProgressDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CAuthProgressDlg"));
    setModal(false);
    setWindowTitle(QStringLiteral("TAVIK"));
    setAccessibleName(QStringLiteral("TAVIK"));

    authText_ = makeLine(this, kAuthWorking);
    authBar_ = makeBar(this, kAuthBarName);
    diskText_ = makeLine(this, kDiskWaiting);
    diskBar_ = makeBar(this, kDiskBarName);
    cancel_ = new QPushButton(QStringLiteral("취소"), this);
    cancel_->setAccessibleName(QStringLiteral("취소"));
    connect(cancel_, &QPushButton::clicked, this, &CAuthProgressDlg::Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(authText_);
    layout->addWidget(authBar_);
    layout->addWidget(diskText_);
    layout->addWidget(diskBar_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(240);

    watchdog_.setObjectName(QString::number(kWatchdogTimerId));
    watchdog_.setTimerType(Qt::PreciseTimer);
    watchdog_.setInterval(kWatchdogPeriodMs);
    connect(&watchdog_, &QTimer::timeout, this, &CAuthProgressDlg::OnWatchdog);
}

CAuthProgressDlg::~CAuthProgressDlg() = default;

CAuthProgressDlg* CAuthProgressDlg::CreateGlobal(QWidget* parent) {
    DestroyGlobal();
    // A top-level window that deletes itself when its work is done (CloseAfterDiskStep).
    globalDialog() = new CAuthProgressDlg(parent);
    return globalDialog().data();
}

CAuthProgressDlg* CAuthProgressDlg::Global() {
    return globalDialog().data();
}

void CAuthProgressDlg::DestroyGlobal() {
    delete globalDialog().data();
    globalDialog().clear();
}

void CAuthProgressDlg::BringForward() {
    show();
    raise();
    activateWindow();
}

void CAuthProgressDlg::SetOwnerWindow(QObject* owner) {
    owner_ = owner;
}

void CAuthProgressDlg::SetAuthStep(int position) {
    lastAuth_ = position;
    authBar_->setValue(position);
    if (position == 100) {
        authText_->setText(kAuthDone);
        authText_->setAccessibleName(kAuthDone);
        diskText_->setText(kDiskWorking);
        diskText_->setAccessibleName(kDiskWorking);
    }
    if (position > highestAuth_) {
        highestAuth_ = position;
        watchdog_.start();
    }
    Repaint();
}

void CAuthProgressDlg::SetDiskStep(int position) {
    lastDisk_ = position;
    diskBar_->setValue(position);
    Restart();
    if (position == 100) {
        CloseAfterDiskStep();
    }
}

void CAuthProgressDlg::StartWatchdog() {
    highestAuth_ = 0;
    watchdog_.start();
}

void CAuthProgressDlg::StopWatchdog() {
    watchdog_.stop();
}

void CAuthProgressDlg::SetWatchdogPeriod(int milliseconds) {
    watchdog_.setInterval(milliseconds);
}

QString CAuthProgressDlg::AuthText() const {
    return authText_->text();
}

QString CAuthProgressDlg::DiskText() const {
    return diskText_->text();
}

void CAuthProgressDlg::Cancel() {
    if (owner_) {
        CWindowMessage::Send(owner_.data(), WM_AUTHRESULT, 0, kAuthFailed);
        return;
    }
    StopWatchdog();
    hide();
}

void CAuthProgressDlg::reject() {
    Cancel();
}

void CAuthProgressDlg::Restart() {
    watchdog_.start();
    Repaint();
}

void CAuthProgressDlg::Repaint() {
    if (isVisible()) {
        repaint();
    }
}

QString CAuthProgressDlg::StalledText() {
    return kStalled;
}

bool CAuthProgressDlg::Stalled(int last, const QProgressBar& bar) {
    return last >= 1 && last <= 99 && bar.value() == last;
}

void CAuthProgressDlg::OnWatchdog() {
    bool authStalled = Stalled(lastAuth_, *authBar_);
    bool diskStalled = !authStalled && Stalled(lastDisk_, *diskBar_);
    if (!authStalled && !diskStalled) {
        return;
    }
    // Stopped before the box: the box's own event loop would otherwise let the timer fire again
    // and stack a second box on the first.
    StopWatchdog();
    QPointer<CAuthProgressDlg> self(this);
    CMessageBox::Show(kStalled, QString(), MB_OK | MB_ICONWARNING, this);
    if (!self) {
        return;
    }
    if (authStalled) {
        if (owner_) {
            CWindowMessage::Send(owner_.data(), WM_AUTHRESULT, 0, kAuthFailed);
        }
        return;
    }
    Cancel();
    if (self) {
        self->CloseAfterDiskStep();
    }
}

void CAuthProgressDlg::CloseAfterDiskStep() {
    StopWatchdog();
    if (globalDialog().data() == this) {
        globalDialog().clear();
    }
    // Hidden and deleted later, not closed: a close would run the cancel button's reaction.
    hide();
    deleteLater();
}

} // namespace tavik::app
