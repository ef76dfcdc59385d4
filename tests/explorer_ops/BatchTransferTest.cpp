// Batches through the explorer against tavik-server: several rows and whole folders in one
// dialog, what is not sent named in one box, existing files decided by the conflict question
// (replace, skip, resume, "모두 적용"), and a cancelled download kept and continued later.
#include "tests/explorer_ops/ExplorerFixture.h"
#include "tests/support/FileBytes.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CBatchTransfer.h"
#include "app/explorer/CTransferFlow.h"
#include "app/explorer/DropMapping.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/TransferDialog.h"

#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
using app::ConflictAnswer;

// Every regular file under a host folder, relative path to contents.
std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
        }
    }
    return files;
}

class BatchTransferTest : public ExplorerFixture {
protected:
    app::CTransferFlow& Flow() { return view_->Transfers(); }

    // Answers conflict questions by the file's name and records what was asked.
    void AnswerConflicts(std::map<QString, app::ConflictReply> replies) {
        Flow().SetConflictAsker([this, replies](const app::ConflictQuestion& question) {
            asked_.push_back(question);
            const auto found = replies.find(question.name);
            return found != replies.end() ? found->second : app::ConflictReply{};
        });
    }
    std::vector<app::ConflictQuestion> asked_;
};

TEST_F(BatchTransferTest, FilesAndFoldersGoBothWaysInOneDialog) {
    WriteFile(Disk("a.txt"), "alpha");
    WriteFile(Disk("tree/one.bin"), Pattern(300000));
    WriteFile(Disk("tree/sub/two.txt"), "two");
    fs::create_directories(Disk("tree/empty"));
    WriteFile(Disk("untouched.txt"), "not picked");
    ListBoth();
    Select(view_->RemoteList(), {"a.txt", "tree"});
    view_->OnCommand(app::ID_DOWNLOAD);
    EXPECT_EQ(BoxTexts(), QStringList());
    const std::map<std::string, std::string> sent = {
        {"a.txt", "alpha"}, {"tree/one.bin", Pattern(300000)}, {"tree/sub/two.txt", "two"}};
    EXPECT_EQ(Tree(Device()), sent);
    EXPECT_TRUE(fs::is_directory(Device("tree/empty")));
    ASSERT_NE(Flow().Dialog(), nullptr);
    SaveShot(*Flow().Dialog(), "batch-download");
    EXPECT_EQ(Flow().Dialog()->FilesText(), QStringLiteral("3 / 3"));
    EXPECT_EQ(Flow().Dialog()->BytesText(), QStringLiteral("300,008 / 300,008 byte"));
    EXPECT_EQ(Flow().Dialog()->CloseButtonText(), QStringLiteral("완료"));
    EXPECT_TRUE(Flow().Dialog()->OpenFolderShown());
    EXPECT_GE(view_->LocalList().FindRow("tree"), 0);

    // The same tree back up under another name, beside files the user picked one by one.
    fs::rename(Device("tree"), Device("copy"));
    view_->ListLocalFolder(QString());
    Select(view_->LocalList(), {"a.txt", "copy"});
    AnswerConflicts({{"a.txt", {ConflictAnswer::Replace, false}}});
    view_->OnCommand(app::ID_UPLOAD);
    EXPECT_EQ(BoxTexts(), QStringList());
    EXPECT_EQ(Tree(Disk("copy")), Tree(Device("copy")));
    EXPECT_TRUE(fs::is_directory(Disk("copy/empty")));
    EXPECT_EQ(ReadFile(Disk("a.txt")), "alpha");
    EXPECT_EQ(Flow().Dialog()->FilesText(), QStringLiteral("3 / 3"));
    EXPECT_GE(view_->RemoteList().FindRow("copy"), 0);
    // No hidden file is left on either side.
    for (const std::string& root : {Device(), Disk()}) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
    }
}

TEST_F(BatchTransferTest, WhatIsNotSentIsNamedWithItsReason) {
    WriteFile(Device("up/x.txt"), "x");
    WriteFile(Device("other/inside.txt"), "inside");
    WriteFile(folder_.file("outside.txt"), "outside");
    fs::create_directory_symlink(Device("other"), Device("up/to folder"));
    fs::create_symlink(folder_.file("outside.txt"), Device("up/out.txt"));
    fs::create_symlink(Device("other/inside.txt"), Device("up/in.txt"));
    WriteFile(Device("up/smile \xF0\x9F\x98\x80.txt"), "emoji");
    WriteFile(Device("y.txt"), "y");
    fs::create_directories(Disk("up"));
    WriteFile(Disk("up/x.txt/keep"), "a folder where a file goes");
    ListBoth();
    Select(view_->LocalList(), {"up", "y.txt"});
    view_->OnCommand(app::ID_UPLOAD);
    EXPECT_EQ(ReadFile(Disk("y.txt")), "y");
    EXPECT_EQ(ReadFile(Disk("up/in.txt")), "inside");
    EXPECT_FALSE(fs::exists(Disk("up/out.txt")));
    EXPECT_FALSE(fs::exists(Disk("up/to folder")));
    EXPECT_EQ(ReadFile(Disk("up/x.txt/keep")), "a folder where a file goes");
    const std::vector<app::BatchFailure> failures = {
        {"up/out.txt", app::kLinkOutsideReason},
        {QString::fromUtf8("up/smile \xF0\x9F\x98\x80.txt"), app::kUnmappableNameReason},
        {"up/to folder", app::kLinkToFolderReason},
        {"up/x.txt", app::kFileExistsAsFolderReason},
    };
    EXPECT_EQ(BoxTexts(), QStringList{app::BatchFailureText(failures)});
    // The batch still ended: the dialog says so.
    ASSERT_NE(Flow().Dialog(), nullptr);
    EXPECT_EQ(Flow().Dialog()->CloseButtonText(), QStringLiteral("완료"));
}

TEST_F(BatchTransferTest, ExistingFilesAreReplacedSkippedOrResumedAsAnswered) {
    const std::string source = Pattern(200000);
    for (const char* name : {"replace.bin", "resume.bin", "skip.bin", "differs.bin"}) {
        WriteFile(Disk(name), source);
    }
    WriteFile(Device("replace.bin"), "older and different");
    WriteFile(Device("resume.bin"), source.substr(0, 150000));
    WriteFile(Device("skip.bin"), "keep me");
    // Shorter, but its bytes are not the source's: resume is not offered.
    std::string differs = source.substr(0, 150000);
    differs[149999] ^= 1;
    WriteFile(Device("differs.bin"), differs);
    ListBoth();
    AnswerConflicts({{"replace.bin", {ConflictAnswer::Replace, false}},
                     {"resume.bin", {ConflictAnswer::Resume, false}},
                     {"skip.bin", {ConflictAnswer::Skip, false}},
                     {"differs.bin", {ConflictAnswer::Replace, false}}});
    Select(view_->RemoteList(), {"differs.bin", "replace.bin", "resume.bin", "skip.bin"});
    view_->OnCommand(app::ID_DOWNLOAD);
    EXPECT_EQ(BoxTexts(), QStringList());
    EXPECT_EQ(ReadFile(Device("replace.bin")), source);
    EXPECT_EQ(ReadFile(Device("resume.bin")), source);
    EXPECT_EQ(ReadFile(Device("differs.bin")), source);
    EXPECT_EQ(ReadFile(Device("skip.bin")), "keep me");
    std::map<QString, bool> offered;
    for (const app::ConflictQuestion& question : asked_) {
        offered[question.name] = question.resumable;
    }
    const std::map<QString, bool> expected = {
        {"differs.bin", false}, {"replace.bin", false}, {"resume.bin", true}, {"skip.bin", false}};
    EXPECT_EQ(offered, expected);

    // Uploads: a remote copy that is the source's beginning is continued; "모두 적용" skips
    // the rest without asking again.
    WriteFile(Device("u1.bin"), source);
    WriteFile(Device("u2.bin"), source);
    WriteFile(Device("u3.bin"), source);
    WriteFile(Disk("u1.bin"), source.substr(0, 70000));
    WriteFile(Disk("u2.bin"), "remote two");
    WriteFile(Disk("u3.bin"), "remote three");
    ListBoth();
    asked_.clear();
    AnswerConflicts(
        {{"u1.bin", {ConflictAnswer::Resume, false}}, {"u2.bin", {ConflictAnswer::Skip, true}}});
    Select(view_->LocalList(), {"u1.bin", "u2.bin", "u3.bin"});
    view_->OnCommand(app::ID_UPLOAD);
    EXPECT_EQ(ReadFile(Disk("u1.bin")), source);
    EXPECT_EQ(ReadFile(Disk("u2.bin")), "remote two");
    EXPECT_EQ(ReadFile(Disk("u3.bin")), "remote three");
    ASSERT_EQ(asked_.size(), 2u);
    EXPECT_TRUE(asked_[0].resumable);

    // "취소" at the question ends the batch: nothing after it is touched.
    asked_.clear();
    AnswerConflicts({{"u1.bin", {ConflictAnswer::Cancel, true}}});
    WriteFile(Disk("u1.bin"), "remote one");
    Select(view_->LocalList(), {"u1.bin", "u2.bin"});
    view_->OnCommand(app::ID_UPLOAD);
    EXPECT_EQ(asked_.size(), 1u);
    // Nothing runs any more: no dialog is left that would ask whether to stop it.
    Settle();
    EXPECT_EQ(Flow().Dialog(), nullptr);
    EXPECT_EQ(ReadFile(Disk("u1.bin")), "remote one");
    EXPECT_EQ(ReadFile(Disk("u2.bin")), "remote two");
}

TEST_F(BatchTransferTest, CancelledDownloadIsKeptAndContinuedNextTime) {
    const size_t size = 16u << 20;
    const std::string big = Pattern(size);
    WriteFile(Disk("big.bin"), big);
    WriteFile(Disk("small.txt"), "small");
    ListBoth();
    const std::string partial = Device(".big.bin.tavik-part");
    bool pressed = false;
    std::function<void()> pressWhenAQuarterIsThere = [&] {
        if (!fs::exists(partial) || fs::file_size(partial) < size / 4) {
            QTimer::singleShot(0, view_, pressWhenAQuarterIsThere);
            return;
        }
        ASSERT_NE(Flow().Dialog(), nullptr);
        Flow().Dialog()->OnCloseButton();
        pressed = true;
    };
    QTimer::singleShot(0, view_, pressWhenAQuarterIsThere);
    Select(view_->RemoteList(), {"big.bin", "small.txt"});
    view_->OnCommand(app::ID_DOWNLOAD);
    Settle();
    ASSERT_TRUE(pressed);
    EXPECT_FALSE(fs::exists(Device("big.bin")));
    EXPECT_FALSE(fs::exists(Device("small.txt")));
    ASSERT_TRUE(fs::exists(partial));
    const uintmax_t kept = fs::file_size(partial);
    EXPECT_GE(kept, size / 4);
    EXPECT_LT(kept, size);
    EXPECT_EQ(ReadFile(partial), big.substr(0, kept));
    EXPECT_EQ(app::CBatchTransfer::PartialPath(QStringLiteral("\\f\\big.bin")),
              QStringLiteral("\\f\\.big.bin.tavik-part"));

    // The next download of it offers to continue what is there, and ends with the whole file.
    AnswerConflicts({{"big.bin", {ConflictAnswer::Resume, false}}});
    Select(view_->RemoteList(), {"big.bin", "small.txt"});
    view_->OnCommand(app::ID_DOWNLOAD);
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(asked_[0].resumable);
    EXPECT_EQ(asked_[0].destinationSize, kept);
    EXPECT_TRUE(ReadFile(Device("big.bin")) == big);
    EXPECT_EQ(ReadFile(Device("small.txt")), "small");
    EXPECT_FALSE(fs::exists(partial));
}

// A batch with a file of 6 GiB (sparse on both sides) when the server agreed on 64-bit
// positions: planned with its whole size, its kept partial download checked and continued past
// 4 GiB; only the last 50000 bytes move.
TEST_F(BatchTransferTest, FilesOfSixGiBAreResumedPastFourGiB) {
    constexpr uint64_t kSize = 6ull << 30;
    const uint64_t tailAt = kSize - 100000;
    const uint64_t cut = kSize - 50000;
    const std::string tail = Pattern(100000);
    writeSparse(Disk("huge.bin"), kSize, tail, tailAt);
    WriteFile(Disk("small.txt"), "small");
    writeSparse(Device(".huge.bin.tavik-part"), cut, tail.substr(0, 50000), tailAt);
    ListBoth();
    AnswerConflicts({{"huge.bin", {ConflictAnswer::Resume, false}}});
    Select(view_->RemoteList(), {"huge.bin", "small.txt"});
    view_->OnCommand(app::ID_DOWNLOAD);
    EXPECT_EQ(BoxTexts(), QStringList());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].sourceSize, kSize);
    EXPECT_EQ(asked_[0].destinationSize, cut);
    EXPECT_TRUE(asked_[0].resumable);
    ASSERT_TRUE(fs::exists(Device("huge.bin")));
    EXPECT_EQ(fs::file_size(Device("huge.bin")), kSize);
    EXPECT_TRUE(readRange(Device("huge.bin"), tailAt, 100000) == tail); // not printed: 100000 bytes
    EXPECT_EQ(ReadFile(Device("small.txt")), "small");
    ASSERT_NE(Flow().Dialog(), nullptr);
    EXPECT_EQ(Flow().Dialog()->BytesText(), QStringLiteral("6,442,450,949 / 6,442,450,949 byte"));
}

// Which drops do what, from the dropped data alone.
TEST(DropMappingTest, RowsAndDesktopFilesMapToTheirAction) {
    using Kind = app::DropAction::Kind;
    struct Row {
        const char* name;
        QByteArray rows;  // our rows' data, empty for none
        QStringList urls; // text/uri-list
        bool ontoRemote;
        bool folderShown;
        Kind kind;
        QStringList names;
        QStringList hostPaths;
    };
    const QByteArray fromRemote = app::EncodeRows(true, {"a.txt", "docs"});
    const QByteArray fromLocal = app::EncodeRows(false, {"b.txt"});
    const Row rows[] = {
        {"remote rows onto local",
         fromRemote,
         {},
         false,
         true,
         Kind::Download,
         {"a.txt", "docs"},
         {}},
        {"local rows onto remote", fromLocal, {}, true, true, Kind::Upload, {"b.txt"}, {}},
        {"remote rows onto remote", fromRemote, {}, true, true, Kind::None, {}, {}},
        {"local rows onto local", fromLocal, {}, false, true, Kind::None, {}, {}},
        {"disk rows (no folder shown)", fromRemote, {}, false, false, Kind::None, {}, {}},
        {"local rows onto the disk list", fromLocal, {}, true, false, Kind::None, {}, {}},
        {"unknown source", "elsewhere\nx", {}, true, true, Kind::None, {}, {}},
        {"no names", app::EncodeRows(false, {}), {}, true, true, Kind::None, {}, {}},
        {"desktop onto remote",
         {},
         {"file:///home/u/a.txt", "file:///home/u/dir"},
         true,
         true,
         Kind::UploadFromDesktop,
         {},
         {"/home/u/a.txt", "/home/u/dir"}},
        {"desktop onto local",
         {},
         {"file:///tmp/x"},
         false,
         false,
         Kind::CopyFromDesktop,
         {},
         {"/tmp/x"}},
        {"desktop onto the disk list", {}, {"file:///tmp/x"}, true, false, Kind::None, {}, {}},
        {"web addresses only", {}, {"https://example.org/x"}, false, true, Kind::None, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QMimeData data;
        if (!row.rows.isEmpty()) {
            data.setData(app::kRowsMimeType, row.rows);
        }
        QList<QUrl> urls;
        for (const QString& url : row.urls) {
            urls.append(QUrl(url));
        }
        if (!urls.isEmpty()) {
            data.setUrls(urls);
        }
        const app::DropAction action = app::MapDrop(data, row.ontoRemote, row.folderShown);
        EXPECT_EQ(action.kind, row.kind);
        EXPECT_EQ(action.names, row.names);
        EXPECT_EQ(action.hostPaths, row.hostPaths);
    }
}

TEST_F(BatchTransferTest, DropsOfRowsAndDesktopFilesTransferThem) {
    WriteFile(Disk("down.txt"), "down");
    WriteFile(Disk("down dir/inner.txt"), "inner");
    WriteFile(Device("up.txt"), "up");
    ListBoth();
    // Rows dragged from the remote list, as the list packs them, dropped on the local list.
    Select(view_->RemoteList(), {"down.txt", "down dir"});
    std::vector<QTreeWidgetItem*> picked;
    for (const int row : view_->RemoteList().SelectedRows()) {
        picked.push_back(view_->RemoteList().topLevelItem(row));
    }
    std::unique_ptr<QMimeData> dragged(
        view_->RemoteList().DragData(QList<QTreeWidgetItem*>(picked.begin(), picked.end())));
    view_->OnDrop(false, *dragged);
    EXPECT_EQ(ReadFile(Device("down.txt")), "down");
    EXPECT_EQ(ReadFile(Device("down dir/inner.txt")), "inner");

    // One local row dropped on the remote list goes the single-file road.
    Select(view_->LocalList(), {"up.txt"});
    dragged.reset(view_->LocalList().DragData(
        {view_->LocalList().topLevelItem(view_->LocalList().FindRow("up.txt"))}));
    view_->OnDrop(true, *dragged);
    EXPECT_EQ(ReadFile(Disk("up.txt")), "up");
    EXPECT_EQ(Flow().Dialog()->FilesText(), QStringLiteral("1 / 1"));

    // From the desktop: a file under the device root and a folder are uploaded; a file outside
    // the device root is named and not sent.
    WriteFile(Device("desk/report.txt"), "report");
    WriteFile(Device("desk/album/photo.bin"), Pattern(5000));
    WriteFile(folder_.file("elsewhere.txt"), "elsewhere");
    QMimeData desktop;
    desktop.setUrls({QUrl::fromLocalFile(QString::fromStdString(Device("desk/report.txt"))),
                     QUrl::fromLocalFile(QString::fromStdString(Device("desk/album"))),
                     QUrl::fromLocalFile(QString::fromStdString(folder_.file("elsewhere.txt")))});
    const size_t before = boxes_->Boxes().size();
    view_->OnDrop(true, desktop);
    EXPECT_EQ(ReadFile(Disk("report.txt")), "report");
    EXPECT_EQ(ReadFile(Disk("album/photo.bin")), Pattern(5000));
    EXPECT_FALSE(fs::exists(Disk("elsewhere.txt")));
    EXPECT_EQ(
        BoxTexts().mid(static_cast<int>(before)),
        QStringList{app::BatchFailureText(
            {{QString::fromStdString(folder_.file("elsewhere.txt")), app::kOutsideDeviceReason}})});

    // The same onto the local pane: copied into the folder shown, existing files asked about.
    view_->OpenLocalRow(view_->LocalList().FindRow("down dir"));
    WriteFile(Device("down dir/report.txt"), "older");
    AnswerConflicts({{"report.txt", {ConflictAnswer::Replace, false}}});
    view_->OnDrop(false, desktop);
    EXPECT_EQ(ReadFile(Device("down dir/report.txt")), "report");
    EXPECT_EQ(ReadFile(Device("down dir/album/photo.bin")), Pattern(5000));
    EXPECT_EQ(ReadFile(Device("down dir/elsewhere.txt")), "elsewhere");
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_GE(view_->LocalList().FindRow("album"), 0);
    // Skip for all, given at the first question (elsewhere.txt's folder comes first), leaves
    // every existing file alone; a cancel stops the files of the other folder too.
    WriteFile(Device("down dir/report.txt"), "mine");
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "skip for all");
        AnswerConflicts(
            {{"elsewhere.txt", {cancel ? ConflictAnswer::Cancel : ConflictAnswer::Skip, true}}});
        asked_.clear();
        view_->OnDrop(false, desktop);
        EXPECT_EQ(ReadFile(Device("down dir/report.txt")), "mine");
        ASSERT_EQ(asked_.size(), 1u);
        EXPECT_EQ(asked_[0].name, QStringLiteral("elsewhere.txt"));
    }
}

} // namespace
} // namespace tavik::test
