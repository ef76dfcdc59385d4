// The folder chooser (template 133, title "TAVIK - 환경설정"): a combo box of the folders visited
// in this dialog (1022, device paths, "\" for the root), "위로" (1021), the sub-folders of the
// current folder (1023: "파일명" and "크기(byte)", which shows "폴더"), "확인" (1031) and "취소"
// (1032). A double tap on a row enters that sub-folder; a combo pick goes to that folder.
// A folder that cannot be read lists as empty.
// Threads: user-interface thread.
#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace tavik::app {

inline constexpr int IDD_FOLDER_CHOOSER = 133;
inline const QString kSettingsTitle = QStringLiteral("TAVIK - 환경설정");

class FolderChooserDialog : public QDialog {
    Q_OBJECT

public:
    FolderChooserDialog(const QString& startFolder, QWidget* parent);

    QString CurrentFolder() const { return current_; }
    QStringList ComboEntries() const;
    QString ComboText() const;
    QStringList SubFolders() const;

    // A double tap on the named row: the sub-folder becomes current (one combo entry per folder).
    void EnterSubFolder(const QString& name);
    // "위로": the parent becomes current; nothing at the root.
    void GoUp();
    // A pick of combo entry i.
    void ChooseComboEntry(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void List(const QString& folder);
    void SelectInCombo(const QString& folder);

    QString current_;
    QComboBox* combo_ = nullptr;
    QPushButton* up_ = nullptr;
    QTreeWidget* list_ = nullptr;
};

} // namespace tavik::app
