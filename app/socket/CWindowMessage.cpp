#include "app/socket/CWindowMessage.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace tavik::app {

CWindowMessage::CWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam)
    : QEvent(static_cast<QEvent::Type>(msg)), wParam_(wParam), lParam_(lParam) {}

bool CWindowMessage::IsValidNumber(UINT msg) {
    return msg >= static_cast<UINT>(QEvent::User) && msg <= static_cast<UINT>(QEvent::MaxUser);
}

bool CWindowMessage::Post(QObject* window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr || !IsValidNumber(msg)) {
        return false;
    }
    // Qt takes the event and drops it unread if the window is destroyed first.
    QCoreApplication::postEvent(window, new CWindowMessage(msg, wParam, lParam));
    return true;
}

LRESULT CWindowMessage::Send(QObject* window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr || !IsValidNumber(msg)) {
        return 0;
    }
    CWindowMessage message(msg, wParam, lParam);
    if (window->thread() == QThread::currentThread()) {
        QCoreApplication::sendEvent(window, &message);
        return message.result_;
    }
    // A blocking queued call runs the message map on the window's thread; Qt releases the
    // waiting caller even when the window is destroyed before the call could run.
    QPointer<QObject> guard(window);
    QMetaObject::invokeMethod(
        window,
        [guard, &message] {
            if (guard) {
                QCoreApplication::sendEvent(guard.data(), &message);
            }
        },
        Qt::BlockingQueuedConnection);
    return message.result_;
}

bool CWindowMessage::Dispatch(QEvent* event, CWindow& map) {
    if (!IsValidNumber(static_cast<UINT>(event->type()))) {
        return false;
    }
    auto* message = dynamic_cast<CWindowMessage*>(event);
    if (message == nullptr) {
        return false; // another user event of Qt's own, not a window message
    }
    message->result_ = map.windowProc(message->message(), message->wParam_, message->lParam_);
    return true;
}

} // namespace tavik::app
