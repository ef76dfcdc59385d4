// The wait cursor over the whole program while a blocking call runs on the window's thread:
// shown when made, taken back when destroyed. User-interface thread only.
#pragma once

#include <QApplication>

namespace tavik::app {

class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

} // namespace tavik::app
