// The about dialog (resource 100): the program's name, version and icon, and "확인".
#pragma once

#include <QDialog>

namespace tavik::app {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResourceId = 100;
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace tavik::app
