// The explorer driven without a mouse: the path and sort menus open from the keyboard and from
// assistive tools, a pop-up menu item pressed through the accessibility interface counts as the
// pick, and the controls whose text changes tell assistive tools what they show.
#include "app/explorer/PathBar.h"
#include "app/explorer/TransferDialog.h"
#include "tests/explorer/ExplorerTestSupport.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace tavik::app {
namespace {

void AccessiblePress(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    ASSERT_NE(accessible, nullptr);
    ASSERT_NE(accessible->actionInterface(), nullptr);
    ASSERT_TRUE(accessible->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

QString AccessibleText(QObject* object, QAccessible::Text which) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->text(which) : QStringLiteral("<none>");
}

// The ways a user without a mouse activates a button.
struct Activation {
    const char* name;
    std::function<void(QPushButton&)> activate;
};

const Activation kActivations[] = {
    {"Space", [](QPushButton& button) { QTest::keyClick(&button, Qt::Key_Space); }},
    {"Return", [](QPushButton& button) { QTest::keyClick(&button, Qt::Key_Return); }},
    {"Enter", [](QPushButton& button) { QTest::keyClick(&button, Qt::Key_Enter); }},
    {"accessible press",
     [](QPushButton& button) {
         QSignalSpy clicked(&button, &QAbstractButton::clicked);
         AccessiblePress(&button);
         // The press animates a click, which arrives from the event loop.
         ASSERT_TRUE(clicked.count() > 0 || clicked.wait());
     }},
};

TEST(KeyboardAccessTest, SortMenuOpensWithoutAMouseAndTheKeyIsExposed) {
    MessageRecorder frame;
    PathBar bar(PathBar::Side::Remote, nullptr);
    bar.SetNotifyWindow(&frame);
    SortButton& sort = bar.sortButton();
    bar.show();
    EXPECT_EQ(AccessibleText(&sort, QAccessible::Name), QStringLiteral("원격 정렬"));
    EXPECT_EQ(AccessibleText(&sort, QAccessible::Description), QStringLiteral("이름"));
    const struct {
        int id;
        const char* key;
    } picks[] = {{ID_SORT_SIZE, "크기"}, {ID_SORT_DATE, "마지막 수정일자"}, {ID_SORT_TYPE, "종류"}};
    for (const Activation& activation : kActivations) {
        for (const auto& pick : picks) {
            SCOPED_TRACE(::testing::Message() << activation.name << " " << pick.key);
            MenuAnswerer menus(pick.id);
            const size_t before = frame.messages.size();
            activation.activate(sort);
            EXPECT_EQ(menus.names, QStringList{QStringLiteral("Sort")});
            ASSERT_EQ(frame.messages.size(), before + 1);
            EXPECT_EQ(frame.messages.back().number, WM_REMOTE_SORT);
            EXPECT_EQ(sort.CurrentKey(), pick.id);
            EXPECT_EQ(AccessibleText(&sort, QAccessible::Description), QString::fromUtf8(pick.key));
        }
    }
}

TEST(KeyboardAccessTest, PathMenuOpensWithoutAMouseAndGoesUp) {
    MessageRecorder frame;
    PathBar bar(PathBar::Side::Local, nullptr);
    bar.SetNotifyWindow(&frame);
    PathButton& path = bar.pathButton();
    bar.show();
    for (const Activation& activation : kActivations) {
        SCOPED_TRACE(activation.name);
        path.ResetTo(QStringLiteral("My Device"));
        path.AppendComponent(QStringLiteral("docs"));
        path.AppendComponent(QStringLiteral("a"));
        MenuAnswerer menus(kLocalPathMenuBase + 1);
        const size_t before = frame.messages.size();
        activation.activate(path);
        ASSERT_EQ(frame.messages.size(), before + 1);
        EXPECT_EQ(frame.messages.back().number, WM_LOCAL_PATH_CHOSEN);
        EXPECT_EQ(frame.messages.back().path, QStringLiteral("\\My Device\\docs"));
        EXPECT_EQ(AccessibleText(&path, QAccessible::Description),
                  QStringLiteral("\\My Device\\docs"));
    }
}

TEST(KeyboardAccessTest, AnAccessiblePressOnAShownMenuItemIsThePick) {
    // The real menu, not a test's chooser.
    const CPopupMenu::Chooser previous = CPopupMenu::SetChooser({});
    QMenu menu;
    for (auto [text, id] :
         {std::pair{"새로고침", 32784}, {"삭제하기", 32787}, {"모두 선택", 32786}}) {
        CPopupMenu::AddItem(menu, QString::fromUtf8(text), id);
    }
    QString pressed;
    QTimer::singleShot(0, &menu, [&menu, &pressed] {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&menu);
        ASSERT_NE(accessible, nullptr);
        for (int i = 0; i < accessible->childCount(); ++i) {
            QAccessibleInterface* item = accessible->child(i);
            if (item->text(QAccessible::Name) == QStringLiteral("삭제하기")) {
                pressed = item->text(QAccessible::Name);
                item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            }
        }
        // Should the press not end the menu, end it so that the test ends.
        QTimer::singleShot(0, &menu, [&menu] { menu.close(); });
    });
    QAction* picked = CPopupMenu::Run(menu, QPoint(10, 10));
    CPopupMenu::SetChooser(previous);
    EXPECT_EQ(pressed, QStringLiteral("삭제하기"));
    EXPECT_EQ(CPopupMenu::CommandOf(picked), 32787);
    EXPECT_FALSE(menu.isVisible());
}

TEST(KeyboardAccessTest, TransferDialogValuesReachAssistiveTools) {
    int cancel = 0;
    TransferDialog dialog(TransferDialog::Direction::Download, &cancel, nullptr, nullptr);
    dialog.SetFiles(1, 2);
    dialog.SetDiskPathText(QStringLiteral("/docs/report.txt"));
    TAVIK_TRANSFER transfer{};
    transfer.pszSrcPath = "/docs/report.txt";
    transfer.pszDstPath = "/home/user/report.txt";
    transfer.dwEndPos = 4096;
    TAVIK_PROGRESS progress{};
    progress.pTransfer = &transfer;
    progress.dwPos = 1024;
    progress.dwElapsed = 1000;
    dialog.UpdateProgress(25, progress);

    // Each value label (by its control id): its fixed name, and the value it shows.
    const struct {
        const char* id;
        const char* name;
        QString shown;
    } values[] = {
        {"1038", "TAVIK 경로", dialog.DiskPathText()}, {"1039", "파일 경로", dialog.FileText()},
        {"1027", "파일 크기", dialog.BytesText()},     {"1028", "전송 속도", dialog.SpeedText()},
        {"1029", "남은 시간", dialog.RemainingText()}, {"1030", "진행 상태", dialog.FilesText()},
    };
    for (const auto& value : values) {
        SCOPED_TRACE(value.name);
        auto* label = dialog.findChild<QLabel*>(QString::fromUtf8(value.id));
        ASSERT_NE(label, nullptr);
        ASSERT_FALSE(value.shown.isEmpty());
        EXPECT_EQ(AccessibleText(label, QAccessible::Name), QString::fromUtf8(value.name));
        EXPECT_EQ(AccessibleText(label, QAccessible::Description), value.shown);
    }
    // The values follow the transfer.
    progress.dwPos = 4096;
    dialog.UpdateProgress(100, progress);
    EXPECT_EQ(
        AccessibleText(dialog.findChild<QLabel*>(QStringLiteral("1030")), QAccessible::Description),
        dialog.FilesText());
    EXPECT_EQ(dialog.FilesText(), QStringLiteral("2 / 2"));
}

} // namespace
} // namespace tavik::app
