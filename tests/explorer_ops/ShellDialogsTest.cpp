// The settings dialog through the frame's settings command, and the folder chooser's steps.
#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/res/ProgramResources.h"
#include "app/settings/CAccountStore.h"
#include "app/settings/CProfile.h"
#include "app/shell/FolderChooserDialog.h"
#include "app/shell/SettingsDialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

class ShellDialogsTest : public ExplorerFixture {};

// Presses the named button of the settings dialog once it runs modally.
void PressInSettings(const QString& button, const QString& chosenFolder = QString()) {
    QTimer::singleShot(0, [button, chosenFolder] {
        auto* dialog = qobject_cast<app::SettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (!chosenFolder.isNull()) {
            dialog->OnFolderChosen(chosenFolder);
        }
        for (QPushButton* candidate : dialog->findChildren<QPushButton*>()) {
            if (candidate->text() == button) {
                candidate->click();
                return;
            }
        }
        FAIL() << "no button " << button.toStdString();
    });
}

TEST_F(ShellDialogsTest, SettingsSaveWritesEvenUnchangedAndCancelKeeps) {
    const std::u16string opening = frame_->DownloadPath();
    // Nothing stored yet: the store answers with its default.
    EXPECT_EQ(app::CProfile().GetString(u"user", u"DownPath", u"<none>"), u"<none>");
    PressInSettings(QStringLiteral("저장"));
    frame_->SendCommand(app::ID_SETTINGS);
    EXPECT_EQ(app::CProfile().GetString(u"user", u"DownPath", u"<none>"), opening);

    PressInSettings(QStringLiteral("취소"), QStringLiteral("\\elsewhere"));
    frame_->SendCommand(app::ID_SETTINGS);
    EXPECT_EQ(frame_->DownloadPath(), opening);

    PressInSettings(QStringLiteral("적용"), QStringLiteral("\\Downloads"));
    frame_->SendCommand(app::ID_SETTINGS);
    EXPECT_EQ(frame_->DownloadPath(), u"\\Downloads");
    EXPECT_EQ(app::CAccountStore().DownloadPath(), u"\\Downloads");
}

TEST_F(ShellDialogsTest, ApplyIsEnabledOnlyOnceThePathDiffers) {
    app::SettingsDialog dialog(QStringLiteral("\\a"), nullptr);
    EXPECT_FALSE(dialog.ApplyEnabled());
    dialog.OnFolderChosen(QStringLiteral("\\a"));
    EXPECT_FALSE(dialog.ApplyEnabled());
    dialog.OnFolderChosen(QStringLiteral("\\b"));
    EXPECT_TRUE(dialog.ApplyEnabled());
    EXPECT_EQ(dialog.ShownPath(), QStringLiteral("\\b"));
    dialog.show();
    SaveShot(dialog, "settings");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("TAVIK - 환경설정"));
}

TEST_F(ShellDialogsTest, FolderChooserStepsUpAndDownWithOneComboEntryPerFolder) {
    fs::create_directories(Device("Program Files/tavik"));
    fs::create_directories(Device("My Documents"));
    WriteFile(Device("file.txt"), "not a folder");

    app::FolderChooserDialog chooser(QStringLiteral("\\Program Files"), nullptr);
    EXPECT_EQ(chooser.SubFolders(), QStringList{"tavik"});
    chooser.GoUp();
    EXPECT_EQ(chooser.CurrentFolder(), QStringLiteral("\\"));
    EXPECT_EQ(chooser.ComboText(), QStringLiteral("\\"));
    EXPECT_EQ(chooser.SubFolders(), (QStringList{"My Documents", "Program Files"}));
    chooser.GoUp();
    EXPECT_EQ(chooser.CurrentFolder(), QStringLiteral("\\"));

    for (int round = 0; round < 2; ++round) {
        chooser.EnterSubFolder(QStringLiteral("My Documents"));
        EXPECT_EQ(chooser.CurrentFolder(), QStringLiteral("\\My Documents"));
        chooser.GoUp();
    }
    EXPECT_EQ(chooser.ComboEntries(), (QStringList{"\\Program Files", "\\", "\\My Documents"}));
    chooser.ChooseComboEntry(0);
    EXPECT_EQ(chooser.CurrentFolder(), QStringLiteral("\\Program Files"));
    EXPECT_EQ(chooser.SubFolders(), QStringList{"tavik"});
    chooser.show();
    SaveShot(chooser, "folder-chooser");
}

} // namespace
} // namespace tavik::test
