#include "app/explorer/MenuButton.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace tavik::app {

MenuButton::MenuButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QAbstractButton::clicked, this, [this] { OpenMenu(); });
}

void MenuButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mousePressEvent(event);
        return;
    }
    OpenMenu();
}

void MenuButton::keyPressEvent(QKeyEvent* event) {
    // The button is no dialog's default, so Return would otherwise do nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace tavik::app
