#include "app/socket/CMessageWindow.h"

#include <QCoreApplication>

namespace tavik::app {

CMessageWindow::CMessageWindow(QObject* owner) : owner_(owner) {}

CMessageWindow::~CMessageWindow() = default;

void CMessageWindow::SetIdentity(const QString& name, int controlId) {
    setObjectName(name);
    controlId_ = controlId;
}

LRESULT CMessageWindow::windowProc(UINT, WPARAM, LPARAM) {
    return 0;
}

void CMessageWindow::DiscardPostedMessages() {
    QCoreApplication::removePostedEvents(this);
}

bool CMessageWindow::event(QEvent* event) {
    if (CWindowMessage::Dispatch(event, *this)) {
        return true;
    }
    return QObject::event(event);
}

} // namespace tavik::app
