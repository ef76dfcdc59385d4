#include "app/explorer/ImageButton.h"

#include <QPainter>

namespace tavik::app {

ImageButton::ImageButton(const QString& accessibleName, QWidget* parent) : QAbstractButton(parent) {
    setAccessibleName(accessibleName);
    setToolTip(accessibleName);
    setFocusPolicy(Qt::TabFocus);
}

void ImageButton::LoadImages(const QString& up, const QString& down, const QString& disabled) {
    up_.load(up);
    down_.load(down);
    disabled_.load(disabled);
    updateGeometry();
    update();
}

QSize ImageButton::sizeHint() const {
    return up_.isNull() ? QSize(56, 28) : up_.size();
}

void ImageButton::paintEvent(QPaintEvent*) {
    const QPixmap& image = !isEnabled() ? disabled_ : (isDown() ? down_ : up_);
    if (image.isNull()) {
        return;
    }
    QPainter painter(this);
    const QPoint topLeft((width() - image.width()) / 2, (height() - image.height()) / 2);
    painter.drawPixmap(topLeft, image);
}

} // namespace tavik::app
