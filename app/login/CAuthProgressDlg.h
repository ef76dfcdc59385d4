// The login's progress dialog (resource 176, modeless): the authentication bar and the
// disk-information bar (0-100), a text line above each, a cancel button, and the watchdog that
// ends a login whose server stopped answering.
//
// StartWatchdog starts it (timer 5000, period 5000 ms) for a new login. A SetAuthStep beyond
// every earlier step of that login, and every SetDiskStep, restarts it, so each step forward must
// follow the previous one within the period; a step that repeats or goes back (a frame the
// conversation ignored) does not, so a server cannot keep a login waiting by sending frames that
// lead nowhere. When it fires:
//   - authentication bar stopped at 1..99: the box "현재 네트워크 상태를 체크하신 후 다시
//     접속해주십시오!", then WM_AUTHRESULT 0 to the owner (whose reaction hides this dialog);
//   - otherwise disk-information bar stopped at 1..99: the same box, then the dialog cancels
//     itself (WM_AUTHRESULT 0 to the owner, if it still exists) and closes, so the user is not
//     left with a dialog stuck at a bar position.
// The watchdog stops before its box, so a stalled step is reported once even while the box
// waits for the user. The disk-information bar at 100 closes the dialog.
//
// One dialog at a time is the program's: Global() (null when there is none). It is a top-level
// window that deletes itself (later, from the event loop) when the disk-information bar reaches
// 100 or after a disk-information time-out; the global pointer is cleared at that moment.
// DestroyGlobal() deletes it at once (not from inside the dialog's own handlers).
// Threads: user-interface thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tavik::app {

class CAuthProgressDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResourceId = 176;
    static constexpr int kWatchdogTimerId = 5000;
    static constexpr int kWatchdogPeriodMs = 5000;

    explicit CAuthProgressDlg(QWidget* parent = nullptr);
    ~CAuthProgressDlg() override;

    // The program's one progress dialog: CreateGlobal replaces (and deletes) any earlier one.
    static CAuthProgressDlg* CreateGlobal(QWidget* parent = nullptr);
    static CAuthProgressDlg* Global();
    static void DestroyGlobal();

    // Show, raise and activate ("bring forward and show").
    void BringForward();
    // The window that hears WM_AUTHRESULT (the login dialog); remembered weakly.
    void SetOwnerWindow(QObject* owner);
    QObject* OwnerWindow() const { return owner_.data(); }

    // Move a bar, restart the watchdog (the authentication bar: only beyond its highest step so
    // far) and repaint at once (the disk query blocks the event loop between its steps). The
    // authentication bar at 100 changes the two text lines; the disk-information bar at 100 closes
    // the dialog.
    void SetAuthStep(int position);
    void SetDiskStep(int position);
    // Starts the watchdog for a new login: its authentication steps count from nothing again.
    void StartWatchdog();
    void StopWatchdog();
    bool WatchdogActive() const { return watchdog_.isActive(); }
    // The period is 5000 ms; a test may shorten it.
    void SetWatchdogPeriod(int milliseconds);
    int WatchdogPeriod() const { return watchdog_.interval(); }

    // The box of a stalled login: "현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!".
    static QString StalledText();

    int AuthStep() const { return lastAuth_; }
    int DiskStep() const { return lastDisk_; }
    QString AuthText() const;
    QString DiskText() const;

    // The cancel button: WM_AUTHRESULT 0 to the owner. Without an owner nobody would hide the
    // dialog, so it then stops its watchdog and hides itself.
    void Cancel();

protected:
    // Escape and the window's close button act as the cancel button.
    void reject() override;

private:
    void OnWatchdog();
    void CloseAfterDiskStep();
    void Restart();
    void Repaint();
    static bool Stalled(int last, const QProgressBar& bar);

    QLabel* authText_ = nullptr;
    QLabel* diskText_ = nullptr;
    QProgressBar* authBar_ = nullptr;
    QProgressBar* diskBar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer watchdog_;
    QPointer<QObject> owner_;
    int lastAuth_ = 0;
    int highestAuth_ = 0;
    int lastDisk_ = 0;
};

} // namespace tavik::app
