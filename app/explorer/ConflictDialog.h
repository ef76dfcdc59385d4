// The question a batch asks before it touches a destination that already exists (title
// "TAVIK - 다운/업"): the name and both sizes, and the buttons "바꾸기" (replace), "건너뛰기"
// (skip), "이어서 전송" (resume; shown only when the destination can be continued) and "취소"
// (stop the batch), with the check box "모두 적용" (the same answer for the rest of the batch).
// Each control has an accessible name and a mnemonic; Escape and closing the window cancel.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/CConflictPolicy.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tavik::app {

// "같은 이름의 파일이 이미 있습니다." with the name and the two sizes, grouped.
QString ConflictQuestionText(const ConflictQuestion& question);

class ConflictDialog : public QDialog {
    Q_OBJECT

public:
    ConflictDialog(const ConflictQuestion& question, QWidget* parent);

    // Runs the dialog modally and returns the answer.
    static ConflictReply Ask(const ConflictQuestion& question, QWidget* parent);

    ConflictReply Reply() const;
    QPushButton* Button(ConflictAnswer answer) const;
    QCheckBox* ApplyToAllBox() const { return applyToAll_; }
    QString Text() const;

private:
    void Choose(ConflictAnswer answer);

    QLabel* text_ = nullptr;
    QPushButton* replace_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPushButton* resume_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QCheckBox* applyToAll_ = nullptr;
    ConflictAnswer answer_ = ConflictAnswer::Cancel;
};

} // namespace tavik::app
