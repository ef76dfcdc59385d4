// Upload and download through the explorer's transfer flow against tavik-server: the refusals
// and questions that start nothing, whole transfers with the dialog's final texts, the close
// button after 100 %, and a cancel in the middle after which the session still works.
#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/explorer/CTransferFlow.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/TransferDialog.h"
#include "app/explorer/TransferText.h"

#include <QTimer>

#include <filesystem>
#include <functional>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
using app::CTransferFlow;
using app::TransferDialog;

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
        {"upload of a folder", false, {"local folder"}, {}, app::IDOK, {app::kFolderUploadText}},
        {"download without selection", true, {}, {}, app::IDOK, {app::kNoDownloadSelectionText}},
        {"download of a folder",
         true,
         {"remote folder"},
         {},
         app::IDOK,
         {app::kFolderDownloadText}},
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
        bool pressed = false;
        // Runs inside the notifications, while the library holds the session, and looks again
        // at each pass of the event loop until a quarter has arrived: the passes must go on
        // through the transfer, not only at its first notification.
        std::function<void()> pressWhenAQuarterIsThere = [&] {
            ASSERT_TRUE(Flow().Running());
            std::error_code ignored;
            if (fs::file_size(target, ignored) < size / 4 || ignored) {
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
        EXPECT_LT(fs::exists(target) ? fs::file_size(target) : 0, size);
        EXPECT_TRUE(view_->ListRemoteFolder(view_->CurrentRemoteFolder()));
        EXPECT_GE(view_->RemoteList().FindRow("big.bin"), 0);
    }
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
