#include "app/explorer/FileListCtrl.h"

#include "app/explorer/CPopupMenu.h"
#include "app/explorer/DropMapping.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/ListSort.h"
#include "app/shell/CLanguage.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tavik::app {

// Hands a committed edit to the list's owner instead of writing it into the row.
class LabelEditDelegate : public QStyledItemDelegate {
public:
    explicit LabelEditDelegate(FileListCtrl* list) : QStyledItemDelegate(list), list_(list) {}

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line != nullptr) {
            emit list_->labelEdited(index.row(), line->text());
        }
    }
    // The size column's fixed words ("폴더", "연결됨", "끊김") are shown in the interface
    // language; the rows keep them as they are, since the panes' rules read them.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == kColumnSize) {
            option->text = CLanguage::Tr(option->text);
        }
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        QStyledItemDelegate::destroyEditor(editor, index);
        list_->EndLabelEdit();
    }

private:
    FileListCtrl* list_;
};

FileListCtrl::FileListCtrl(Variant variant, QWidget* parent)
    : QTreeWidget(parent), variant_(variant) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setIconSize(QSize(16, 16));
    setItemDelegate(new LabelEditDelegate(this));
    setColumnCount(kColumnCount);
    QStringList headers;
    for (const char* text : {"파일명", "크기(byte)", "종류", "날짜"}) {
        headers << CLanguage::Tr(QString::fromUtf8(text));
    }
    setHeaderLabels(headers);
    // The list never sorts by itself: a header tap goes to the view, which sorts as the sort
    // button would and keeps the two in agreement.
    header()->setSectionsClickable(variant == Variant::Remote);
    header()->setStretchLastSection(false);
    setColumnWidth(kColumnSize, 75);
    // The type and date columns carry the sort keys only.
    setColumnHidden(kColumnType, true);
    setColumnHidden(kColumnDate, true);
    setHeaderHidden(variant == Variant::Local);
    setAccessibleName(variant == Variant::Remote ? QStringLiteral("원격 목록")
                                                 : QStringLiteral("로컬 목록"));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
}

void FileListCtrl::SetRows(std::vector<ListRow> rows) {
    clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (ListRow& row : rows) {
        auto* item = new QTreeWidgetItem();
        for (int c = 0; c < kColumnCount; ++c) {
            item->setText(c, std::move(row.columns[c]));
        }
        item->setIcon(kColumnName, row.icon);
        item->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    addTopLevelItems(items);
}

void FileListCtrl::SetSortedRows(std::vector<ListRow> rows, int column, bool numeric) {
    if (column < 0 || column >= kColumnCount) {
        SetRows(std::move(rows));
        return;
    }
    std::vector<SortInput> inputs;
    inputs.reserve(rows.size());
    for (const ListRow& row : rows) {
        inputs.push_back({row.columns[kColumnSize], row.columns[column]});
    }
    std::vector<ListRow> sorted;
    sorted.reserve(rows.size());
    for (int index : SortOrder(inputs, numeric)) {
        sorted.push_back(std::move(rows[static_cast<size_t>(index)]));
    }
    SetRows(std::move(sorted));
}

QString FileListCtrl::Text(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void FileListCtrl::SetText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setText(column, text);
    }
}

int FileListCtrl::FindRow(const QString& name) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->text(kColumnName) == name) {
            return i;
        }
    }
    return -1;
}

void FileListCtrl::SortRows(int column, bool numeric) {
    if (column < 0 || column >= kColumnCount) {
        return;
    }
    // Taking all rows out at once and putting them back in the new order keeps the sort
    // O(n log n); moving rows one by one inside the widget would not be.
    // Rows lose their selected state when taken out; it is put back afterwards.
    const std::vector<char> selected = SelectedFlags();
    QTreeWidgetItem* current = currentItem();
    QList<QTreeWidgetItem*> items = invisibleRootItem()->takeChildren();
    std::vector<SortInput> inputs;
    inputs.reserve(static_cast<size_t>(items.size()));
    for (const QTreeWidgetItem* item : items) {
        inputs.push_back({item->text(kColumnSize), item->text(column)});
    }
    const std::vector<int> order = SortOrder(inputs, numeric);
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(items.size());
    for (int index : order) {
        sorted.append(items[index]);
    }
    addTopLevelItems(sorted);
    if (current != nullptr) {
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    }
    std::vector<char> moved(selected.size(), 0);
    for (size_t position = 0; position < order.size() && position < moved.size(); ++position) {
        moved[position] = selected[static_cast<size_t>(order[position])];
    }
    SelectRowFlags(moved);
}

std::vector<char> FileListCtrl::SelectedFlags() const {
    // From the selection's ranges, not row by row: asking each row walks every range.
    std::vector<char> flags(static_cast<size_t>(topLevelItemCount()), 0);
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.parent().isValid() || range.left() > kColumnName || range.right() < kColumnName) {
            continue;
        }
        for (int row = std::max(range.top(), 0);
             row <= range.bottom() && row < static_cast<int>(flags.size()); ++row) {
            flags[static_cast<size_t>(row)] = 1;
        }
    }
    return flags;
}

void FileListCtrl::SelectRowFlags(const std::vector<char>& flags) {
    // One range per run of selected rows, given to the selection at once.
    QItemSelection selection;
    const int count = std::min(static_cast<int>(flags.size()), topLevelItemCount());
    for (int row = 0; row < count;) {
        if (flags[static_cast<size_t>(row)] == 0) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < count && flags[static_cast<size_t>(row)] != 0) {
            ++row;
        }
        selection.select(model()->index(first, 0), model()->index(row - 1, 0));
    }
    selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

std::vector<int> FileListCtrl::SelectedRows() const {
    const std::vector<char> flags = SelectedFlags();
    std::vector<int> rows;
    for (size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] != 0) {
            rows.push_back(static_cast<int>(i));
        }
    }
    return rows;
}

int FileListCtrl::FirstSelectedRow() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

void FileListCtrl::SelectRow(int row, bool selected) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setSelected(selected);
    }
}

void FileListCtrl::SelectAllRows() {
    SelectRowFlags(std::vector<char>(static_cast<size_t>(topLevelItemCount()), 1));
}

void FileListCtrl::ClearSelectedRows() {
    selectionModel()->clearSelection();
}

int FileListCtrl::RowAt(const QPoint& viewportPos) const {
    const QTreeWidgetItem* item = itemAt(viewportPos);
    return item ? indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
}

void FileListCtrl::ApplyHoldSelection(int row, Qt::KeyboardModifiers modifiers) {
    setFocus(Qt::MouseFocusReason);
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        ClearSelectedRows();
        return;
    }
    const bool nothingSelected = FirstSelectedRow() < 0;
    if (modifiers & Qt::ShiftModifier) {
        item->setSelected(true);
    } else if ((modifiers & Qt::ControlModifier) && nothingSelected) {
        return;
    } else if (item->isSelected() || nothingSelected) {
        item->setSelected(true);
    } else {
        ClearSelectedRows();
        item->setSelected(true);
    }
    setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
}

FileListCtrl::Popup FileListCtrl::PopupFor(int row) const {
    if (row < 0 || row >= topLevelItemCount()) {
        return Popup::Empty;
    }
    if (variant_ == Variant::Local) {
        return Popup::LocalRow;
    }
    if (!diskListMode_) {
        return Popup::RemoteRow;
    }
    return Text(row, kColumnSize) == kConnectedText ? Popup::DiskConnected
                                                    : Popup::DiskDisconnected;
}

std::unique_ptr<QMenu> FileListCtrl::BuildPopup(Popup popup) const {
    auto menu = std::make_unique<QMenu>();
    switch (popup) {
    case Popup::None:
        return nullptr;
    case Popup::Empty: {
        menu->setObjectName(QStringLiteral("Pop-up2"));
        CPopupMenu::AddItem(*menu, QStringLiteral("새로고침"), ID_POPUP_REFRESH);
        QAction* newFolder =
            CPopupMenu::AddItem(*menu, QStringLiteral("새폴더 만들기"), ID_NEW_FOLDER);
        newFolder->setEnabled(variant_ == Variant::Local || folderListed_);
        CPopupMenu::AddItem(*menu, QStringLiteral("모두 선택하기"), ID_POPUP_SELECT_ALL);
        break;
    }
    case Popup::RemoteRow:
        menu->setObjectName(QStringLiteral("Pop-up3"));
        CPopupMenu::AddItem(*menu, QStringLiteral("삭제하기"), ID_POPUP_REMOTE_DELETE);
        CPopupMenu::AddItem(*menu, QStringLiteral("이름 바꾸기"), ID_RENAME);
        CPopupMenu::AddItem(*menu, QStringLiteral("다운로드 하기"), ID_POPUP_REMOTE_DOWNLOAD);
        break;
    case Popup::LocalRow:
        menu->setObjectName(QStringLiteral("Pop-Up4"));
        CPopupMenu::AddItem(*menu, QStringLiteral("삭제하기"), ID_POPUP_LOCAL_DELETE);
        CPopupMenu::AddItem(*menu, QStringLiteral("이름 바꾸기"), ID_RENAME);
        CPopupMenu::AddItem(*menu, QStringLiteral("업로드 하기"), ID_POPUP_LOCAL_UPLOAD);
        break;
    case Popup::DiskDisconnected:
        menu->setObjectName(QStringLiteral("Pop-Up5"));
        CPopupMenu::AddItem(*menu, QStringLiteral("연결하기"), ID_CONNECT);
        break;
    case Popup::DiskConnected:
        menu->setObjectName(QStringLiteral("Pop-Up6"));
        CPopupMenu::AddItem(*menu, QStringLiteral("연결끊기"), ID_DISCONNECT);
        break;
    }
    menu->setTitle(menu->objectName());
    menu->setAccessibleName(menu->objectName());
    return menu;
}

int FileListCtrl::TranslateCommand(int popupId) const {
    if (variant_ == Variant::Remote) {
        switch (popupId) {
        case ID_CONNECT:
            return ID_CONNECT;
        case ID_DISCONNECT:
            return ID_DISCONNECT;
        case ID_POPUP_REFRESH:
            return ID_REFRESH;
        case ID_POPUP_REMOTE_DELETE:
            return ID_DELETE;
        case ID_POPUP_REMOTE_DOWNLOAD:
            return ID_DOWNLOAD;
        case ID_NEW_FOLDER:
            return ID_NEW_FOLDER;
        case ID_POPUP_SELECT_ALL:
            return ID_SELECT_ALL;
        default:
            return 0;
        }
    }
    switch (popupId) {
    case ID_POPUP_REFRESH:
        return ID_REFRESH;
    case ID_POPUP_LOCAL_DELETE:
        return ID_DELETE;
    case ID_POPUP_LOCAL_UPLOAD:
        return ID_UPLOAD;
    case ID_NEW_FOLDER:
        return ID_NEW_FOLDER;
    case ID_POPUP_SELECT_ALL:
        return ID_SELECT_ALL;
    default:
        return 0;
    }
}

void FileListCtrl::RunPopupCommand(int popupId) {
    if (popupId == ID_RENAME) {
        StartLabelEdit();
        return;
    }
    if (const int command = TranslateCommand(popupId)) {
        emit commandChosen(command);
    }
}

bool FileListCtrl::StartLabelEdit() {
    QTreeWidgetItem* item = topLevelItem(FirstSelectedRow());
    if (item == nullptr) {
        return false;
    }
    // Rows are editable only while an edit runs, so no tap starts one by itself.
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    editedRow_ = indexOfTopLevelItem(item);
    scrollToItem(item);
    editItem(item, kColumnName);
    return true;
}

void FileListCtrl::EndLabelEdit() {
    if (QTreeWidgetItem* item = topLevelItem(editedRow_)) {
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    }
    editedRow_ = -1;
    emit labelEditFinished();
}

void FileListCtrl::ShowPopup(int row, const QPoint& globalPos) {
    std::unique_ptr<QMenu> menu = BuildPopup(PopupFor(row));
    if (!menu) {
        return;
    }
    // Right-aligned right of the screen's middle, bottom-aligned below it, so the menu stays on
    // the screen beside the finger.
    QPoint pos = globalPos;
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect area = screen->availableGeometry();
        const QSize size = menu->sizeHint();
        if (globalPos.x() > area.center().x()) {
            pos.rx() -= size.width();
        }
        if (globalPos.y() > area.center().y()) {
            pos.ry() -= size.height();
        }
    }
    RunPopupCommand(CPopupMenu::CommandOf(CPopupMenu::Run(*menu, pos)));
}

void FileListCtrl::OpenPopupFromKeyboard() {
    const int row = FirstSelectedRow();
    QTreeWidgetItem* anchor = row >= 0 ? topLevelItem(row) : currentItem();
    const QRect rect = anchor != nullptr ? visualItemRect(anchor) : QRect();
    const QPoint local = rect.isValid() ? rect.bottomLeft() : viewport()->rect().center();
    ShowPopup(row, viewport()->mapToGlobal(local));
}

void FileListCtrl::mousePressEvent(QMouseEvent* event) {
    emit tapped();
    pressedRow_ = RowAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        // The hold's own selection rules run with its menu (contextMenuEvent).
        setFocus(Qt::MouseFocusReason);
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void FileListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && pressedRow_ == RowAt(event->position().toPoint())) {
        emit clicked(pressedRow_);
    }
    pressedRow_ = -2;
}

void FileListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit doubleTapped(RowAt(event->position().toPoint()));
    }
}

void FileListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        OpenPopupFromKeyboard();
        return;
    }
    const int row = RowAt(viewport()->mapFromGlobal(event->globalPos()));
    ApplyHoldSelection(row, event->modifiers());
    ShowPopup(row, event->globalPos());
}

QStringList FileListCtrl::mimeTypes() const {
    return {kRowsMimeType, QStringLiteral("text/uri-list")};
}

QMimeData* FileListCtrl::mimeData(const QList<QTreeWidgetItem*>& items) const {
    QStringList names;
    for (const int row : SelectedRows()) {
        if (items.contains(topLevelItem(row))) {
            names.append(Text(row, kColumnName));
        }
    }
    auto* data = new QMimeData();
    data->setData(kRowsMimeType, EncodeRows(variant_ == Variant::Remote, names));
    return data;
}

Qt::DropActions FileListCtrl::supportedDropActions() const {
    return Qt::CopyAction;
}

namespace {

bool Droppable(const QMimeData* data) {
    return data != nullptr && (data->hasFormat(kRowsMimeType) || data->hasUrls());
}

} // namespace

void FileListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    if (Droppable(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void FileListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    if (Droppable(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void FileListCtrl::dropEvent(QDropEvent* event) {
    // The list never takes the rows itself: the view decides what the drop does.
    if (!Droppable(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit dropped(event->mimeData());
}

} // namespace tavik::app
