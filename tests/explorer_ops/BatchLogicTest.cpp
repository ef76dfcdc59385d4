// The batch's plain logic without a server: the planner over rows of a scripted folder tree
// (files, folders, links of every kind, names the code page or the device cannot carry, sizes
// the transfer range cannot carry), the conflict policy's four answers and "모두 적용", and the
// conflict question's dialog driven by its buttons and keys.
#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CBatchPlanner.h"
#include "app/explorer/CConflictPolicy.h"
#include "app/explorer/ConflictDialog.h"
#include "app/explorer/TransferText.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace tavik::test {
namespace {

using app::BatchSourceEntry;
using Kind = BatchSourceEntry::Kind;
using Link = BatchSourceEntry::Link;

// A folder tree given as rows: folder path → its entries; a folder missing from the map cannot
// be listed.
class ScriptedSource : public app::BatchSource {
public:
    std::map<QString, std::vector<BatchSourceEntry>> folders;

    std::optional<std::vector<BatchSourceEntry>> List(const QString& folder,
                                                      QString& error) override {
        const auto found = folders.find(folder);
        if (found == folders.end()) {
            error = QStringLiteral("denied");
            return std::nullopt;
        }
        return found->second;
    }
    QString Join(const QString& folder, const QString& name) const override {
        return folder + QLatin1Char('\\') + name;
    }
};

// Saves the widget as <name>.png in $TAVIK_SCREENSHOT_DIR when that is set (to look at it).
void Shot(QWidget& widget, const char* name) {
    if (const char* folder = std::getenv("TAVIK_SCREENSHOT_DIR")) {
        widget.grab().save(QString::fromUtf8(folder) + QLatin1Char('/') + QLatin1String(name) +
                           QStringLiteral(".png"));
    }
}

BatchSourceEntry File(const char* name, uint64_t size, Link link = Link::None) {
    return {QString::fromUtf8(name), Kind::File, link, size};
}
BatchSourceEntry Folder(const char* name, Link link = Link::None) {
    return {QString::fromUtf8(name), Kind::Folder, link, 0};
}

TEST(BatchPlannerTest, WalksFoldersAndNamesEverythingItLeavesOut) {
    ScriptedSource source;
    source.folders[QStringLiteral("\\dev\\docs")] = {
        File("b.txt", 5),
        Folder("sub"),
        Folder("to folder", Link::ToFolder),
        File("in.txt", 3, Link::ToFileInside),
        File("out.txt", 3, Link::ToFileOutside),
        File("gone.txt", 0, Link::Dangling),
        {QStringLiteral("fifo"), Kind::Other, Link::None, 0},
        File("smile \xF0\x9F\x98\x80.txt", 1),
        File("a\\b.txt", 1),
        File("..", 1),
        File("huge.iso", 0xFFFFFFFFull),
        File("just under 4 GiB.bin", 0xFFFFFFFEull),
        Folder("locked"),
    };
    source.folders[QStringLiteral("\\dev\\docs\\sub")] = {File("deep.txt", 7)};
    app::CBatchPlanner planner(source, app::CBatchPlanner::Direction::Upload,
                               QStringLiteral("\\dev"), QStringLiteral("/disk"));
    source.folders[QStringLiteral("\\dev")] = {File("a.txt", 10), Folder("docs"),
                                               File("picked out.txt", 4, Link::ToFileOutside)};
    const app::BatchPlan plan =
        planner.PlanNames({QStringLiteral("a.txt"), QStringLiteral("docs"),
                           QStringLiteral("picked out.txt"), QStringLiteral("vanished.txt")});

    using Row = std::tuple<app::BatchItem::Kind, QString, QString, QString, uint64_t>;
    std::vector<Row> items;
    for (const app::BatchItem& item : plan.items) {
        items.emplace_back(item.kind, item.source, item.destination, item.shownName, item.size);
    }
    const auto F = app::BatchItem::Kind::File;
    const auto D = app::BatchItem::Kind::Folder;
    const std::vector<Row> expected = {
        {F, "\\dev\\a.txt", "/disk/a.txt", "a.txt", 10},
        {D, "\\dev\\docs", "/disk/docs", "docs", 0},
        {F, "\\dev\\docs\\b.txt", "/disk/docs/b.txt", "docs/b.txt", 5},
        {D, "\\dev\\docs\\sub", "/disk/docs/sub", "docs/sub", 0},
        {F, "\\dev\\docs\\sub\\deep.txt", "/disk/docs/sub/deep.txt", "docs/sub/deep.txt", 7},
        {F, "\\dev\\docs\\in.txt", "/disk/docs/in.txt", "docs/in.txt", 3},
        {F, "\\dev\\docs\\just under 4 GiB.bin", "/disk/docs/just under 4 GiB.bin",
         "docs/just under 4 GiB.bin", 0xFFFFFFFEu},
        // A link the user picked is taken wherever its file lies.
        {F, "\\dev\\picked out.txt", "/disk/picked out.txt", "picked out.txt", 4},
    };
    EXPECT_EQ(items, expected);
    EXPECT_EQ(plan.FileCount(), 6);
    EXPECT_EQ(plan.totalBytes, 10u + 5 + 7 + 3 + 0xFFFFFFFEull + 4);

    std::map<QString, QString> failures;
    for (const app::BatchFailure& failure : plan.failures) {
        EXPECT_TRUE(failures.emplace(failure.name, failure.reason).second)
            << failure.name.toStdString();
    }
    const std::map<QString, QString> expectedFailures = {
        {"vanished.txt", app::kMissingReason},
        {"docs/to folder", app::kLinkToFolderReason},
        {"docs/out.txt", app::kLinkOutsideReason},
        {"docs/gone.txt", app::kDanglingLinkReason},
        {"docs/fifo", app::kNotFileReason},
        {QString::fromUtf8("docs/smile \xF0\x9F\x98\x80.txt"), app::kUnmappableNameReason},
        {"docs/a\\b.txt", app::kUnusableNameReason},
        {"docs/..", app::kUnusableNameReason},
        {"docs/huge.iso", app::kFileTooLargeText},
        {"docs/locked", app::ListingFailedReason("denied")},
    };
    EXPECT_EQ(failures, expectedFailures);
}

// When the session carries 64-bit positions, files of 4 GiB and more are planned with their
// whole size; otherwise they are named as too large, whatever their size past 32 bits.
TEST(BatchPlannerTest, FilesOfFourGiBAndMoreArePlannedOnlyWhenTheSessionCarriesThem) {
    ScriptedSource source;
    source.folders[QStringLiteral("/disk")] = {File("clamped.iso", 0xFFFFFFFFull),
                                               File("six.bin", 6ull << 30), File("x.txt", 1)};
    for (bool accept : {false, true}) {
        SCOPED_TRACE(accept);
        app::CBatchPlanner planner(source, app::CBatchPlanner::Direction::Download,
                                   QStringLiteral("/disk"), QStringLiteral("\\dev"));
        planner.AcceptLargeFiles(accept);
        const app::BatchPlan plan = planner.PlanNames(
            {QStringLiteral("clamped.iso"), QStringLiteral("six.bin"), QStringLiteral("x.txt")});
        std::vector<std::pair<QString, uint64_t>> items;
        for (const app::BatchItem& item : plan.items) {
            items.emplace_back(item.shownName, item.size);
        }
        std::vector<std::pair<QString, QString>> failures;
        for (const app::BatchFailure& failure : plan.failures) {
            failures.emplace_back(failure.name, failure.reason);
        }
        if (accept) {
            EXPECT_EQ(items,
                      (std::vector<std::pair<QString, uint64_t>>{
                          {"clamped.iso", 0xFFFFFFFFull}, {"six.bin", 6ull << 30}, {"x.txt", 1}}));
            EXPECT_TRUE(failures.empty());
            EXPECT_EQ(plan.totalBytes, 0xFFFFFFFFull + (6ull << 30) + 1);
        } else {
            EXPECT_EQ(items, (std::vector<std::pair<QString, uint64_t>>{{"x.txt", 1}}));
            EXPECT_EQ(failures, (std::vector<std::pair<QString, QString>>{
                                    {"clamped.iso", app::kFileTooLargeText},
                                    {"six.bin", app::kFileTooLargeText}}));
            EXPECT_EQ(plan.totalBytes, 1u);
        }
    }
}

TEST(BatchPlannerTest, DownloadsRefuseNamesTheDeviceCannotHoldAndStopOnCancel) {
    ScriptedSource source;
    source.folders[QStringLiteral("/disk")] = {File("x.txt", 1), File("back\\slash", 1),
                                               File("bad \xEF\xBF\xBD byte", 1), Folder("f")};
    source.folders[QStringLiteral("/disk\\f")] = {File("y.txt", 2)};
    app::CBatchPlanner planner(source, app::CBatchPlanner::Direction::Download,
                               QStringLiteral("/disk"), QStringLiteral("\\dev"));
    const app::BatchPlan plan =
        planner.PlanNames({QStringLiteral("x.txt"), QStringLiteral("back\\slash"),
                           QString::fromUtf8("bad \xEF\xBF\xBD byte"), QStringLiteral("f")});
    ASSERT_EQ(plan.items.size(), 3u);
    EXPECT_EQ(plan.items[0].destination, QStringLiteral("\\dev\\x.txt"));
    EXPECT_EQ(plan.items[2].destination, QStringLiteral("\\dev\\f\\y.txt"));
    ASSERT_EQ(plan.failures.size(), 2u);
    EXPECT_EQ(plan.failures[0].reason, app::kUnusableNameReason);
    EXPECT_EQ(plan.failures[1].reason, app::kUnmappableNameReason);

    const int cancel = 1;
    EXPECT_TRUE(planner.PlanNames({QStringLiteral("x.txt")}, &cancel).items.empty());
}

// One conflict of a scripted sequence: the sizes, whether the tails match, what the user
// answers if asked, and what the policy must decide and whether it asked.
struct ConflictStep {
    uint64_t source;
    uint64_t destination;
    bool tailsMatch;
    app::ConflictReply reply;
    app::ConflictAnswer decided;
    bool asked;
    bool offeredResume;
};

TEST(ConflictPolicyTest, FourAnswersAndApplyToAll) {
    using A = app::ConflictAnswer;
    const std::vector<std::pair<const char*, std::vector<ConflictStep>>> scripts = {
        {"replace asks every time",
         {{10, 5, true, {A::Replace, false}, A::Replace, true, true},
          {10, 5, true, {A::Skip, false}, A::Skip, true, true}}},
        {"skip for all asks no more",
         {{10, 20, false, {A::Skip, true}, A::Skip, true, false},
          {10, 5, true, {A::Replace, false}, A::Skip, false, false},
          {10, 0, false, {A::Replace, false}, A::Skip, false, false}}},
        {"replace for all",
         {{10, 5, false, {A::Replace, true}, A::Replace, true, false},
          {10, 5, true, {A::Skip, false}, A::Replace, false, false}}},
        {"resume for all continues what can be, asks about the rest",
         {{10, 5, true, {A::Resume, true}, A::Resume, true, true},
          {10, 4, true, {A::Skip, false}, A::Resume, false, false},
          {10, 4, false, {A::Replace, false}, A::Replace, true, false},
          {10, 10, true, {A::Skip, false}, A::Skip, true, false}}},
        {"resume is offered only for a shorter, matching destination",
         {{10, 5, false, {A::Resume, false}, A::Skip, true, false},
          {10, 12, true, {A::Replace, false}, A::Replace, true, false},
          {10, 0, true, {A::Replace, false}, A::Replace, true, false}}},
        {"cancel is never kept",
         {{10, 5, true, {A::Cancel, true}, A::Cancel, true, true},
          {10, 5, true, {A::Skip, false}, A::Skip, true, true}}},
    };
    for (const auto& [name, steps] : scripts) {
        SCOPED_TRACE(name);
        const ConflictStep* current = nullptr;
        bool asked = false;
        bool offered = false;
        app::CConflictPolicy policy([&](const app::ConflictQuestion& question) {
            asked = true;
            offered = question.resumable;
            EXPECT_EQ(question.sourceSize, current->source);
            EXPECT_EQ(question.destinationSize, current->destination);
            return current->reply;
        });
        int step = 0;
        for (const ConflictStep& conflict : steps) {
            SCOPED_TRACE(step++);
            current = &conflict;
            asked = false;
            offered = false;
            const app::ConflictAnswer decided =
                policy.Decide({QStringLiteral("f"), conflict.source, conflict.destination, false},
                              [&conflict] { return conflict.tailsMatch; });
            EXPECT_EQ(decided, conflict.decided);
            EXPECT_EQ(asked, conflict.asked);
            EXPECT_EQ(offered, conflict.offeredResume);
        }
    }
}

TEST(ConflictDialogTest, ButtonsKeysAndApplyToAllGiveTheReply) {
    using A = app::ConflictAnswer;
    struct Row {
        A press;
        bool all;
        bool resumable;
        app::ConflictReply expected;
    };
    const Row rows[] = {
        {A::Replace, false, false, {A::Replace, false}},
        {A::Skip, true, false, {A::Skip, true}},
        {A::Resume, true, true, {A::Resume, true}},
        {A::Cancel, true, true, {A::Cancel, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.press));
        app::ConflictDialog dialog(
            {QStringLiteral("문서/보고서.txt"), 2500000, 1000, row.resumable}, nullptr);
        EXPECT_EQ(dialog.Button(A::Resume)->isHidden(), !row.resumable);
        EXPECT_TRUE(dialog.Text().contains(QStringLiteral("2,500,000")));
        for (A answer : {A::Replace, A::Skip, A::Resume, A::Cancel}) {
            EXPECT_FALSE(dialog.Button(answer)->accessibleName().isEmpty());
        }
        QTimer::singleShot(0, &dialog, [&] {
            if (row.press == A::Resume) {
                Shot(dialog, "conflict-question");
            }
            if (row.all) {
                // The check box's mnemonic, as a keyboard user would.
                dialog.activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
                QTest::keyClick(&dialog, Qt::Key_A, Qt::AltModifier);
                // A mnemonic clicks the way a press looks: a moment later.
                QDeadlineTimer deadline(5000);
                while (!dialog.ApplyToAllBox()->isChecked() && !deadline.hasExpired()) {
                    QTest::qWait(10);
                }
            }
            dialog.Button(row.press)->click();
        });
        dialog.exec();
        EXPECT_EQ(dialog.Reply().answer, row.expected.answer);
        EXPECT_EQ(dialog.Reply().applyToAll, row.expected.applyToAll);
    }
    // Escape is the cancel of the batch, even with "모두 적용" checked.
    app::ConflictDialog dialog({QStringLiteral("a.txt"), 10, 5, true}, nullptr);
    dialog.ApplyToAllBox()->setChecked(true);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    dialog.exec();
    EXPECT_EQ(dialog.Reply().answer, A::Cancel);
    EXPECT_FALSE(dialog.Reply().applyToAll);
}

} // namespace
} // namespace tavik::test
