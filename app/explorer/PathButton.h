// The drop-down path button of a path bar: the components of the pane's path, held as the items
// of its menu (command ids base + i, 4000 remote, 5000 local; item text: i blanks + component),
// the current (last) component, and the path text (each component after the separator, "/"
// remote, "\" local).
//
// Its text is the current component + " ▼", cut to 16 characters + "...▼" when wider than 179
// pixels in the button's font. A tap opens the menu below the button with the current component
// checked; picking an earlier one cuts the later components off and sends the chosen-path
// message (WM_REMOTE_PATH_CHOSEN / WM_LOCAL_PATH_CHOSEN, lParam a const QString* to the new path
// text, valid during the send) to the notify window. The menu also opens with Space, Return and
// the accessible press; the whole path is the button's accessible description.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/MenuButton.h"

#include <QMenu>
#include <QStringList>

namespace tavik::app {

class PathButton : public MenuButton {
    Q_OBJECT

public:
    // separator '/' or '\\'; menuBase 4000 or 5000; chosenMessage the message a pick sends.
    PathButton(QChar separator, int menuBase, unsigned chosenMessage, QWidget* parent);

    void SetNotifyWindow(QObject* window) { notifyWindow_ = window; }

    // Appends a component (leading blanks trimmed), makes it current and returns the full path
    // text.
    QString AppendComponent(const QString& component);
    // Removes every component and appends the root one.
    void ResetTo(const QString& rootComponent);
    // The path text ("/전체 TAVIK 보기/disk/docs").
    QString Path() const;
    const QStringList& Components() const { return components_; }
    // The menu id of the current component.
    int CurrentId() const { return menuBase_ + static_cast<int>(components_.size()) - 1; }

    // Cuts back to component i as a pick from the menu does, and sends the chosen-path message
    // when it changed anything.
    void Choose(int index);
    // The menu as the tap would show it.
    QMenu& Menu() { return menu_; }

private:
    void OpenMenu() override;
    void UpdateText();
    void RebuildMenu();

    QChar separator_;
    int menuBase_;
    unsigned chosenMessage_;
    QObject* notifyWindow_ = nullptr;
    QStringList components_;
    QMenu menu_;
};

} // namespace tavik::app
