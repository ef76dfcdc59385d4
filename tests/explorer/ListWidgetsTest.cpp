// The list, path and sort widgets: selection and menus of a tap-and-hold, command translation,
// label editing hooks, sorting inside the widget, path components and the messages they send.
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/PathBar.h"
#include "tests/explorer/ExplorerTestSupport.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace tavik::app {
namespace {

std::vector<ListRow> Rows(const QStringList& specs) {
    // "name:size"
    std::vector<ListRow> rows;
    for (const QString& text : specs) {
        ListRow row;
        row.columns[kColumnName] = text.section(QLatin1Char(':'), 0, 0);
        row.columns[kColumnSize] = text.section(QLatin1Char(':'), 1, 1);
        rows.push_back(row);
    }
    return rows;
}

// A tap-and-hold as the platform reports it: a context-menu event at the row's place (or below
// the last row for -1).
void Hold(FileListCtrl& list, int row) {
    QPoint pos;
    if (row >= 0) {
        pos = list.visualItemRect(list.topLevelItem(row)).center();
    } else {
        pos = QPoint(10, list.viewport()->height() - 5);
    }
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list.viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(list.viewport(), &event);
}

class ListWidgetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        remote.resize(300, 300);
        local.resize(300, 300);
        remote.show();
        local.show();
    }
    FileListCtrl remote{FileListCtrl::Variant::Remote, nullptr};
    FileListCtrl local{FileListCtrl::Variant::Local, nullptr};
};

TEST_F(ListWidgetsTest, HoldOnAnUnselectedRowLeavesItAloneSelected) {
    local.SetRows(Rows({"a:1", "b:2", "c:3"}));
    local.SelectRow(0, true);
    local.SelectRow(1, true);
    MenuAnswerer menus;
    Hold(local, 2);
    EXPECT_EQ(local.SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(menus.names, QStringList{QStringLiteral("Pop-Up4")});
    // On a row that is already selected the others stay selected.
    local.SelectRow(0, true);
    Hold(local, 2);
    EXPECT_EQ(local.SelectedRows(), (std::vector<int>{0, 2}));
    // With Shift the held row is added.
    local.ApplyHoldSelection(1, Qt::ShiftModifier);
    EXPECT_EQ(local.SelectedRows(), (std::vector<int>{0, 1, 2}));
    // On the empty area the selection is cleared and "Pop-up2" opens.
    Hold(local, -1);
    EXPECT_TRUE(local.SelectedRows().empty());
    EXPECT_EQ(menus.names.last(), QStringLiteral("Pop-up2"));
    // With Control and nothing selected the row is left alone.
    local.ApplyHoldSelection(1, Qt::ControlModifier);
    EXPECT_TRUE(local.SelectedRows().empty());
}

TEST_F(ListWidgetsTest, EachStateOpensItsPopUp) {
    struct Case {
        FileListCtrl* list;
        bool diskList;
        bool folderListed;
        QStringList rows;
        int heldRow;
        QString menu;
        QString items;
    };
    const std::vector<Case> cases = {
        {&remote, true, false, {"disk:연결됨"}, 0, "Pop-Up6", "32789 연결끊기"},
        {&remote, true, false, {"disk:끊김"}, 0, "Pop-Up5", "32815 연결하기"},
        {&remote,
         false,
         true,
         {"f:10"},
         0,
         "Pop-up3",
         "32787 삭제하기|32829 이름 바꾸기|32788 다운로드 하기"},
        {&local,
         false,
         false,
         {"f:10"},
         0,
         "Pop-Up4",
         "32792 삭제하기|32829 이름 바꾸기|32791 업로드 하기"},
        {&remote,
         true,
         false,
         {},
         -1,
         "Pop-up2",
         "32784 새로고침|-32795 새폴더 만들기|32786 모두 선택하기"},
        {&remote,
         false,
         true,
         {},
         -1,
         "Pop-up2",
         "32784 새로고침|32795 새폴더 만들기|32786 모두 선택하기"},
        {&local,
         false,
         false,
         {},
         -1,
         "Pop-up2",
         "32784 새로고침|32795 새폴더 만들기|32786 모두 선택하기"},
    };
    for (const Case& c : cases) {
        MenuAnswerer menus;
        c.list->SetRows(Rows(c.rows));
        c.list->SetDiskListMode(c.diskList);
        c.list->SetFolderListed(c.folderListed);
        Hold(*c.list, c.heldRow);
        ASSERT_EQ(menus.names.size(), 1) << c.menu.toStdString();
        EXPECT_EQ(menus.names[0], c.menu);
        EXPECT_EQ(menus.items[0], c.items) << c.menu.toStdString();
    }
}

TEST_F(ListWidgetsTest, PickedItemsBecomeTheViewsCommands) {
    const std::vector<std::tuple<FileListCtrl*, int, int>> table = {
        {&remote, 32815, 32815}, {&remote, 32789, 32789}, {&remote, 32784, 32790},
        {&remote, 32787, 32796}, {&remote, 32788, 32793}, {&remote, 32795, 32795},
        {&remote, 32786, 32797}, {&local, 32784, 32790},  {&local, 32792, 32796},
        {&local, 32791, 32792},  {&local, 32795, 32795},  {&local, 32786, 32797},
        {&remote, 32791, 0},     {&local, 32787, 0},      {&local, 32829, 0},
    };
    for (const auto& [list, popupId, command] : table) {
        EXPECT_EQ(list->TranslateCommand(popupId), command) << popupId;
    }
    // Through a real hold and pick.
    local.SetRows(Rows({"a:1"}));
    QSignalSpy commands(&local, &FileListCtrl::commandChosen);
    MenuAnswerer menus(32791);
    Hold(local, 0);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].toInt(), 32792);
}

TEST_F(ListWidgetsTest, RenamePickEditsTheFirstSelectedRowWithoutApplyingTheText) {
    local.SetRows(Rows({"a:1", "b:2"}));
    local.SelectRow(1, true);
    QSignalSpy edited(&local, &FileListCtrl::labelEdited);
    QSignalSpy finished(&local, &FileListCtrl::labelEditFinished);
    local.RunPopupCommand(ID_RENAME);
    ASSERT_EQ(local.EditedRow(), 1);
    auto* editor = local.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("new name"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][0].toInt(), 1);
    EXPECT_EQ(edited[0][1].toString(), QStringLiteral("new name"));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(local.Text(1, kColumnName), QStringLiteral("b"));
    EXPECT_EQ(local.EditedRow(), -1);
    // Nothing selected: no edit.
    local.ClearSelectedRows();
    EXPECT_FALSE(local.StartLabelEdit());
}

TEST_F(ListWidgetsTest, SortingInsideTheListKeepsTheSelectionOnItsRows) {
    local.SetRows(Rows({"big:1000", "docs:폴더", "mid:250", "small:100"}));
    local.SelectRow(2, true); // "mid"
    local.SortRows(kColumnSize, true);
    QStringList names;
    for (int i = 0; i < local.RowCount(); ++i) {
        names << local.Text(i, kColumnName);
    }
    EXPECT_EQ(names, (QStringList{"docs", "small", "mid", "big"}));
    EXPECT_EQ(local.SelectedRows(), std::vector<int>{2});
    local.SortRows(kColumnName, false);
    EXPECT_EQ(local.Text(0, kColumnName), QStringLiteral("docs"));
    EXPECT_EQ(local.Text(1, kColumnName), QStringLiteral("big"));
}

// Large selections: what each sequence of selection steps leaves, read back as rows, and how
// many ranges hold it. Every later selection query walks the ranges, so a selection of thousands
// of rows held one range per row makes reading it back quadratic.
TEST_F(ListWidgetsTest, LargeSelectionsReadBackAndStayFewRanges) {
    constexpr int kRows = 5000;
    struct Step {
        enum Kind { All, Clear, Select, Deselect, SortBySize } kind;
        int row = 0;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool allBut;           // rows: the rows left out of an otherwise whole selection
        std::vector<int> rows; // as first listed
        int maxRanges;
    };
    const Case cases[] = {
        {"all", {{Step::All}}, true, {}, 1},
        {"all twice", {{Step::All}, {Step::All}}, true, {}, 1},
        {"all, then two taken out",
         {{Step::All}, {Step::Deselect, 0}, {Step::Deselect, 4000}},
         true,
         {0, 4000},
         2},
        {"all, cleared, one picked",
         {{Step::All}, {Step::Clear}, {Step::Select, 17}},
         false,
         {17},
         1},
        {"scattered",
         {{Step::Select, 4999}, {Step::Select, 3}, {Step::Select, 2500}},
         false,
         {3, 2500, 4999},
         3},
        // Sizes descend with the rows: sorting by size moves every row.
        {"all, sorted", {{Step::All}, {Step::SortBySize}}, true, {}, 1},
        {"two, sorted",
         {{Step::Select, 0}, {Step::Select, 10}, {Step::SortBySize}},
         false,
         {0, 10},
         2},
    };
    std::vector<ListRow> rows;
    for (int i = 0; i < kRows; ++i) {
        ListRow row;
        row.columns[kColumnName] = QStringLiteral("f%1").arg(i, 5, 10, QLatin1Char('0'));
        row.columns[kColumnSize] = QString::number(kRows - i);
        rows.push_back(row);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        local.SetRows(rows);
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::All:
                local.SelectAllRows();
                break;
            case Step::Clear:
                local.ClearSelectedRows();
                break;
            case Step::Select:
            case Step::Deselect:
                local.SelectRow(step.row, step.kind == Step::Select);
                break;
            case Step::SortBySize:
                local.SortRows(kColumnSize, true);
                break;
            }
        }
        // Where the picked rows stand now (a sort moves them), by their names.
        std::vector<int> expected;
        for (int i = 0; i < kRows; ++i) {
            const int original = local.Text(i, kColumnName).mid(1).toInt();
            const bool listed = std::find(c.rows.begin(), c.rows.end(), original) != c.rows.end();
            if (listed != c.allBut) {
                expected.push_back(i);
            }
        }
        EXPECT_EQ(local.SelectedRows(), expected);
        EXPECT_EQ(local.FirstSelectedRow(), expected.empty() ? -1 : expected.front());
        // Each row asked one by one agrees with the list's answer.
        int agreeing = 0;
        for (int i = 0; i < kRows; ++i) {
            const bool inList = std::binary_search(expected.begin(), expected.end(), i);
            agreeing += local.topLevelItem(i)->isSelected() == inList ? 1 : 0;
        }
        EXPECT_EQ(agreeing, kRows);
        EXPECT_LE(local.selectionModel()->selection().size(), c.maxRanges);
    }
}

TEST(PathBarTest, ComponentsMenuAndChosenPath) {
    MessageRecorder frame;
    PathBar bar(PathBar::Side::Remote, nullptr);
    bar.SetNotifyWindow(&frame);
    PathButton& button = bar.pathButton();
    button.ResetTo(QStringLiteral("전체 TAVIK 보기"));
    EXPECT_EQ(button.AppendComponent(QStringLiteral("  내 디스크")),
              QStringLiteral("/전체 TAVIK 보기/내 디스크"));
    const QString thirty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(button.AppendComponent(thirty),
              QStringLiteral("/전체 TAVIK 보기/내 디스크/") + thirty);
    // A 30-character component is far wider than 179 pixels in any usable font.
    EXPECT_EQ(button.text(), QStringLiteral("abcdefghijklmnop...▼"));
    EXPECT_EQ(button.CurrentId(), 4002);

    QStringList shown;
    for (const QAction* item : button.Menu().actions()) {
        shown << QString::number(CPopupMenu::CommandOf(item)) + QLatin1Char('[') + item->text() +
                     QLatin1Char(']') + (item->isChecked() ? QStringLiteral("*") : QString());
    }
    EXPECT_EQ(shown, (QStringList{"4000[전체 TAVIK 보기]", "4001[ 내 디스크]",
                                  "4002[  " + thirty + "]*"}));

    // A tap that picks the disk: the later component goes and the frame hears the new path.
    MenuAnswerer menus(4001);
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].number, WM_REMOTE_PATH_CHOSEN);
    EXPECT_EQ(frame.messages[0].path, QStringLiteral("/전체 TAVIK 보기/내 디스크"));
    EXPECT_EQ(button.text(), QStringLiteral("내 디스크 ▼"));
    // Picking the current component changes nothing and sends nothing.
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(frame.messages.size(), 1u);

    PathBar local(PathBar::Side::Local, nullptr);
    local.SetNotifyWindow(&frame);
    local.pathButton().ResetTo(QStringLiteral("My Device"));
    local.pathButton().AppendComponent(QStringLiteral("docs"));
    EXPECT_EQ(local.pathButton().Path(), QStringLiteral("\\My Device\\docs"));
    EXPECT_EQ(local.pathButton().CurrentId(), 5001);
    local.pathButton().Choose(0);
    ASSERT_EQ(frame.messages.size(), 2u);
    EXPECT_EQ(frame.messages[1].number, WM_LOCAL_PATH_CHOSEN);
    EXPECT_EQ(frame.messages[1].path, QStringLiteral("\\My Device"));
}

TEST(PathBarTest, SortKeysSendTheirRequests) {
    MessageRecorder frame;
    PathBar bar(PathBar::Side::Local, nullptr);
    bar.SetNotifyWindow(&frame);
    SortButton& sort = bar.sortButton();
    EXPECT_EQ(sort.text(), QStringLiteral("이름 ▼"));
    struct Case {
        int id;
        const char* text;
        int numeric;
        int column;
    };
    const std::vector<Case> cases = {{32775, "크기 ▼", 1, 1},
                                     {32774, "마지막 수정일자 ▼", 0, 3},
                                     {32776, "종류 ▼", 0, 2},
                                     {32773, "이름 ▼", 0, 0}};
    for (const Case& c : cases) {
        MenuAnswerer menus(c.id);
        QTest::mouseClick(&sort, Qt::LeftButton);
        EXPECT_EQ(sort.text(), QString::fromUtf8(c.text));
        ASSERT_FALSE(frame.messages.empty());
        const MessageRecorder::Message& sent = frame.messages.back();
        EXPECT_EQ(sent.number, WM_LOCAL_SORT);
        EXPECT_EQ(sent.sort.numeric, c.numeric);
        EXPECT_EQ(sent.sort.ascending, 1);
        EXPECT_EQ(sent.sort.column, c.column);
    }
    // No pick: nothing sent, the text stays.
    const size_t before = frame.messages.size();
    MenuAnswerer none;
    QTest::mouseClick(&sort, Qt::LeftButton);
    EXPECT_EQ(frame.messages.size(), before);
    EXPECT_EQ(sort.text(), QStringLiteral("이름 ▼"));
}

} // namespace
} // namespace tavik::app
