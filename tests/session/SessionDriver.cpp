#include "tests/session/SessionDriver.h"

#include "app/explorer/CPopupMenu.h"
#include "app/shell/CMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeWidget>

namespace tavik::session {

namespace {

constexpr int kTickMs = 50;

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QPoint RowCenter(QTreeWidget* list, QTreeWidgetItem* item) {
    list->scrollToItem(item);
    return list->visualItemRect(item).center();
}

} // namespace

SessionDriver::SessionDriver(QString pictureFolder, int stepTimeoutMs)
    : pictureFolder_(std::move(pictureFolder)), stepTimeoutMs_(stepTimeoutMs) {
    ticker_.setInterval(kTickMs);
    connect(&ticker_, &QTimer::timeout, this, &SessionDriver::Tick);
    app::CMessageBox::SetAnswerer(
        [this](const app::MessageBoxRequest& request) { return AnswerBox(request); });
    app::CPopupMenu::SetChooser(
        [this](QMenu& menu, const QPoint&) { return ChoosePopupItem(menu); });
}

SessionDriver::~SessionDriver() {
    app::CMessageBox::SetAnswerer({});
    app::CPopupMenu::SetChooser({});
}

void SessionDriver::AddStep(SessionStep step) {
    steps_.push_back(std::move(step));
}

void SessionDriver::Start() {
    QDir().mkpath(pictureFolder_);
    ticker_.start();
}

bool SessionDriver::Succeeded() const {
    if (results_.size() != steps_.size()) {
        return false;
    }
    for (const StepResult& result : results_) {
        if (!result.problem.isEmpty()) {
            return false;
        }
    }
    return true;
}

// Runs from the ticker, also inside the nested event loops that a step's modal windows open;
// the guard keeps one tick from starting inside another.
void SessionDriver::Tick() {
    if (ticking_ || finished_) {
        return;
    }
    ticking_ = true;
    if (current_ >= steps_.size()) {
        finished_ = true;
        ticker_.stop();
        emit finished(Succeeded());
    } else if (!stepStarted_) {
        BeginStep();
    } else if (!unexpectedBox_.isEmpty()) {
        EndStep(QStringLiteral("unexpected box: \"%1\"").arg(unexpectedBox_));
    } else if (steps_[current_].done()) {
        const SessionStep& step = steps_[current_];
        EndStep(step.check ? step.check() : QString());
    } else if (NowMs() > stepDeadline_) {
        EndStep(QStringLiteral("nothing happened within %1 s").arg(stepTimeoutMs_ / 1000));
    }
    ticking_ = false;
}

void SessionDriver::BeginStep() {
    stepStarted_ = true;
    stepDeadline_ = NowMs() + stepTimeoutMs_;
    boxesOfStep_.clear();
    unexpectedBox_.clear();
    // The action runs on its own turn of the event loop: it may block in a modal window while
    // the ticker goes on polling.
    QTimer::singleShot(0, this, [this, index = current_] {
        if (!finished_ && index == current_ && steps_[index].act) {
            steps_[index].act();
        }
    });
}

void SessionDriver::EndStep(const QString& problem) {
    const SessionStep& step = steps_[current_];
    StepResult result;
    result.name = step.name;
    result.problem = problem;
    result.boxes = boxesOfStep_;
    result.picture = SavePicture(step);
    results_.push_back(result);
    ++current_;
    stepStarted_ = false;
    if (!problem.isEmpty()) {
        // A failed step leaves the program in a state the next steps do not expect.
        finished_ = true;
        ticker_.stop();
        emit finished(false);
    }
}

QString SessionDriver::SavePicture(const SessionStep& step) {
    QWidget* window = windowSource_ ? windowSource_() : nullptr;
    if (window == nullptr || !window->isVisible()) {
        return QString();
    }
    const QString path = QStringLiteral("%1/%2-%3.png")
                             .arg(pictureFolder_)
                             .arg(current_ + 1, 2, 10, QLatin1Char('0'))
                             .arg(step.shotName);
    return window->grab().save(path, "PNG") ? path : QString();
}

int SessionDriver::AnswerBox(const app::MessageBoxRequest& request) {
    boxesOfStep_.append(request.text);
    if (current_ < steps_.size() && steps_[current_].expectedBoxes.contains(request.text)) {
        return app::IDOK;
    }
    // A box nobody expected is an error the program reported: say no where it asks, and stop.
    unexpectedBox_ = request.text;
    return request.HasCancel() ? app::IDCANCEL : app::IDOK;
}

QAction* SessionDriver::ChoosePopupItem(QMenu& menu) {
    const QString wanted = current_ < steps_.size() ? steps_[current_].popupChoice : QString();
    for (QAction* action : menu.actions()) {
        if (!wanted.isEmpty() && action->text() == wanted && action->isEnabled()) {
            return action;
        }
    }
    return nullptr;
}

QWidget* SessionDriver::FindByAccessibleName(QWidget* root, const QString& name) {
    if (root == nullptr) {
        return nullptr;
    }
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (widget->accessibleName() == name && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

QTreeWidgetItem* SessionDriver::FindRow(QTreeWidget* list, const QString& text) {
    if (list == nullptr) {
        return nullptr;
    }
    const QList<QTreeWidgetItem*> rows = list->findItems(text, Qt::MatchExactly, 0);
    return rows.isEmpty() ? nullptr : rows.front();
}

QAction* SessionDriver::FindMenuAction(QMainWindow* window, const QString& menu,
                                       const QString& item) {
    if (window == nullptr) {
        return nullptr;
    }
    for (QAction* top : window->menuBar()->actions()) {
        if (top->text() != menu || top->menu() == nullptr) {
            continue;
        }
        for (QAction* action : top->menu()->actions()) {
            if (action->text() == item) {
                return action;
            }
        }
    }
    return nullptr;
}

void SessionDriver::Tap(QWidget* widget) {
    if (widget != nullptr) {
        QTest::mouseClick(widget, Qt::LeftButton);
    }
}

void SessionDriver::TapRow(QTreeWidget* list, QTreeWidgetItem* item,
                           Qt::KeyboardModifiers modifiers) {
    if (list != nullptr && item != nullptr) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, RowCenter(list, item));
    }
}

void SessionDriver::DoubleTapRow(QTreeWidget* list, QTreeWidgetItem* item) {
    if (list != nullptr && item != nullptr) {
        const QPoint center = RowCenter(list, item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, center);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, center);
    }
}

void SessionDriver::HoldRow(QTreeWidget* list, QTreeWidgetItem* item) {
    if (list == nullptr || item == nullptr) {
        return;
    }
    const QPoint center = RowCenter(list, item);
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, center);
    QContextMenuEvent hold(QContextMenuEvent::Mouse, center, list->viewport()->mapToGlobal(center));
    QApplication::sendEvent(list->viewport(), &hold);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, center);
}

namespace {

QLineEdit* LabelEditor(QTreeWidget* list) {
    if (list == nullptr) {
        return nullptr;
    }
    for (QLineEdit* editor : list->viewport()->findChildren<QLineEdit*>()) {
        if (editor->isVisible()) {
            return editor;
        }
    }
    return nullptr;
}

} // namespace

bool SessionDriver::TypeIntoLabelEditor(QTreeWidget* list, const QString& text) {
    QLineEdit* editor = LabelEditor(list);
    if (editor == nullptr) {
        return false;
    }
    editor->selectAll();
    // Korean is typed through an input method, which commits whole syllables.
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QApplication::sendEvent(editor, &typed);
    QTest::keyClick(editor, Qt::Key_Return);
    return true;
}

bool SessionDriver::PressInLabelEditor(QTreeWidget* list, Qt::Key key) {
    QLineEdit* editor = LabelEditor(list);
    if (editor == nullptr) {
        return false;
    }
    QTest::keyClick(editor, key);
    return true;
}

} // namespace tavik::session
