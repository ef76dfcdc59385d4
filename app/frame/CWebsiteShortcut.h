// The service's web site at a tap on the banner's top-right corner: a left press in the main
// window's rightmost 22 pixels and top 50 pixels opens the web-site address (a program
// constant) through the shell. The press then goes on to the window as usual.
//
// Ownership: an application-wide event filter that the application object owns; it watches
// the main window weakly. Threads: user-interface thread.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>

class QWidget;

namespace tavik::app {

class CWebsiteShortcut : public QObject {
    Q_OBJECT
public:
    static constexpr int kCornerWidth = 22;
    static constexpr int kCornerHeight = 50;

    explicit CWebsiteShortcut(QObject* parent = nullptr);
    void SetMainWindow(QWidget* window) { window_ = window; }

    // A position inside the window, in its coordinates.
    static bool IsInCorner(QPoint position, QSize windowSize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
};

} // namespace tavik::app
