// New folder, rename and delete in both panes against tavik-server: names, editors, the
// forbidden characters, the rename errors, and the delete of every selected row.
#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CFileOperations.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/LocalNames.h"

#include <filesystem>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

class FileOperationsTest : public ExplorerFixture {
protected:
    void SetUp() override {
        ExplorerFixture::SetUp();
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            WriteFile(Device(name), name);
            WriteFile(Disk(name), name);
        }
        WriteFile(Device("tree/inner/deep.txt"), "deep");
        WriteFile(Device("tree/top.txt"), "top");
        WriteFile(folder_.file("outside/keep.txt"), "keep");
        fs::create_directory_symlink(folder_.file("outside"), Device("tree/link"));
        fs::create_directories(Disk("docs"));
        ListBoth();
    }
    app::CFileOperations& Ops() { return view_->FileOperations(); }
};

TEST_F(FileOperationsTest, TwoLocalNewFoldersInARowOpenTheEditorOnEach) {
    app::FileListCtrl& list = view_->LocalList();
    for (const QString& name : {QStringLiteral("새 폴더"), QStringLiteral("새 폴더 (1)")}) {
        Select(list, {});
        view_->OnCommand(app::ID_NEW_FOLDER);
        EXPECT_TRUE(fs::is_directory(Device(name.toStdString())));
        EXPECT_EQ(list.EditedRow(), list.FindRow(name));
        EXPECT_GE(list.EditedRow(), 0);
        list.closePersistentEditor(list.topLevelItem(list.EditedRow()), app::kColumnName);
    }
    EXPECT_TRUE(BoxTexts().isEmpty());
}

TEST_F(FileOperationsTest, RemoteNewFolderOpensTheEditorOnItsRow) {
    app::FileListCtrl& list = view_->RemoteList();
    Select(list, {});
    view_->OnCommand(app::ID_NEW_FOLDER);
    EXPECT_TRUE(BoxTexts().isEmpty()) << BoxTexts().join('|').toStdString();
    ASSERT_GE(list.EditedRow(), 0);
    const QString made = list.Text(list.EditedRow(), app::kColumnName);
    EXPECT_EQ(list.Text(list.EditedRow(), app::kColumnSize), app::kFolderSizeText);
    EXPECT_TRUE(fs::is_directory(Disk(made.toStdString())));
}

// A committed edit, on either side: what is shown, and what the row and the files end as.
struct Rename {
    const char* name;
    bool remote;
    QString from;
    QString to;
    QString box;      // empty: none
    QString rowAfter; // the row's name afterwards
};

TEST_F(FileOperationsTest, RenameChecksNamesAndReportsFailures) {
    const Rename rows[] = {
        {"question mark", false, "a.txt", "a?.txt", app::kForbiddenNameText, "a.txt"},
        {"colon, remote", true, "a.txt", "x:y", app::kForbiddenNameText, "a.txt"},
        {"onto an existing local file", false, "a.txt", "b.txt",
         QStringLiteral("지정한 이름을 가진 파일이 존재합니다."), "a.txt"},
        {"onto an existing remote file", true, "a.txt", "b.txt",
         QStringLiteral("지정한 이름을 가진 파일이 존재합니다."), "a.txt"},
        {"local folder onto a file", false, "tree", "c.txt",
         QStringLiteral("지정한 이름을 가진 폴더가 존재합니다."), "tree"},
        // Names that are no single entry of the folder shown.
        {"local, parent", false, "a.txt", "..", app::UnusableNameText(".."), "a.txt"},
        {"local, itself", false, "b.txt", ".", app::UnusableNameText("."), "b.txt"},
        {"remote, parent", true, "a.txt", "..", app::UnusableNameText(".."), "a.txt"},
        {"local, NUL", false, "a.txt", QString("x") + QChar(0) + "y",
         app::UnusableNameText(QString("x") + QChar(0) + "y"), "a.txt"},
        {"local, fine", false, "a.txt", "renamed.txt", {}, "renamed.txt"},
        {"remote, fine", true, "a.txt", "renamed.txt", {}, "renamed.txt"},
        // Enter on an editor whose text was left alone (a new folder's, say) renames nothing.
        {"local, name unchanged", false, "c.txt", "c.txt", {}, "c.txt"},
        {"remote, name unchanged", true, "b.txt", "b.txt", {}, "b.txt"},
        {"remote, too long", true, "b.txt", QString(300, 'l'), app::kRenamePathTooLongText,
         "b.txt"},
    };
    for (const Rename& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = boxes_->Boxes().size();
        app::FileListCtrl& list = row.remote ? view_->RemoteList() : view_->LocalList();
        const int index = list.FindRow(row.from);
        ASSERT_GE(index, 0);
        Ops().OnLabelEdited(list, index, row.to);
        const QStringList shown = BoxTexts().mid(static_cast<int>(before));
        EXPECT_EQ(shown, row.box.isEmpty() ? QStringList() : QStringList{row.box});
        EXPECT_EQ(list.Text(index, app::kColumnName), row.rowAfter);
        const std::string after = row.rowAfter.toStdString();
        EXPECT_TRUE(fs::exists(row.remote ? Disk(after) : Device(after)));
    }
    EXPECT_FALSE(fs::exists(Device("a.txt")));
    EXPECT_FALSE(fs::exists(Disk("a.txt")));
}

TEST_F(FileOperationsTest, DeleteTakesEverySelectedRowAfterOneQuestion) {
    // Two files selected locally: one question naming how many; Cancel keeps both, OK takes both.
    Select(view_->LocalList(), {"a.txt", "b.txt"});
    answer_ = [](const app::MessageBoxRequest&) { return app::IDCANCEL; };
    view_->OnCommand(app::ID_DELETE);
    EXPECT_TRUE(fs::exists(Device("a.txt")));
    EXPECT_TRUE(fs::exists(Device("b.txt")));
    answer_ = [](const app::MessageBoxRequest&) { return app::IDOK; };
    view_->OnCommand(app::ID_DELETE);
    EXPECT_EQ(BoxTexts(), (QStringList{app::DeleteManyQuestion(2), app::DeleteManyQuestion(2)}));
    EXPECT_FALSE(fs::exists(Device("a.txt")));
    EXPECT_FALSE(fs::exists(Device("b.txt")));
    EXPECT_TRUE(fs::exists(Device("c.txt")));
    EXPECT_LT(view_->LocalList().FindRow("a.txt"), 0);
    EXPECT_LT(view_->LocalList().FindRow("b.txt"), 0);
    Select(view_->LocalList(), {"c.txt"});
    view_->OnCommand(app::ID_DELETE);
    EXPECT_EQ(BoxTexts().mid(2), QStringList{app::kDeleteFileQuestion});
    EXPECT_FALSE(fs::exists(Device("c.txt")));
    const int asked = static_cast<int>(BoxTexts().size());

    // Cancel keeps the folder; OK takes the whole tree, but never what a link inside points to.
    answer_ = [](const app::MessageBoxRequest&) { return app::IDCANCEL; };
    Select(view_->LocalList(), {"tree"});
    view_->OnCommand(app::ID_DELETE);
    EXPECT_TRUE(fs::exists(Device("tree/inner/deep.txt")));
    answer_ = [](const app::MessageBoxRequest&) { return app::IDOK; };
    view_->OnCommand(app::ID_DELETE);
    EXPECT_EQ(BoxTexts().mid(asked),
              (QStringList{app::kDeleteFolderQuestion, app::kDeleteFolderQuestion}));
    EXPECT_FALSE(fs::exists(Device("tree")));
    EXPECT_EQ(ReadFile(folder_.file("outside/keep.txt")), "keep");

    // A folder row that is a link: the link goes, what it points to stays.
    fs::create_directory_symlink(folder_.file("outside"), Device("linked"));
    view_->ListLocalFolder(QString());
    Select(view_->LocalList(), {"linked"});
    view_->OnCommand(app::ID_DELETE);
    EXPECT_FALSE(fs::is_symlink(Device("linked")));
    EXPECT_EQ(ReadFile(folder_.file("outside/keep.txt")), "keep");

    // Remote: two files and a folder at once.
    Select(view_->RemoteList(), {"b.txt", "c.txt", "docs"});
    view_->OnCommand(app::ID_DELETE);
    EXPECT_EQ(BoxTexts().back(), app::DeleteManyQuestion(3));
    EXPECT_FALSE(fs::exists(Disk("b.txt")));
    EXPECT_FALSE(fs::exists(Disk("c.txt")));
    EXPECT_FALSE(fs::exists(Disk("docs")));
    EXPECT_TRUE(fs::exists(Disk("a.txt")));
    EXPECT_LT(view_->RemoteList().FindRow("docs"), 0);
}

// A local entry whose name holds a separator ("..\\b.txt" in a folder) is refused by every
// operation that would build a path from it: nothing outside the folder shown is touched.
TEST_F(FileOperationsTest, LocalNamesWithSeparatorsAreRefused) {
    WriteFile(Device("tree/..\\b.txt"), "odd");
    // The name begins with "." and so is a dot file, listed only when dot files are shown.
    view_->SetHiddenFilesShown(true);
    view_->OpenLocalRow(view_->LocalList().FindRow("tree"));
    const QString odd = QStringLiteral("..\\b.txt");
    Select(view_->LocalList(), {odd});
    view_->OnCommand(app::ID_DELETE);
    EXPECT_EQ(BoxTexts(), QStringList{app::UnusableNameText(odd)});
    EXPECT_EQ(ReadFile(Device("b.txt")), "b.txt");
    EXPECT_EQ(ReadFile(Device("tree/..\\b.txt")), "odd");

    const int row = view_->LocalList().FindRow(odd);
    ASSERT_GE(row, 0);
    Ops().OnLabelEdited(view_->LocalList(), row, "plain.txt");
    EXPECT_EQ(BoxTexts().mid(1), QStringList{app::UnusableNameText(odd)});
    EXPECT_TRUE(fs::exists(Device("b.txt")));
    EXPECT_FALSE(fs::exists(Device("tree/plain.txt")));
}

} // namespace
} // namespace tavik::test
