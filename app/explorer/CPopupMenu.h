// The one way the explorer's lists and buttons open a pop-up menu and wait for the pick. Like the
// message box, a test (or an automatic run) can take the menus instead: its chooser sees the
// menu (its object name is the menu's resource name, e.g. "Pop-up2"; every action carries its
// command id as data) and returns the action to pick, or null for none.
// Threads: user-interface thread; the chooser is process-wide.
#pragma once

#include <QPoint>

#include <functional>

class QAction;
class QMenu;

namespace tavik::app {

class CPopupMenu {
public:
    using Chooser = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;

    // Shows the menu at the point (or asks the chooser); the picked action or null. An item
    // pressed through the accessibility interface counts as picked.
    static QAction* Run(QMenu& menu, const QPoint& globalPos);
    // The command id the action carries (0 for none or null).
    static int CommandOf(const QAction* action);
    // Adds an action with the id as its data.
    static QAction* AddItem(QMenu& menu, const QString& text, int id);
    // The menu's action carrying the id, or null.
    static QAction* FindItem(const QMenu& menu, int id);

    // Installs a chooser (empty: menus are shown again) and returns the one it replaces.
    static Chooser SetChooser(Chooser chooser);
};

} // namespace tavik::app
