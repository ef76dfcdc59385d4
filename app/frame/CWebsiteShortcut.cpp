#include "app/frame/CWebsiteShortcut.h"

#include "app/settings/ProgramConstants.h"
#include "app/shell/CShellOpen.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace tavik::app {

CWebsiteShortcut::CWebsiteShortcut(QObject* parent) : QObject(parent) {}

bool CWebsiteShortcut::IsInCorner(QPoint position, QSize windowSize) {
    return position.x() >= windowSize.width() - kCornerWidth && position.x() < windowSize.width() &&
           position.y() >= 0 && position.y() < kCornerHeight;
}

bool CWebsiteShortcut::eventFilter(QObject* watched, QEvent* event) {
    // The press reaches the top-level window once, before Qt hands it to the widget under it
    // (and on to its parents): watching the window sees every press exactly once.
    if (event->type() == QEvent::MouseButtonPress && window_ != nullptr &&
        watched == window_->windowHandle()) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton &&
            IsInCorner(window_->mapFromGlobal(press->globalPosition().toPoint()),
                       window_->size())) {
            CShellOpen::Open(QString::fromStdString(ProgramConstants().website));
        }
    }
    return false;
}

} // namespace tavik::app
