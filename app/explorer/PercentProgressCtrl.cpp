#include "app/explorer/PercentProgressCtrl.h"

#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tavik::app {

PercentProgressCtrl::PercentProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    // Everything is painted in paintEvent; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int PercentProgressCtrl::BandCount(const QColor& start, const QColor& end) {
    return std::max({std::abs(end.red() - start.red()), std::abs(end.green() - start.green()),
                     std::abs(end.blue() - start.blue())});
}

QColor PercentProgressCtrl::BandColor(const QColor& start, const QColor& end, int band, int bands) {
    if (bands <= 0) {
        return start;
    }
    auto mix = [band, bands](int from, int to) { return from + (to - from) * band / bands; };
    return QColor(mix(start.red(), end.red()), mix(start.green(), end.green()),
                  mix(start.blue(), end.blue()));
}

QString PercentProgressCtrl::PercentText() const {
    const double percent = maximum() == 0 ? 0.0 : value() * 100.0 / maximum();
    // The C library's rounding (halves to even), as the text has always been formatted.
    char text[32];
    std::snprintf(text, sizeof text, "%.0f%%", percent);
    return QString::fromLatin1(text);
}

void PercentProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();
    if (value() <= minimum() || value() > maximum() || maximum() <= 0) {
        painter.fillRect(area, palette().color(QPalette::Button));
        return;
    }
    const int length = vertical_ ? area.height() : area.width();
    const int barEnd = static_cast<int>(static_cast<double>(value()) / maximum() * length);
    const int bands = std::max(1, BandCount(kGradientStart, kGradientEnd));
    const double bandLength = static_cast<double>(length) / bands;
    for (int i = 0; i < bands; ++i) {
        const int from = static_cast<int>(i * bandLength);
        if (from >= barEnd) {
            break;
        }
        const int to = std::min(barEnd, static_cast<int>((i + 1) * bandLength));
        const QColor colour = BandColor(kGradientStart, kGradientEnd, i, bands);
        if (vertical_) {
            painter.fillRect(QRect(0, area.height() - to, area.width(), to - from), colour);
        } else {
            painter.fillRect(QRect(from, 0, to - from, area.height()), colour);
        }
    }
    if (vertical_) {
        painter.fillRect(QRect(0, 0, area.width(), area.height() - barEnd), kRemainder);
    } else {
        painter.fillRect(QRect(barEnd, 0, area.width() - barEnd, area.height()), kRemainder);
    }
    if (showText_) {
        painter.setPen(Qt::white);
        painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, PercentText());
    }
}

} // namespace tavik::app
