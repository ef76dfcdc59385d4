// A path-bar button whose whole job is a pop-up menu: a left press, a click (Space, the
// accessible press) and Return or Enter all open it, through OpenMenu. Path and sort buttons
// derive from it, so that every way a user can press them does the same thing.
// Threads: user-interface thread.
#pragma once

#include <QPushButton>

namespace tavik::app {

class MenuButton : public QPushButton {
    Q_OBJECT

public:
    explicit MenuButton(QWidget* parent);

protected:
    virtual void OpenMenu() = 0;

    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tavik::app
