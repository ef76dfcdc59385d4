// The report list of a pane: the four columns ("파일명", "크기(byte)", hidden "종류" and "날짜"),
// rows of texts and an icon, its own sort, tap-and-hold menus and label editing on request.
//
// Two variants: the remote list (column header shown, its taps left to the view, which sorts; a
// folder-listed flag) and the local list (no header). A tap-and-hold (right button, or press and
// hold) first applies the selection rules of a held row, then opens the variant's pop-up at the
// tap point through CPopupMenu:
//   empty area, either list:         "Pop-up2": "새로고침" 32784, "새폴더 만들기" 32795,
//                                    "모두 선택하기" 32786 (the remote one greys "새폴더 만들기"
//                                    unless a folder is listed); the selection is cleared first
//   remote row while browsing:       "Pop-up3": "삭제하기" 32787, "이름 바꾸기" 32829,
//                                    "다운로드 하기" 32788
//   local row:                       "Pop-Up4": "삭제하기" 32792, "이름 바꾸기" 32829,
//                                    "업로드 하기" 32791
//   remote disk row, not "연결됨":   "Pop-Up5": "연결하기" 32815
//   remote disk row, "연결됨":       "Pop-Up6": "연결끊기" 32789
// The picked id is translated into the view's command (TranslateCommand) and emitted as
// commandChosen; 32829 starts label editing in the list itself.
//
// Label editing: StartLabelEdit edits column 0 of the first selected row. The list never applies
// the edited text itself: labelEdited reports it (the file operations decide), and
// labelEditFinished follows every edit, committed or cancelled.
// Drag and drop: selected rows drag out as kRowsMimeType (DropMapping.h); rows of the other
// pane and files from the desktop (text/uri-list) are accepted as a copy and reported by
// dropped, never moved into the list by itself.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/ListRow.h"

#include <QTreeWidget>

#include <vector>

class QMenu;

namespace tavik::app {

class FileListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    enum class Variant { Remote, Local };
    // What a tap-and-hold opens.
    enum class Popup { None, Empty, RemoteRow, LocalRow, DiskDisconnected, DiskConnected };

    FileListCtrl(Variant variant, QWidget* parent);

    Variant variant() const { return variant_; }

    // Replaces every row (in the given order).
    void SetRows(std::vector<ListRow> rows);
    // Replaces every row, sorted as SortRows would sort them (the order is decided on the rows
    // before the list holds them, so the list is filled once).
    void SetSortedRows(std::vector<ListRow> rows, int column, bool numeric);
    // One row's texts.
    QString Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    int RowCount() const { return topLevelItemCount(); }
    // Index of the first row whose column 0 equals the text, or -1.
    int FindRow(const QString& name) const;

    // Sorts ascending by the column (ListSort), numeric or textual; selection stays on its rows.
    void SortRows(int column, bool numeric);

    // Selected row indexes in list order; the first one, or -1. Read from the selection's
    // ranges (one range per run of rows), so thousands of rows cost a pass over them.
    std::vector<int> SelectedRows() const;
    int FirstSelectedRow() const;
    void SelectRow(int row, bool selected);
    void SelectAllRows();
    void ClearSelectedRows();

    // Remote list: whether a folder is listed (1) or disks or nothing (0).
    void SetFolderListed(bool listed) { folderListed_ = listed; }
    bool FolderListed() const { return folderListed_; }
    // Remote list: whether the rows are disks (decides the row pop-ups).
    void SetDiskListMode(bool diskList) { diskListMode_ = diskList; }

    // The selection a tap-and-hold leaves before its menu opens (row -1: empty area).
    void ApplyHoldSelection(int row, Qt::KeyboardModifiers modifiers);
    // Which pop-up a tap-and-hold on the row (-1: empty area) opens.
    Popup PopupFor(int row) const;
    // Builds that pop-up; its object name is its resource name; null for Popup::None.
    std::unique_ptr<QMenu> BuildPopup(Popup popup) const;
    // The view's command for a pop-up id of this variant (0: none, or handled by the list).
    int TranslateCommand(int popupId) const;
    // The keyboard's way to a pop-up: the first selected row's (the empty area's when none),
    // opened below the current row.
    void OpenPopupFromKeyboard();
    // Runs a pop-up id as if picked from a menu of this list.
    void RunPopupCommand(int popupId);

    // Label editing of column 0 of the first selected row; false when nothing is selected.
    bool StartLabelEdit();
    // The row that is being edited, or -1.
    int EditedRow() const { return editedRow_; }

    // The drag data of the given rows (what a drag of them carries); the caller owns it.
    QMimeData* DragData(const QList<QTreeWidgetItem*>& items) const { return mimeData(items); }

    // The row at a point of the viewport, or -1.
    int RowAt(const QPoint& viewportPos) const;

signals:
    // A command for the view, from the pop-up menus.
    void commandChosen(int command);
    // A stylus-down on the list (left or right button): the view's active pane.
    void tapped();
    // A single tap (press and release of the left button) on the row (-1: empty area).
    void clicked(int row);
    // A double tap on the row (-1: empty area).
    void doubleTapped(int row);
    // An edit was committed with this text (the row keeps its old text until told otherwise).
    void labelEdited(int row, const QString& text);
    void labelEditFinished();
    // Rows or files were dropped on the list (the data lives until the slot returns).
    void dropped(const QMimeData* data);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    Qt::DropActions supportedDropActions() const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class LabelEditDelegate;
    void ShowPopup(int row, const QPoint& globalPos);
    // One flag per row: selected or not.
    std::vector<char> SelectedFlags() const;
    // Adds the flagged rows to the selection, one range per run of them.
    void SelectRowFlags(const std::vector<char>& flags);
    void EndLabelEdit();

    Variant variant_;
    bool folderListed_ = false;
    bool diskListMode_ = false;
    int editedRow_ = -1;
    int pressedRow_ = -2;
};

} // namespace tavik::app
