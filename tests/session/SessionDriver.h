// Drives the running program the way a person does, one step after another: it taps rows and
// buttons found by their accessible names, picks menu items and pop-up items by their texts,
// types into the list's label editor, and answers the boxes the program shows through its one
// message-box function. After each step it saves a picture of the main window.
//
// A step has an action and a condition. The action runs from the event loop, so that it may open
// modal windows of its own (the login dialog, a transfer's progress dialog): a timer keeps
// polling inside such nested loops, acts on what the step expects, and moves on once the
// condition holds. Every step has a bounded wait; a step that does not reach its condition, or a
// box nobody expected, ends the session as failed.
// Ownership: the driver owns its steps and installs the process-wide message-box answerer and
// pop-up chooser for its lifetime. Threads: user-interface thread.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tavik::app {
struct MessageBoxRequest;
} // namespace tavik::app

namespace tavik::session {

struct SessionStep {
    QString name;     // one line for the report
    QString shotName; // its picture is "NN-<shotName>.png", NN the step's number
    std::function<void()> act;
    // Polled until true; then `check` says whether the step did what it should.
    std::function<bool()> done;
    // Empty when all is well, else what went wrong.
    std::function<QString()> check;
    // Texts of the boxes this step expects; each is answered OK (a question too).
    QStringList expectedBoxes;
    // The text of the pop-up item this step picks from a list's menu, if any.
    QString popupChoice;
};

struct StepResult {
    QString name;
    QString picture; // path of the saved picture, empty when none
    QString problem; // empty when the step succeeded
    QStringList boxes;
};

class SessionDriver : public QObject {
    Q_OBJECT
public:
    SessionDriver(QString pictureFolder, int stepTimeoutMs);
    ~SessionDriver() override;

    void AddStep(SessionStep step);
    // The window that pictures are taken of (the main window once it exists).
    void SetWindowSource(std::function<QWidget*()> source) { windowSource_ = std::move(source); }
    // Starts the first step from the event loop.
    void Start();

    size_t StepCount() const { return steps_.size(); }
    const std::vector<StepResult>& Results() const { return results_; }
    bool Succeeded() const;

    // What a person finds and does. Lookups return null when nothing visible matches.
    static QWidget* FindByAccessibleName(QWidget* root, const QString& name);
    static QTreeWidgetItem* FindRow(QTreeWidget* list, const QString& text);
    static QAction* FindMenuAction(QMainWindow* window, const QString& menu, const QString& item);
    static void Tap(QWidget* widget);
    // A tap on the row; with Qt::ControlModifier it adds the row to the selection.
    static void TapRow(QTreeWidget* list, QTreeWidgetItem* item,
                       Qt::KeyboardModifiers modifiers = {});
    static void DoubleTapRow(QTreeWidget* list, QTreeWidgetItem* item);
    // Tap and hold on the row: the list's pop-up opens (and the step's popupChoice is picked).
    static void HoldRow(QTreeWidget* list, QTreeWidgetItem* item);
    // Types the text (as an input method commits it) into the list's open label editor, replacing
    // what it holds, and presses Enter; false without an editor.
    static bool TypeIntoLabelEditor(QTreeWidget* list, const QString& text);
    // Presses the key in the list's open label editor; false without an editor.
    static bool PressInLabelEditor(QTreeWidget* list, Qt::Key key);

signals:
    void finished(bool succeeded);

private:
    void Tick();
    void BeginStep();
    void EndStep(const QString& problem);
    QString SavePicture(const SessionStep& step);
    int AnswerBox(const app::MessageBoxRequest& request);
    QAction* ChoosePopupItem(QMenu& menu);

    QString pictureFolder_;
    int stepTimeoutMs_;
    std::vector<SessionStep> steps_;
    std::vector<StepResult> results_;
    std::function<QWidget*()> windowSource_;
    QTimer ticker_;
    size_t current_ = 0;
    bool stepStarted_ = false;
    bool ticking_ = false;
    bool finished_ = false;
    qint64 stepDeadline_ = 0;
    QStringList boxesOfStep_;
    QString unexpectedBox_;
};

} // namespace tavik::session
