// Plays the user's part at the login dialogs of a test: acts on each dialog that comes into
// sight, in order, from the event loop that the dialog runs.
#pragma once

#include "app/login/CLoginDlg.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

namespace tavik::test {

using app::CLoginDlg;

// Acts on each login dialog that the user would see, in order of appearance; one more than
// expected is ended as cancelled.
class DialogScript : public QObject {
public:
    using Action = std::function<void(CLoginDlg&)>;
    explicit DialogScript(std::vector<Action> actions) : pending_(actions.begin(), actions.end()) {
        connect(&timer_, &QTimer::timeout, this, &DialogScript::Look);
        timer_.start(10);
    }
    int Seen() const { return seen_; }

private:
    void Look() {
        auto* dialog = qobject_cast<CLoginDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible() || dialog == last_) {
            return;
        }
        last_ = dialog;
        ++seen_;
        if (pending_.empty()) {
            // A dialog the test did not expect: end it rather than wait forever.
            dialog->done(QDialog::Rejected);
            return;
        }
        Action action = std::move(pending_.front());
        pending_.pop_front();
        action(*dialog);
    }

    QTimer timer_;
    std::deque<Action> pending_;
    QPointer<CLoginDlg> last_;
    int seen_ = 0;
};

inline void ClickLogin(CLoginDlg& dialog) {
    qobject_cast<QPushButton*>(dialog.Control(CLoginDlg::IDC_LOGIN))->click();
}
inline void ClickCancel(CLoginDlg& dialog) {
    qobject_cast<QPushButton*>(dialog.Control(CLoginDlg::IDC_CANCEL))->click();
}

} // namespace tavik::test
