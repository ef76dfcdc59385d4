#include "app/explorer/ConflictDialog.h"

#include "app/explorer/TransferDialog.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CLanguage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavik::app {

namespace {

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

QString ConflictQuestionText(const ConflictQuestion& question) {
    return CLanguage::Tr(QStringLiteral("같은 이름의 파일이 이미 있습니다.\n%1\n보낼 파일: %2 "
                                        "byte\n있는 파일: %3 byte\n어떻게 하시겠습니까?"))
        .arg(question.name, GroupDigits(question.sourceSize),
             GroupDigits(question.destinationSize));
}

ConflictDialog::ConflictDialog(const ConflictQuestion& question, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(kTransferDialogTitle);
    setAccessibleName(QStringLiteral("같은 이름의 파일"));
    text_ = new QLabel(ConflictQuestionText(question), this);
    text_->setWordWrap(true);
    text_->setAccessibleName(QStringLiteral("질문"));
    text_->setAccessibleDescription(text_->text());
    replace_ = MakeButton(QStringLiteral("바꾸기(&R)"), QStringLiteral("바꾸기"), this);
    skip_ = MakeButton(QStringLiteral("건너뛰기(&S)"), QStringLiteral("건너뛰기"), this);
    resume_ = MakeButton(QStringLiteral("이어서 전송(&C)"), QStringLiteral("이어서 전송"), this);
    cancel_ = MakeButton(QStringLiteral("취소"), QStringLiteral("취소"), this);
    resume_->setVisible(question.resumable);
    applyToAll_ = new QCheckBox(QStringLiteral("모두 적용(&A)"), this);
    applyToAll_->setAccessibleName(QStringLiteral("모두 적용"));
    replace_->setDefault(true);

    connect(replace_, &QPushButton::clicked, this, [this] { Choose(ConflictAnswer::Replace); });
    connect(skip_, &QPushButton::clicked, this, [this] { Choose(ConflictAnswer::Skip); });
    connect(resume_, &QPushButton::clicked, this, [this] { Choose(ConflictAnswer::Resume); });
    connect(cancel_, &QPushButton::clicked, this, [this] { Choose(ConflictAnswer::Cancel); });

    auto* buttons = new QHBoxLayout();
    for (QPushButton* button : {replace_, skip_, resume_, cancel_}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(applyToAll_);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

ConflictReply ConflictDialog::Ask(const ConflictQuestion& question, QWidget* parent) {
    ConflictDialog dialog(question, parent);
    dialog.exec();
    return dialog.Reply();
}

void ConflictDialog::Choose(ConflictAnswer answer) {
    answer_ = answer;
    if (answer == ConflictAnswer::Cancel) {
        reject();
    } else {
        accept();
    }
}

ConflictReply ConflictDialog::Reply() const {
    // Escape and the window's close leave the answer at Cancel.
    return {answer_, answer_ != ConflictAnswer::Cancel && applyToAll_->isChecked()};
}

QPushButton* ConflictDialog::Button(ConflictAnswer answer) const {
    switch (answer) {
    case ConflictAnswer::Replace:
        return replace_;
    case ConflictAnswer::Skip:
        return skip_;
    case ConflictAnswer::Resume:
        return resume_;
    case ConflictAnswer::Cancel:
        break;
    }
    return cancel_;
}

QString ConflictDialog::Text() const {
    return text_->text();
}

} // namespace tavik::app
