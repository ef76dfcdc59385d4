// The pure rules of the panes: sort orders, path rules, row names, type and date texts, the
// path button's cut and the progress bar's gradient.
#include "app/explorer/CFileTypes.h"
#include "app/explorer/ListSort.h"
#include "app/explorer/PaneText.h"
#include "app/explorer/PercentProgressCtrl.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <QStringList>

#include <vector>

namespace tavik::app {
namespace {

// Rows "name:size" in, names in the sorted order out.
QStringList Sorted(const QStringList& rows, bool numeric, bool byName) {
    std::vector<SortInput> inputs;
    for (const QString& row : rows) {
        const QStringList parts = row.split(QLatin1Char(':'));
        inputs.push_back({parts[1], byName ? parts[0] : parts[1]});
    }
    QStringList names;
    for (int index : SortOrder(inputs, numeric)) {
        names << rows[index].split(QLatin1Char(':'))[0];
    }
    return names;
}

TEST(ListSortTest, OrdersRowsAsThePanesShowThem) {
    struct Case {
        const char* name;
        QStringList rows;
        bool numeric;
        bool byName;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"sizes 100, 250, 1000 sort by 1, 2, 10 after the folders",
         {"big:1000", "docs:폴더", "mid:250", "small:100", "pics:폴더"},
         true,
         false,
         {"docs", "pics", "small", "mid", "big"}},
        {"the last two digits are ignored, equal keys keep their order",
         {"b:199", "a:150", "c:99", "d:5"},
         true,
         false,
         {"c", "d", "b", "a"}},
        {"commas are removed before the number is read",
         {"x:1,500", "y:2,000", "z:300"},
         true,
         false,
         {"z", "x", "y"}},
        {"text sort puts folders first, then names in collation order",
         {"b.txt:10", "Zeta:폴더", "a.txt:20", "alpha:폴더", "B.doc:5"},
         false,
         true,
         {"alpha", "Zeta", "a.txt", "B.doc", "b.txt"}},
        {"Korean names", {"다:1", "가:1", "나:폴더"}, false, true, {"나", "가", "다"}},
        {"nothing to sort", {}, false, true, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sorted(c.rows, c.numeric, c.byName), c.expected) << c.name;
    }
}

TEST(ListSortTest, NumericKeyReadsLikeAtoi) {
    const std::vector<std::pair<QString, int64_t>> cases = {
        {"100", 1},     {"1000", 10},
        {"99", 0},      {"5", 0},
        {"", 0},        {"1,234,567", 12345},
        {" 4200", 42},  {"-500", -5},
        {"12ab00", 12}, {"99999999999999999999999", INT64_MAX},
    };
    for (const auto& [text, key] : cases) {
        EXPECT_EQ(NumericSortKey(text), key) << text.toStdString();
    }
}

TEST(ListSortTest, AlreadySortedAndReversedInputKeepTheOrderRule) {
    std::vector<SortInput> ascending;
    std::vector<SortInput> descending;
    for (int i = 0; i < 2000; ++i) {
        ascending.push_back({QString::number(i * 100), QString::number(i * 100)});
        descending.push_back(
            {QString::number((1999 - i) * 100), QString::number((1999 - i) * 100)});
    }
    const std::vector<int> same = SortOrder(ascending, true);
    const std::vector<int> reversed = SortOrder(descending, true);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(same[i], i);
        ASSERT_EQ(reversed[i], 1999 - i);
    }
}

TEST(PaneTextTest, RemoteFolderPathFollowsThePathBar) {
    struct Case {
        QString session;
        QString bar;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"/demo", "/전체 TAVIK 보기/내 디스크", "/demo"},
        {"/demo", "/전체 TAVIK 보기/내 디스크/docs/a", "/demo/docs/a"},
        {"/demo", "/전체 TAVIK 보기", "/demo"},
        {"", "/전체 TAVIK 보기/disk/x", "/x"},
        {"/s", "/disk/ y", "/s/ y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RemoteFolderPath(c.session, c.bar), c.expected) << c.bar.toStdString();
    }
    EXPECT_EQ(StripArrow(QStringLiteral("/전체 TAVIK 보기/d ▼")),
              QStringLiteral("/전체 TAVIK 보기/d"));
}

TEST(PaneTextTest, DevicePathOfTheLocalBar) {
    EXPECT_EQ(DevicePathOfLocalBar(QStringLiteral("\\My Device")), QString());
    EXPECT_EQ(DevicePathOfLocalBar(QStringLiteral("\\My Device\\docs\\a ▼")),
              QStringLiteral("\\docs\\a"));
    EXPECT_EQ(DevicePathOfLocalBar(QStringLiteral("  \\My Device\\x")), QStringLiteral("\\x"));
}

TEST(PaneTextTest, RemoteRowNames) {
    struct Case {
        QString full;
        QString folder;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"/demo/docs/a.txt", "/demo/docs", "a.txt"},
        {"/demo/sub", "/demo", "sub"},
        // The folder's text inside the name stays: only the front is the folder.
        {"/demo/demo.txt", "/demo", "demo.txt"},
        {"/demo/x/demo", "/demo/x", "demo"},
        // A server that answers with another prefix: the last component.
        {"/other/place/b.bin", "/demo", "b.bin"},
        {"/other/folder/", "/demo", "folder"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RemoteRowName(c.full, c.folder), c.expected) << c.full.toStdString();
    }
}

TEST(PaneTextTest, TypeTextsWhenThePlatformKnowsNone) {
    EXPECT_EQ(FileTypeText(QStringLiteral("readme"), QString()), QStringLiteral("파일"));
    EXPECT_EQ(FileTypeText(QStringLiteral("report.xyz"), QString()), QStringLiteral("XYZ 파일"));
    EXPECT_EQ(FileTypeText(QStringLiteral("data.tar.bin"), QString()), QStringLiteral("BIN 파일"));
    EXPECT_EQ(FileTypeText(QStringLiteral("a.txt"), QStringLiteral("plain text document")),
              QStringLiteral("plain text document"));
}

TEST(PaneTextTest, DateTextWithAmAndPm) {
    struct Case {
        int hour;
        int minute;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {0, 7, "2024-03-09 AM 00:07"},   {9, 30, "2024-03-09 AM 09:30"},
        {12, 5, "2024-03-09 AM 12:05"},  {13, 5, "2024-03-09 PM 01:05"},
        {23, 59, "2024-03-09 PM 11:59"},
    };
    for (const Case& c : cases) {
        const QDateTime time(QDate(2024, 3, 9), QTime(c.hour, c.minute, 41));
        EXPECT_EQ(FormatListDate(time), QString::fromUtf8(c.expected));
    }
}

TEST(PaneTextTest, PathButtonTextIsCutPast179Pixels) {
    // Eight pixels a character: "abc ▼" is 40 wide, a 30-character component 256.
    auto width = [](const QString& text) { return static_cast<int>(text.size()) * 8; };
    EXPECT_EQ(PathButtonText(QStringLiteral("abc"), width), QStringLiteral("abc ▼"));
    const QString thirty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(PathButtonText(thirty, width), QStringLiteral("abcdefghijklmnop...▼"));
    // Exactly 179 pixels still fits.
    auto exact = [](const QString&) { return 179; };
    EXPECT_EQ(PathButtonText(thirty, exact), thirty + QStringLiteral(" ▼"));
}

TEST(PercentProgressTest, GradientBandsAndText) {
    const QColor start = PercentProgressCtrl::kGradientStart;
    const QColor end = PercentProgressCtrl::kGradientEnd;
    // The largest difference of the components: green, 242 - 24.
    EXPECT_EQ(PercentProgressCtrl::BandCount(start, end), 218);
    EXPECT_EQ(PercentProgressCtrl::BandColor(start, end, 0, 218), start);
    EXPECT_EQ(PercentProgressCtrl::BandColor(start, end, 109, 218), QColor(119, 133, 233));
    EXPECT_EQ(PercentProgressCtrl::BandColor(start, end, 218, 218), end);

    PercentProgressCtrl bar(nullptr);
    bar.setValue(37);
    EXPECT_EQ(bar.PercentText(), QStringLiteral("37%"));
    bar.setRange(0, 200);
    bar.setValue(1);
    EXPECT_EQ(bar.PercentText(), QStringLiteral("0%"));
    bar.SetStep(150);
    bar.StepIt();
    EXPECT_EQ(bar.value(), 151);
    bar.StepIt();
    EXPECT_EQ(bar.value(), 200);
}

// Without an icon theme the common kinds of file get icons of our own, drawn from vector art:
// at 2x they have twice the pixels, not an enlarged small image.
TEST(FileTypesTest, CommonTypesGetOurOwnSharpIconsWithoutAnIconTheme) {
    const QString theme = QIcon::themeName();
    QIcon::setThemeName(QStringLiteral("tavik-no-such-theme"));
    const struct {
        const char* name;
        const char* kind;
    } rows[] = {
        {"notes.txt", "text"},        {"main.cpp", "text"},       {"photo.JPG", "image"},
        {"song.mp3", "audio"},        {"clip.mp4", "video"},      {"bundle.zip", "archive"},
        {"backup.tar.gz", "archive"}, {"report.pdf", "document"}, {"letter.docx", "document"},
        {"sheet.ods", "document"},    {"blob.qqzz", ""},
    };
    CFileTypes types;
    const QMimeDatabase database;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString kind = QString::fromLatin1(row.kind);
        EXPECT_EQ(CFileTypes::FallbackKind(
                      database.mimeTypeForFile(row.name, QMimeDatabase::MatchExtension)),
                  kind);
        const QIcon icon = types.ForFileName(QString::fromLatin1(row.name)).icon;
        ASSERT_FALSE(icon.isNull());
        if (kind.isEmpty()) {
            continue;
        }
        EXPECT_EQ(icon.cacheKey(), CFileTypes::FallbackIcon(kind).cacheKey());
        EXPECT_EQ(icon.pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32));
    }
    EXPECT_EQ(types.FolderIcon().cacheKey(), CFileTypes::FallbackIcon("folder").cacheKey());
    EXPECT_EQ(types.FolderIcon().pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32));
    EXPECT_TRUE(CFileTypes::FallbackIcon("no such kind").isNull());
    QIcon::setThemeName(theme);
}

} // namespace
} // namespace tavik::app
