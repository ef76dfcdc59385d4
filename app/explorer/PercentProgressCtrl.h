// A progress bar that paints itself: a gradient from RGB(222, 242, 222) to RGB(16, 24, 244)
// laid out over the whole width in n equal bands (n the largest difference of the two colours'
// red, green and blue), painted from the left up to the bar's end (position ÷ maximum of the
// width, from the bottom when vertical), the rest in RGB(100, 100, 100), and the text "%.0f%%"
// centred in white. A position outside (minimum, maximum] fills the bar with the button face.
// Range, position and step go to the standard bar and are remembered.
// Threads: user-interface thread.
#pragma once

#include <QColor>
#include <QProgressBar>

namespace tavik::app {

class PercentProgressCtrl : public QProgressBar {
    Q_OBJECT

public:
    explicit PercentProgressCtrl(QWidget* parent);

    void SetShowText(bool show) {
        showText_ = show;
        update();
    }
    void SetVertical(bool vertical) {
        vertical_ = vertical;
        update();
    }
    void SetStep(int step) { step_ = step; }
    int Step() const { return step_; }
    void StepIt() { setValue(qMin(maximum(), value() + step_)); }

    // The number of gradient bands, and band i's colour (linear between the two colours).
    static int BandCount(const QColor& start, const QColor& end);
    static QColor BandColor(const QColor& start, const QColor& end, int band, int bands);
    // The text shown for a position ("37%").
    QString PercentText() const;

    static inline const QColor kGradientStart{222, 242, 222};
    static inline const QColor kGradientEnd{16, 24, 244};
    static inline const QColor kRemainder{100, 100, 100};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int step_ = 10;
    bool showText_ = true;
    bool vertical_ = false;
};

} // namespace tavik::app
