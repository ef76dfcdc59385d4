// Upload and download through the explorer's transfer flow against tavik-server: the refusals
// and questions that start nothing, whole transfers with the dialog's final texts, the close
// button after 100 %, and a cancel in the middle after which the session still works.
#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/explorer/CTransferFlow.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/PathBar.h"
#include "app/explorer/PathButton.h"
#include "app/explorer/TransferDialog.h"
#include "app/explorer/TransferText.h"
#include "app/res/ProgramResources.h"
#include "app/shell/CShellOpen.h"

#include "platform/LocalFileSystem.h"

#include <QAction>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
using app::CTransferFlow;
using app::TransferDialog;

// The names in a host folder, hidden ones included.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Every file under a host folder, relative path to contents.
std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
        }
    }
    return files;
}

// The names a list shows.
std::set<std::string> RowNames(app::FileListCtrl& list) {
    std::set<std::string> names;
    for (int row = 0; row < list.RowCount(); ++row) {
        names.insert(list.Text(row, app::kColumnName).toStdString());
    }
    return names;
}

// The size of the biggest file directly in a host folder (a transfer's file, whatever its name).
uintmax_t LargestFileSize(const std::string& folder) {
    uintmax_t largest = 0;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.is_regular_file(ignored)) {
            largest = std::max(largest, entry.file_size(ignored));
        }
    }
    return largest;
}

class TransferFlowTest : public ExplorerFixture {
protected:
    void SetUp() override {
        ExplorerFixture::SetUp();
        WriteFile(Disk("remote.bin"), Pattern(2500000));
        fs::create_directories(Disk("remote folder"));
        WriteFile(Device("local.bin"), Pattern(2500000));
        WriteFile(Device("local folder/local.bin"), Pattern(2500000));
        fs::create_directories(Device("local folder"));
        ListBoth();
    }
    CTransferFlow& Flow() { return view_->Transfers(); }
};

// Every way a transfer is refused or abandoned before it starts: the box it shows, and that no
// dialog opened and no byte moved.
struct Refusal {
    const char* name;
    bool download;
    QStringList selection;             // rows selected in the source pane
    std::optional<uint64_t> freeBytes; // the device's free bytes (download), none: the real ones
    int answer;                        // to every question
    QStringList boxes;                 // the texts shown
};

TEST_F(TransferFlowTest, RefusalsAndQuestionsStartNothing) {
    const Refusal rows[] = {
        {"upload without selection", false, {}, {}, app::IDOK, {app::kNoUploadSelectionText}},
        {"download without selection", true, {}, {}, app::IDOK, {app::kNoDownloadSelectionText}},
        {"download with exactly 1024 bytes free",
         true,
         {"remote.bin"},
         1024,
         app::IDOK,
         {app::kNoSpaceText}},
        {"download with no byte free", true, {"remote.bin"}, 0, app::IDOK, {app::kNoSpaceText}},
        {"download too big, Cancel to the question",
         true,
         {"remote.bin"},
         1025,
         app::IDCANCEL,
         {app::kNoSpaceQuestionText}},
    };
    for (const Refusal& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = boxes_->Boxes().size();
        answer_ = [&row](const app::MessageBoxRequest&) { return row.answer; };
        Flow().SetFreeSpaceProbe(
            row.freeBytes ? CTransferFlow::FreeSpaceProbe([&row](const QString&, uint64_t& bytes) {
                bytes = *row.freeBytes;
                return true;
            })
                          : CTransferFlow::FreeSpaceProbe());
        Select(row.download ? view_->RemoteList() : view_->LocalList(), row.selection);
        view_->OnCommand(row.download ? app::ID_DOWNLOAD : app::ID_UPLOAD);
        QStringList shown = BoxTexts().mid(static_cast<int>(before));
        EXPECT_EQ(shown, row.boxes);
        EXPECT_EQ(Flow().Dialog(), nullptr);
    }
    EXPECT_FALSE(fs::exists(Device("remote.bin")));
    EXPECT_EQ(fs::file_size(Disk("remote.bin")), 2500000u);
}

// A quota below the file's size: the upload asks first, and Cancel sends nothing.
class SmallQuotaTest : public TransferFlowTest {
protected:
    std::optional<uint64_t> Quota() const override { return 3000000; }
};

TEST_F(SmallQuotaTest, UploadCancelledAtTheSpaceQuestionSendsNothing) {
    answer_ = [](const app::MessageBoxRequest&) { return app::IDCANCEL; };
    Select(view_->LocalList(), {"local.bin"});
    view_->OnCommand(app::ID_UPLOAD);
    EXPECT_EQ(BoxTexts(), QStringList{app::kNoSpaceQuestionText});
    EXPECT_EQ(Flow().Dialog(), nullptr);
    EXPECT_FALSE(fs::exists(Disk("local.bin")));
}

// Whole transfers of 2,500,000 bytes: the file arrives intact, the pane lists it, the dialog ends
// with the full byte count and "완료" (and, for a download, the open-folder button), and closing
// it after 100 % asks nothing.
TEST_F(TransferFlowTest, WholeTransfersEndCompleteAndCloseWithoutQuestion) {
    view_->OpenLocalRow(view_->LocalList().FindRow("local folder"));
    for (bool download : {true, false}) {
        SCOPED_TRACE(download ? "download" : "upload");
        app::FileListCtrl& list = download ? view_->RemoteList() : view_->LocalList();
        Select(list, {download ? "remote.bin" : "local.bin"});
        view_->OnCommand(download ? app::ID_DOWNLOAD : app::ID_UPLOAD);
        EXPECT_TRUE(BoxTexts().isEmpty()) << BoxTexts().join('|').toStdString();

        TransferDialog* dialog = Flow().Dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("TAVIK - 다운/업"));
        EXPECT_EQ(dialog->BytesText(), QStringLiteral("2,500,000 / 2,500,000 byte"));
        EXPECT_EQ(dialog->CloseButtonText(), QStringLiteral("완료"));
        EXPECT_EQ(dialog->OpenFolderShown(), download);
        EXPECT_EQ(dialog->FilesText(), QStringLiteral("1 / 1"));
        EXPECT_EQ(dialog->BarPosition(), 100);
        EXPECT_EQ(dialog->DiskPathText(), download ? QStringLiteral("/demo/remote.bin")
                                                   : QStringLiteral("/demo/local.bin"));
        EXPECT_EQ(dialog->FileText(), download ? QStringLiteral("\\local folder\\remote.bin")
                                               : QStringLiteral("\\local folder\\local.bin"));
        EXPECT_EQ(dialog->CaptionText(), download ? QStringLiteral("다운로드 파일명: ")
                                                  : QStringLiteral("업로드 파일명: "));

        const std::string arrived =
            download ? Device("local folder/remote.bin") : Disk("local.bin");
        EXPECT_EQ(ReadFile(arrived), Pattern(2500000));
        app::FileListCtrl& target = download ? view_->LocalList() : view_->RemoteList();
        const int row = target.FindRow(download ? "remote.bin" : "local.bin");
        ASSERT_GE(row, 0);
        EXPECT_EQ(target.Text(row, app::kColumnSize), QStringLiteral("2500000"));

        SaveShot(*dialog, download ? "transfer-download" : "transfer-upload");
        if (download) {
            SaveShot(*frame_, "explorer-after-download");
        }
        dialog->OnCloseButton();
        Settle();
        EXPECT_TRUE(BoxTexts().isEmpty());
        EXPECT_EQ(Flow().Dialog(), nullptr);
    }
    // The download went to the local pane's folder, which the frame now opens.
    EXPECT_EQ(frame_->DownloadPath(), u"\\local folder");
}

// A zero-byte file: 100 % at once, no speed divided by a zero time.
TEST_F(TransferFlowTest, ZeroByteDownloadShowsCompleteWithoutDividingByZero) {
    WriteFile(Disk("empty.txt"), "");
    ListBoth();
    Select(view_->RemoteList(), {"empty.txt"});
    view_->OnCommand(app::ID_DOWNLOAD);
    TransferDialog* dialog = Flow().Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->BytesText(), QStringLiteral("0 / 0 byte"));
    EXPECT_EQ(dialog->BarPosition(), 100);
    EXPECT_EQ(dialog->CloseButtonText(), QStringLiteral("완료"));
    EXPECT_FALSE(dialog->SpeedText().contains(QStringLiteral("nan")));
    EXPECT_TRUE(fs::exists(Device("empty.txt")));
}

// The close button pressed while the bytes flow: the question, OK, the transfer stops, the
// dialog goes, commands tried meanwhile are kept out, and the next listing works.
TEST_F(TransferFlowTest, CancelStopsTheTransferAndKeepsOtherCommandsOut) {
    const size_t size = 64u << 20;
    WriteFile(Disk("big.bin"), Pattern(size));
    WriteFile(Device("big up.bin"), Pattern(size));
    ListBoth();
    for (bool download : {true, false}) {
        SCOPED_TRACE(download ? "download" : "upload");
        const size_t before = boxes_->Boxes().size();
        Select(download ? view_->RemoteList() : view_->LocalList(),
               {download ? "big.bin" : "big up.bin"});
        const std::string target = download ? Device("big.bin") : Disk("big up.bin");
        // The file already there must survive the cancel untouched, and nothing else may stay.
        WriteFile(target, "the file that was there before");
        const std::string folder = fs::path(target).parent_path();
        const std::set<std::string> namesBefore = Names(folder);
        const std::string partial = download ? Device() : Disk();
        bool pressed = false;
        // Runs inside the notifications, while the library holds the session, and looks again
        // at each pass of the event loop until a quarter has arrived: the passes must go on
        // through the transfer, not only at its first notification.
        std::function<void()> pressWhenAQuarterIsThere = [&] {
            ASSERT_TRUE(Flow().Running());
            if (LargestFileSize(partial) < size / 4) {
                QTimer::singleShot(0, view_, pressWhenAQuarterIsThere);
                return;
            }
            // Delete would ask its question and use the session: it must not get through.
            view_->OnCommand(app::ID_DELETE);
            view_->OnCommand(app::ID_REFRESH);
            ASSERT_NE(Flow().Dialog(), nullptr);
            Flow().Dialog()->OnCloseButton();
            pressed = true;
        };
        QTimer::singleShot(0, view_, pressWhenAQuarterIsThere);
        view_->OnCommand(download ? app::ID_DOWNLOAD : app::ID_UPLOAD);
        Settle();
        EXPECT_TRUE(pressed);
        EXPECT_EQ(Flow().CancelFlag(), 1);
        EXPECT_FALSE(Flow().Running());
        EXPECT_EQ(Flow().Dialog(), nullptr);
        EXPECT_EQ(
            BoxTexts().mid(static_cast<int>(before)),
            QStringList{download ? app::kCancelDownloadQuestion : app::kCancelUploadQuestion});
        EXPECT_TRUE(ReadFile(target) == "the file that was there before");
        EXPECT_EQ(Names(folder), namesBefore);
        // The pane listed after the cancel shows what is there, no half-written hidden file.
        EXPECT_EQ(RowNames(download ? view_->LocalList() : view_->RemoteList()), namesBefore);
        EXPECT_TRUE(view_->ListRemoteFolder(view_->CurrentRemoteFolder()));
        EXPECT_GE(view_->RemoteList().FindRow("big.bin"), 0);
    }
}

// Files of 6 GiB (sparse on both sides) with a server that agreed on 64-bit positions: both
// panes show the whole size, and each transfer runs on the 64-bit road with the whole size in
// its dialog. Each is cancelled at its first notice, so only a block or two moves.
TEST_F(TransferFlowTest, SixGiBFilesShowTheirWholeSizeAndTransferInSixtyFourBits) {
    constexpr uint64_t kSize = 6ull << 30;
    for (const std::string& path : {Disk("huge.bin"), Device("huge up.bin")}) {
        std::ofstream(path, std::ios::binary).flush();
        fs::resize_file(path, kSize);
    }
    Flow().SetFreeSpaceProbe([](const QString&, uint64_t& freeBytes) {
        freeBytes = 1ull << 40;
        return true;
    });
    ListBoth();
    for (bool download : {true, false}) {
        SCOPED_TRACE(download ? "download" : "upload");
        app::FileListCtrl& list = download ? view_->RemoteList() : view_->LocalList();
        const QString name = download ? QStringLiteral("huge.bin") : QStringLiteral("huge up.bin");
        const int row = list.FindRow(name);
        ASSERT_GE(row, 0);
        EXPECT_EQ(list.Text(row, app::kColumnSize), QStringLiteral("6442450944"));
        Select(list, {name});
        QString bytes;
        QTimer::singleShot(0, view_, [&] {
            ASSERT_NE(Flow().Dialog(), nullptr);
            bytes = Flow().Dialog()->BytesText();
            Flow().Dialog()->OnCloseButton();
        });
        view_->OnCommand(download ? app::ID_DOWNLOAD : app::ID_UPLOAD);
        Settle();
        EXPECT_TRUE(bytes.endsWith(QStringLiteral(" / 6,442,450,944 byte"))) << bytes.toStdString();
        EXPECT_EQ(Flow().CancelFlag(), 1);
        EXPECT_FALSE(Flow().Running());
    }
    // The session still works after the cancels.
    EXPECT_TRUE(view_->ListRemoteFolder(view_->CurrentRemoteFolder()));
}

// Cancel answered "취소" keeps the transfer going to its end.
TEST_F(TransferFlowTest, CancelQuestionAnsweredCancelLetsTheTransferFinish) {
    answer_ = [](const app::MessageBoxRequest&) { return app::IDCANCEL; };
    Select(view_->RemoteList(), {"remote.bin"});
    QTimer::singleShot(0, view_, [&] { Flow().Dialog()->OnCloseButton(); });
    view_->OnCommand(app::ID_DOWNLOAD);
    EXPECT_EQ(BoxTexts(), QStringList{app::kCancelDownloadQuestion});
    EXPECT_EQ(Flow().CancelFlag(), 0);
    ASSERT_NE(Flow().Dialog(), nullptr);
    EXPECT_EQ(Flow().Dialog()->CloseButtonText(), QStringLiteral("완료"));
    EXPECT_EQ(ReadFile(Device("remote.bin")), Pattern(2500000));
}

// Escape while a transfer runs asks the cancel question, whether the dialog or a pane has the
// keyboard; answered "취소", the transfer goes on to its end.
TEST_F(TransferFlowTest, EscapeAsksTheCancelQuestionFromTheDialogAndThePanes) {
    answer_ = [](const app::MessageBoxRequest&) { return app::IDCANCEL; };
    const struct {
        const char* name;
        std::function<QWidget*()> target;
    } targets[] = {
        {"dialog", [this] { return static_cast<QWidget*>(Flow().Dialog()); }},
        {"remote list", [this] { return static_cast<QWidget*>(&view_->RemoteList()); }},
        {"local list", [this] { return static_cast<QWidget*>(&view_->LocalList()); }},
    };
    for (const auto& target : targets) {
        SCOPED_TRACE(target.name);
        fs::remove(Device("remote.bin"));
        const qsizetype before = BoxTexts().size();
        Select(view_->RemoteList(), {"remote.bin"});
        QTimer::singleShot(0, view_, [&] {
            ASSERT_TRUE(Flow().Running());
            QTest::keyClick(target.target(), Qt::Key_Escape);
        });
        view_->OnCommand(app::ID_DOWNLOAD);
        EXPECT_EQ(BoxTexts().mid(before), QStringList{app::kCancelDownloadQuestion});
        EXPECT_EQ(Flow().CancelFlag(), 0);
        EXPECT_EQ(ReadFile(Device("remote.bin")), Pattern(2500000));
        ASSERT_NE(Flow().Dialog(), nullptr);
        Flow().Dialog()->OnCloseButton();
        Settle();
    }
}

// A second transfer while the first one's dialog is still open: closing the old dialog leaves
// the new one the current dialog.
TEST_F(TransferFlowTest, OldDialogGoingAwayLeavesTheNewOne) {
    Select(view_->RemoteList(), {"remote.bin"});
    view_->OnCommand(app::ID_DOWNLOAD);
    TransferDialog* first = Flow().Dialog();
    ASSERT_NE(first, nullptr);
    Select(view_->LocalList(), {"local.bin"});
    view_->OnCommand(app::ID_UPLOAD);
    TransferDialog* second = Flow().Dialog();
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second, first);
    first->OnCloseButton();
    Settle();
    EXPECT_EQ(Flow().Dialog(), second);
}

// A file that is already there is replaced whole, whichever is longer: a shorter file never
// leaves the old one's tail behind, on the device or on the disk.
TEST_F(TransferFlowTest, ReplacingALongerFileLeavesExactlyTheNewOne) {
    WriteFile(Disk("short.txt"), Pattern(1000));
    WriteFile(Device("short.txt"), std::string(5000, 'o'));
    WriteFile(Device("up.txt"), Pattern(1000));
    WriteFile(Disk("up.txt"), std::string(5000, 'o'));
    // The replaced file keeps its permissions, as a file written in place would.
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec;
    fs::permissions(Device("short.txt"), kept);
    ListBoth();
    for (bool download : {true, false}) {
        SCOPED_TRACE(download ? "download" : "upload");
        const char* name = download ? "short.txt" : "up.txt";
        const std::string folder = download ? Device() : Disk();
        const std::set<std::string> namesBefore = Names(folder);
        Select(download ? view_->RemoteList() : view_->LocalList(), {name});
        view_->OnCommand(download ? app::ID_DOWNLOAD : app::ID_UPLOAD);
        EXPECT_TRUE(BoxTexts().isEmpty()) << BoxTexts().join('|').toStdString();
        const std::string arrived = ReadFile(download ? Device(name) : Disk(name));
        EXPECT_EQ(arrived.size(), 1000u);
        EXPECT_TRUE(arrived == Pattern(1000));
        EXPECT_EQ(Names(folder), namesBefore);
    }
    EXPECT_EQ(fs::status(Device("short.txt")).permissions(), kept);
}

// An upload whose name is a remote folder's leaves the folder alone and nothing else behind.
TEST_F(TransferFlowTest, UploadOverAFolderOfTheSameNameLeavesTheFolder) {
    WriteFile(Device("remote folder"), "a file");
    WriteFile(Disk("remote folder/inside.txt"), "inside");
    ListBoth();
    const std::set<std::string> namesBefore = Names(Disk());
    Select(view_->LocalList(), {"remote folder"});
    view_->OnCommand(app::ID_UPLOAD);
    EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral("지정한 이름을 가진 폴더가 존재합니다.")});
    EXPECT_EQ(ReadFile(Disk("remote folder/inside.txt")), "inside");
    EXPECT_EQ(Names(Disk()), namesBefore);
    EXPECT_EQ(RowNames(view_->RemoteList()), namesBefore);
}

// Remote names that cannot be one name on the device (a separator of either kind) are refused
// with a box naming them, and nothing is written anywhere on the device.
TEST_F(TransferFlowTest, RemoteNamesThatLeaveTheFolderAreRefused) {
    for (const char* name : {"..\\victim.txt", "sub\\inner.txt", "..\\..\\PWN_root.txt"}) {
        WriteFile(Disk(name), "from the server");
    }
    fs::create_directories(Device("local folder/sub"));
    ListBoth();
    view_->OpenLocalRow(view_->LocalList().FindRow("local folder"));
    const std::map<std::string, std::string> before = Tree(Device());
    for (const QString& name : {QStringLiteral("..\\victim.txt"), QStringLiteral("sub\\inner.txt"),
                                QStringLiteral("..\\..\\PWN_root.txt")}) {
        SCOPED_TRACE(name.toStdString());
        const size_t shown = boxes_->Boxes().size();
        Select(view_->RemoteList(), {name});
        view_->OnCommand(app::ID_DOWNLOAD);
        const QStringList boxes = BoxTexts().mid(static_cast<int>(shown));
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_TRUE(boxes.front().contains(name)) << boxes.front().toStdString();
        EXPECT_EQ(Flow().Dialog(), nullptr);
    }
    EXPECT_EQ(Tree(Device()), before);
}

// A path pick while a download runs is refused without moving the bar: afterwards the bar, the
// list and the paths that delete builds all name the folder the list shows.
TEST_F(TransferFlowTest, PathPickDuringATransferLeavesBarAndListTogether) {
    const size_t size = 16u << 20;
    WriteFile(Disk("big.bin"), Pattern(size));
    WriteFile(Device("report.txt"), "root");
    WriteFile(Device("local folder/report.txt"), "inside");
    ListBoth();
    view_->OpenLocalRow(view_->LocalList().FindRow("local folder"));
    view_->OpenRemoteRow(view_->RemoteList().FindRow("remote folder"));
    WriteFile(Disk("remote folder/big.bin"), Pattern(size));
    view_->ListRemoteFolder(view_->CurrentRemoteFolder());
    const QString barBefore = view_->LocalBar().pathButton().Path();
    const QString remoteBarBefore = view_->RemoteBar().pathButton().Path();
    const QString remoteFolderBefore = view_->CurrentRemoteFolder();
    bool picked = false;
    QTimer::singleShot(0, view_, [&] {
        ASSERT_TRUE(Flow().Running());
        view_->LocalBar().pathButton().Choose(0);
        view_->RemoteBar().pathButton().Choose(1);
        picked = true;
    });
    Select(view_->RemoteList(), {"big.bin"});
    view_->OnCommand(app::ID_DOWNLOAD);
    Settle();
    ASSERT_TRUE(picked);
    EXPECT_EQ(view_->LocalBar().pathButton().Path(), barBefore);
    EXPECT_EQ(view_->RemoteBar().pathButton().Path(), remoteBarBefore);
    EXPECT_EQ(view_->CurrentRemoteFolder(), remoteFolderBefore);
    EXPECT_EQ(view_->CurrentDevicePath(), QStringLiteral("\\local folder"));
    Select(view_->LocalList(), {"report.txt"});
    view_->OnCommand(app::ID_DELETE);
    EXPECT_EQ(ReadFile(Device("report.txt")), "root");
    EXPECT_FALSE(fs::exists(Device("local folder/report.txt")));
}

// A download into the device root: "다운로드 폴더 열기" then opens the device root.
TEST_F(TransferFlowTest, DownloadFolderOfTheDeviceRootOpensIt) {
    QStringList opened;
    app::CShellOpen::Handler previous =
        app::CShellOpen::SetHandler([&opened](const app::ShellOpenRequest& request) {
            opened << request.file;
            return 0u;
        });
    Select(view_->RemoteList(), {"remote.bin"});
    view_->OnCommand(app::ID_DOWNLOAD);
    frame_->Action(app::ID_OPEN_DOWNLOAD_FOLDER)->trigger();
    app::CShellOpen::SetHandler(previous);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_FALSE(opened.front().isEmpty());
    EXPECT_EQ(platform::hostPath(opened.front().toStdU16String()), Device());
}

// A remote path longer than the transfer record's 512-byte buffers is refused, not cut.
TEST_F(TransferFlowTest, OverlongPathIsRefused) {
    const std::string folder(200, 'f');
    const std::string file(200, 'x');
    WriteFile(Disk(folder + "/" + folder + "/" + file), "abc");
    ListBoth();
    for (int depth = 0; depth < 2; ++depth) {
        view_->OpenRemoteRow(view_->RemoteList().FindRow(QString::fromStdString(folder)));
    }
    Select(view_->RemoteList(), {QString::fromStdString(file)});
    view_->OnCommand(app::ID_DOWNLOAD);
    EXPECT_EQ(BoxTexts(), QStringList{app::kPathTooLongText});
    EXPECT_EQ(Flow().Dialog(), nullptr);
    EXPECT_FALSE(fs::exists(Device(file)));
}

} // namespace
} // namespace tavik::test
