#include "app/shell/CMessageBox.h"

#include "app/shell/CLanguage.h"

#include <QMessageBox>
#include <QPushButton>

#include <mutex>

namespace tavik::app {

namespace {

struct AnswererSlot {
    std::mutex lock;
    CMessageBox::Answerer answerer;
};

AnswererSlot& slot() {
    static AnswererSlot instance;
    return instance;
}

CMessageBox::Answerer currentAnswerer() {
    AnswererSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.answerer;
}

QMessageBox::Icon qtIcon(unsigned icon) {
    switch (icon) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int showOnScreen(const MessageBoxRequest& request, QWidget* parent) {
    QMessageBox box(qtIcon(request.Icon()), request.caption, request.text, QMessageBox::NoButton,
                    parent);
    box.setAccessibleName(request.caption);
    QPushButton* ok = box.addButton(QStringLiteral("확인"), QMessageBox::AcceptRole);
    ok->setAccessibleName(QStringLiteral("확인"));
    QPushButton* cancel = nullptr;
    if (request.HasCancel()) {
        cancel = box.addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
        cancel->setAccessibleName(QStringLiteral("취소"));
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok ? IDOK : (request.HasCancel() ? IDCANCEL : IDOK);
}

} // namespace

int CMessageBox::Show(const QString& text, const QString& caption, unsigned style,
                      QWidget* parent) {
    MessageBoxRequest request{CLanguage::Tr(text),
                              caption.isEmpty() ? QStringLiteral("TAVIK") : CLanguage::Tr(caption),
                              style};
    Answerer answerer = currentAnswerer();
    if (!answerer) {
        return showOnScreen(request, parent);
    }
    int answer = answerer(request);
    return answer == 0 ? IDOK : answer;
}

CMessageBox::Answerer CMessageBox::SetAnswerer(Answerer answerer) {
    AnswererSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    std::swap(s.answerer, answerer);
    return answerer;
}

struct CMessageBox::Recorder::State {
    std::mutex lock;
    std::vector<MessageBoxRequest> boxes;
};

CMessageBox::Recorder::Recorder(Answerer answerer) : state_(std::make_shared<State>()) {
    previous_ = SetAnswerer([state = state_, answerer](const MessageBoxRequest& request) {
        {
            std::lock_guard<std::mutex> guard(state->lock);
            state->boxes.push_back(request);
        }
        return answerer ? answerer(request) : IDOK;
    });
}

CMessageBox::Recorder::~Recorder() {
    SetAnswerer(std::move(previous_));
}

const std::vector<MessageBoxRequest>& CMessageBox::Recorder::Boxes() const {
    return state_->boxes;
}

} // namespace tavik::app
