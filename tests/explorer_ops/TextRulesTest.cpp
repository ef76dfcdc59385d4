// The plain rules behind the dialogs and operations, as rows of inputs and expected texts.
#include "app/explorer/FileOperationText.h"
#include "app/explorer/LocalNames.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/FolderPath.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavik::test {
namespace {

using namespace tavik::app;

TEST(TransferTextTest, NumbersTimesAndSizes) {
    const std::pair<uint64_t, const char*> grouped[] = {{0, "0"},
                                                        {999, "999"},
                                                        {1000, "1,000"},
                                                        {1234567, "1,234,567"},
                                                        {2500000, "2,500,000"},
                                                        {4294967295u, "4,294,967,295"}};
    for (const auto& [value, text] : grouped) {
        EXPECT_EQ(GroupDigits(value), QString::fromUtf8(text)) << value;
    }
    EXPECT_EQ(BytesText(2500000, 2500000), QStringLiteral("2,500,000 / 2,500,000 byte"));

    const std::pair<std::optional<uint32_t>, const char*> remaining[] = {
        {3725, "1시간 2분 5초"}, {65, "1분 5초"},   {59, "59초"}, {0, "0초"},
        {3600, "1시간 0분 0초"}, {std::nullopt, ""}};
    for (const auto& [seconds, text] : remaining) {
        EXPECT_EQ(RemainingText(seconds), QString::fromUtf8(text));
    }

    struct Progress {
        uint64_t done, total;
        uint32_t elapsed;
        int percent;
        const char* speed;
        std::optional<uint32_t> seconds;
    };
    const Progress progress[] = {
        {0, 0, 0, 100, "", 0},                       // zero-byte file, first notice
        {0, 1000, 0, 0, "", std::nullopt},           // first notice: no time has passed
        {0, 1000, 50, 0, " 0.00 k/s", std::nullopt}, // nothing moved yet: no estimate
        {500, 1000, 1, 50, "500.00 k/s", 0},
        {5, 10, 2, 50, " 2.50 k/s", 0},
        {1000, 3726000, 1000, 0, " 1.00 k/s", 3725}, // 1시간 2분 5초 left
        {1000000, 3000000, 1000, 33, "1000.00 k/s", 2},
        {1073741823, 1073741824, 1000, 99, "1073741.82 k/s", 0}, // never 100 before the end
        {4294967295u, 4294967295u, 1, 100, "4294967295.00 k/s", 0},
        // Past 32 bits: 5 GiB of 6 GiB, 1 GiB left at 1 GiB/s.
        {5368709120ull, 6442450944ull, 5000, 83, "1073741.82 k/s", 1},
        {6442450943ull, 6442450944ull, 1, 99, "6442450943.00 k/s", 0},
    };
    for (const Progress& row : progress) {
        SCOPED_TRACE(row.done);
        EXPECT_EQ(TransferPercent(row.done, row.total), row.percent);
        const auto speed = TransferSpeed(row.done, row.elapsed);
        EXPECT_EQ(SpeedText(speed), QString::fromUtf8(row.speed));
        EXPECT_EQ(RemainingSeconds(row.done, row.total, speed), row.seconds);
    }

    const std::pair<const char*, std::optional<uint64_t>> sizes[] = {
        {"2500000", 2500000},          {"4294967295", 4294967295u},   {"-1", 4294967295u},
        {"-2147483648", 2147483648u},  {"폴더", std::nullopt},        {"", std::nullopt},
        {"4294967296", 4294967296ull}, {"6442450944", 6442450944ull}, {"12a", std::nullopt}};
    for (const auto& [text, size] : sizes) {
        EXPECT_EQ(ParseSizeText(QString::fromUtf8(text)), size) << text;
    }
    EXPECT_EQ(SizeText(3000000000u), QStringLiteral("3000000000"));
    EXPECT_EQ(SizeText(6442450944ull), QStringLiteral("6442450944")); // in full
    EXPECT_EQ(BytesText(5368709120ull, 6442450944ull),
              QStringLiteral("5,368,709,120 / 6,442,450,944 byte"));
}

TEST(TransferTextTest, SpaceChecksAndPathBuffers) {
    // 65536 blocks of 65536 bytes: 4 GiB free, which a 32-bit product turns into 0.
    EXPECT_FALSE(UploadNeedsSpaceQuestion(65536, 65536, 4000000000u));
    EXPECT_TRUE(UploadNeedsSpaceQuestion(512, 10, 5121));
    EXPECT_FALSE(UploadNeedsSpaceQuestion(512, 10, 5120));
    for (uint64_t free : {0ull, 1024ull}) {
        EXPECT_TRUE(DownloadRefusedForSpace(free)) << free;
    }
    for (uint64_t free : {1023ull, 1025ull, 1ull << 40}) {
        EXPECT_FALSE(DownloadRefusedForSpace(free)) << free;
    }
    EXPECT_TRUE(DownloadNeedsSpaceQuestion(2499999, 2500000));
    EXPECT_FALSE(DownloadNeedsSpaceQuestion(5000000000ull, 4294967295u));
    EXPECT_TRUE(DownloadNeedsSpaceQuestion(5000000000ull, 6442450944ull));
    EXPECT_TRUE(UploadNeedsSpaceQuestion(4096, 1000000, 6442450944ull));
    EXPECT_FALSE(UploadNeedsSpaceQuestion(4096, 2000000, 6442450944ull));

    // 511 bytes and the terminator fit; Hangul takes two bytes in the code page.
    EXPECT_TRUE(TransferPathBytes(QString(511, 'a')).has_value());
    EXPECT_FALSE(TransferPathBytes(QString(512, 'a')).has_value());
    EXPECT_EQ(TransferPathBytes(QString(255, QChar(0xAC00)))->size(), 510u);
    EXPECT_FALSE(TransferPathBytes(QString(256, QChar(0xAC00))).has_value());
}

TEST(FileOperationTextTest, NamesCharactersErrorsAndFolders) {
    EXPECT_EQ(LocalNewFolderName(0), QStringLiteral("새 폴더"));
    EXPECT_EQ(LocalNewFolderName(1), QStringLiteral("새 폴더 (1)"));
    EXPECT_EQ(LocalNewFolderName(12), QStringLiteral("새 폴더 (12)"));
    for (QChar c : QStringLiteral("\\/:*?\"<>|")) {
        EXPECT_TRUE(HasForbiddenNameChar(QStringLiteral("a") + c + QStringLiteral("b")))
            << static_cast<int>(c.unicode());
    }
    for (const char* name : {"보고서.txt", "a b", "(1)", "x.y.z", "#%&"}) {
        EXPECT_FALSE(HasForbiddenNameChar(QString::fromUtf8(name))) << name;
    }
    EXPECT_EQ(kForbiddenNameText,
              QStringLiteral("파일이름에 다음 문자가 올 수 없습니다.\n\t\\ / : * ? \" < > |"));
    EXPECT_TRUE(FitsRenameBuffer(QString(259, 'a')));
    EXPECT_FALSE(FitsRenameBuffer(QString(260, 'a')));

    struct Failure {
        uint32_t error;
        bool folder;
        const char* text;
        unsigned icon;
    };
    const Failure failures[] = {
        {183, true, "지정한 이름을 가진 폴더가 존재합니다.", MB_ICONINFORMATION},
        {183, false, "지정한 이름을 가진 파일이 존재합니다.", MB_ICONINFORMATION},
        {5, true, "해당폴더에 접근할수 없습니다.", MB_ICONERROR},
        {5, false, "해당파일에 접근할수 없습니다.", MB_ICONERROR},
        {3, true, "해당폴더를 변경하는도중 문제가 발생했습니다.", MB_ICONERROR},
        {2, false, "해당파일를 변경하는도중 문제가 발생했습니다.", MB_ICONERROR},
    };
    for (const Failure& row : failures) {
        const RenameFailure failure = LocalRenameFailure(row.error, row.folder);
        EXPECT_EQ(failure.text, QString::fromUtf8(row.text));
        EXPECT_EQ(failure.icon, row.icon);
    }
    EXPECT_EQ(CannotCreateFolderText(QStringLiteral("\\Temp")),
              QStringLiteral("\"\\Temp\" 에 디렉토리를 만들 수 없습니다."));

    const std::pair<const char*, const char*> parents[] = {
        {"\\Program Files", "\\"}, {"\\", "\\"}, {"\\a\\b", "\\a"}, {"\\a\\b\\c", "\\a\\b"}};
    for (const auto& [folder, parent] : parents) {
        EXPECT_EQ(ParentFolder(QString::fromUtf8(folder)), QString::fromUtf8(parent)) << folder;
    }
    EXPECT_EQ(ChildFolder(QStringLiteral("\\"), QStringLiteral("x")), QStringLiteral("\\x"));
    EXPECT_EQ(ChildFolder(QStringLiteral("\\a"), QStringLiteral("b")), QStringLiteral("\\a\\b"));
}

// Which names become one entry of the folder shown, and the device path they get there.
TEST(LocalNamesTest, OnlySingleNamesGetAPathInsideTheFolder) {
    const QString nul = QStringLiteral("x") + QChar(0) + QStringLiteral("y");
    struct Row {
        QString folder;
        QString name;
        std::optional<QString> entry; // nullopt: refused
        bool remoteToo;               // whether the disk takes the name as one entry
    };
    const Row rows[] = {
        {"", "a.txt", "\\a.txt", true},
        {"\\Docs", "보고서 1.txt", "\\Docs\\보고서 1.txt", true},
        {"\\Docs", ".hidden", "\\Docs\\.hidden", true},
        {"\\Docs", "...", "\\Docs\\...", true},
        {"\\Docs", "..\\victim.txt", std::nullopt, true},
        {"\\Docs", "..\\..\\PWN_root.txt", std::nullopt, true},
        {"\\Docs", "sub\\inner.txt", std::nullopt, true},
        {"\\Docs", "../victim.txt", std::nullopt, false},
        {"\\Docs", "a/b", std::nullopt, false},
        {"\\Docs", "..", std::nullopt, false},
        {"\\Docs", ".", std::nullopt, false},
        {"\\Docs", "", std::nullopt, false},
        {"\\Docs", nul, std::nullopt, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        EXPECT_EQ(EntryInFolder(row.folder, row.name), row.entry);
        EXPECT_EQ(IsSingleLocalName(row.name), row.entry.has_value());
        EXPECT_EQ(IsSingleRemoteName(row.name), row.remoteToo);
    }
    EXPECT_EQ(UnusableNameText(QStringLiteral("..\\x")),
              QStringLiteral("\"..\\x\" 은(는) 이 기기의 파일 이름으로 쓸 수 없습니다."));
    EXPECT_TRUE(UnusableNameText(nul).contains(QStringLiteral("x\\0y")));
}

} // namespace
} // namespace tavik::test
