#include "app/shell/FolderChooserDialog.h"

#include "app/shell/FolderPath.h"
#include "app/shell/PocketShell.h"

#include "platform/CFindFile.h"

#include <QComboBox>
#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tavik::app {

namespace {

constexpr int IDC_UP = 1021;
constexpr int IDC_COMBO = 1022;
constexpr int IDC_LIST = 1023;
constexpr int IDC_OK = 1031;
constexpr int IDC_CANCEL = 1032;
constexpr int kSizeColumnWidth = 75;
constexpr int kNameColumnMargin = 85;

QPushButton* MakeButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAccessibleName(text);
    button->setAutoDefault(false);
    return button;
}

} // namespace

FolderChooserDialog::FolderChooserDialog(const QString& startFolder, QWidget* parent)
    : QDialog(parent), current_(startFolder.isEmpty() ? kRootFolder : startFolder) {
    setObjectName(QString::number(IDD_FOLDER_CHOOSER));
    setWindowTitle(kSettingsTitle);
    setAccessibleName(QStringLiteral("폴더 선택"));
    HideTitleBarOkButton(this);

    combo_ = new QComboBox(this);
    combo_->setObjectName(QString::number(IDC_COMBO));
    combo_->setAccessibleName(QStringLiteral("방문한 폴더"));
    up_ = MakeButton(QStringLiteral("위로"), IDC_UP, this);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QString::number(IDC_LIST));
    list_->setAccessibleName(QStringLiteral("하위 폴더"));
    list_->setRootIsDecorated(false);
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("파일명"), QStringLiteral("크기(byte)")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    auto* ok = MakeButton(QStringLiteral("확인"), IDC_OK, this);
    auto* cancel = MakeButton(QStringLiteral("취소"), IDC_CANCEL, this);

    auto* top = new QHBoxLayout();
    top->addWidget(combo_, 1);
    top->addWidget(up_);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(320, 360);

    connect(up_, &QPushButton::clicked, this, &FolderChooserDialog::GoUp);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { EnterSubFolder(item->text(0)); });

    combo_->addItem(current_);
    combo_->setCurrentIndex(0);
    connect(combo_, &QComboBox::activated, this, &FolderChooserDialog::ChooseComboEntry);
    List(current_);
}

void FolderChooserDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // "파일명" takes the list's width but for the size column and a margin.
    list_->setColumnWidth(0, std::max(0, list_->viewport()->width() - kNameColumnMargin));
    list_->setColumnWidth(1, kSizeColumnWidth);
}

void FolderChooserDialog::List(const QString& folder) {
    list_->clear();
    const QString base = ListingPath(folder);
    platform::CFindFile find;
    const std::u16string pattern = (base + QStringLiteral("\\*.*")).toStdU16String();
    QFileIconProvider icons;
    for (bool more = find.First(pattern); more; more = find.Next()) {
        if (!find.entry().info.isFolder) {
            continue;
        }
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::fromStdU16String(find.entry().name));
        item->setText(1, QStringLiteral("폴더"));
        item->setIcon(0, icons.icon(QAbstractFileIconProvider::Folder));
    }
}

void FolderChooserDialog::SelectInCombo(const QString& folder) {
    int index = combo_->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        combo_->addItem(folder);
        index = combo_->count() - 1;
    }
    combo_->setCurrentIndex(index);
}

void FolderChooserDialog::EnterSubFolder(const QString& name) {
    const QString folder = ChildFolder(current_, name);
    SelectInCombo(folder);
    List(folder);
    current_ = folder;
}

void FolderChooserDialog::GoUp() {
    if (current_ == kRootFolder) {
        return;
    }
    current_ = ParentFolder(current_);
    List(current_);
    SelectInCombo(current_);
}

void FolderChooserDialog::ChooseComboEntry(int index) {
    if (index < 0 || index >= combo_->count()) {
        return;
    }
    combo_->setCurrentIndex(index);
    current_ = combo_->itemText(index);
    List(current_);
}

QStringList FolderChooserDialog::ComboEntries() const {
    QStringList entries;
    for (int i = 0; i < combo_->count(); ++i) {
        entries << combo_->itemText(i);
    }
    return entries;
}

QString FolderChooserDialog::ComboText() const {
    return combo_->currentText();
}

QStringList FolderChooserDialog::SubFolders() const {
    QStringList names;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        names << list_->topLevelItem(i)->text(0);
    }
    names.sort();
    return names;
}

} // namespace tavik::app
