// The bar above a pane's list: its PathButton (child id 50002) on the left and its SortButton
// (50003) on the right. The remote bar (1013) uses "/" and menu ids 4000 + i, the local bar
// (1014) "\" and 5000 + i; both send their messages to the notify window (the main frame).
// Threads: user-interface thread.
#pragma once

#include "app/explorer/PathButton.h"
#include "app/explorer/SortButton.h"

#include <QWidget>

namespace tavik::app {

class PathBar : public QWidget {
    Q_OBJECT

public:
    enum class Side { Remote, Local };

    PathBar(Side side, QWidget* parent);

    PathButton& pathButton() { return *pathButton_; }
    SortButton& sortButton() { return *sortButton_; }
    void SetNotifyWindow(QObject* window);

private:
    PathButton* pathButton_;
    SortButton* sortButton_;
};

} // namespace tavik::app
