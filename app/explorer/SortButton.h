// The sort-key button of a path bar. A tap opens the sort menu with the current key checked:
//   "이름" 32773 → "이름 ▼", column 0 | "마지막 수정일자" 32774 → column 3 |
//   "크기" 32775 → numeric, column 1  | "종류" 32776 → column 2   (all ascending)
// A pick sets the button's text and sends the matching SortRequest (lParam a const SortRequest*,
// valid during the send) with the sort message (WM_REMOTE_SORT / WM_LOCAL_SORT) to the notify
// window; no pick changes nothing. The menu also opens with Space, Return and the accessible
// press; the current key's text is the button's accessible description.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/ExplorerIds.h"
#include "app/explorer/MenuButton.h"

#include <QMenu>

namespace tavik::app {

class SortButton : public MenuButton {
    Q_OBJECT

public:
    SortButton(unsigned sortMessage, QWidget* parent);

    void SetNotifyWindow(QObject* window) { notifyWindow_ = window; }

    // The request a key's command id stands for (column -1 for an unknown id).
    static SortRequest RequestFor(int commandId);
    // Applies a pick of the key (as from the menu).
    void Choose(int commandId);
    int CurrentKey() const { return currentKey_; }
    QMenu& Menu() { return menu_; }

private:
    void OpenMenu() override;

    unsigned sortMessage_;
    QObject* notifyWindow_ = nullptr;
    int currentKey_ = ID_SORT_NAME;
    QMenu menu_;
};

} // namespace tavik::app
