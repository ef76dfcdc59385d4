#include "app/explorer/PathBar.h"

#include "app/explorer/ExplorerIds.h"

#include <QHBoxLayout>

namespace tavik::app {

PathBar::PathBar(Side side, QWidget* parent) : QWidget(parent) {
    const bool remote = side == Side::Remote;
    pathButton_ = new PathButton(remote ? QLatin1Char('/') : QLatin1Char('\\'),
                                 remote ? kRemotePathMenuBase : kLocalPathMenuBase,
                                 remote ? WM_REMOTE_PATH_CHOSEN : WM_LOCAL_PATH_CHOSEN, this);
    sortButton_ = new SortButton(remote ? WM_REMOTE_SORT : WM_LOCAL_SORT, this);
    pathButton_->setAccessibleName(remote ? QStringLiteral("원격 경로")
                                          : QStringLiteral("로컬 경로"));
    sortButton_->setAccessibleName(remote ? QStringLiteral("원격 정렬")
                                          : QStringLiteral("로컬 정렬"));
    setAccessibleName(remote ? QStringLiteral("원격 경로 막대") : QStringLiteral("로컬 경로 막대"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(2);
    layout->addWidget(pathButton_);
    layout->addStretch(1);
    layout->addWidget(sortButton_);
}

void PathBar::SetNotifyWindow(QObject* window) {
    pathButton_->SetNotifyWindow(window);
    sortButton_->SetNotifyWindow(window);
}

} // namespace tavik::app
