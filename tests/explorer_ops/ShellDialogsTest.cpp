// The settings dialog through the frame's settings command, and the folder chooser's steps.
#include "tests/explorer_ops/ExplorerFixture.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CBatchPlanner.h"
#include "app/explorer/ConflictDialog.h"
#include "app/explorer/ExplorerIds.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/LocalNames.h"
#include "app/explorer/TransferText.h"
#include "app/res/ProgramResources.h"
#include "app/settings/CAccountStore.h"
#include "app/settings/CProfile.h"
#include "app/shell/CLanguage.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/FolderChooserDialog.h"
#include "app/shell/SettingsDialog.h"
#include "app/socket/CServerTrust.h"
#include "tls/CKnownServers.h"
#include "tls/CTlsChannel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

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

// The "보안 연결" choice: shown as stored (on by default), a change enables "적용", and the
// frame stores what was chosen when the dialog is accepted.
TEST_F(ShellDialogsTest, SecurityChoiceIsShownChangedAndStored) {
    using Mode = app::CSecuritySetting::Mode;
    ASSERT_TRUE(app::CProfile().DeleteSection(u"user"));
    for (Mode chosen : {Mode::Preferred, Mode::Off, Mode::Required}) {
        const Mode opening = app::CSecuritySetting::Stored();
        app::SettingsDialog dialog(QStringLiteral("\\a"), nullptr);
        QComboBox* combo = dialog.SecurityCombo();
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->accessibleName(), QStringLiteral("보안 연결"));
        EXPECT_EQ(dialog.ChosenSecurity(), opening);
        EXPECT_FALSE(dialog.ApplyEnabled());
        combo->setCurrentIndex(combo->findData(static_cast<int>(chosen)));
        EXPECT_EQ(dialog.ApplyEnabled(), chosen != opening);
        EXPECT_EQ(dialog.ChosenSecurity(), chosen);

        QTimer::singleShot(0, [chosen] {
            auto* shown = qobject_cast<app::SettingsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            shown->SecurityCombo()->setCurrentIndex(
                shown->SecurityCombo()->findData(static_cast<int>(chosen)));
            shown->accept();
        });
        frame_->SendCommand(app::ID_SETTINGS);
        EXPECT_EQ(app::CSecuritySetting::Stored(), chosen);
    }
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

// Dot files in My Device: hidden at first, shown by the menu's check item or Ctrl+H (which
// agree), and the choice is remembered for the next start.
TEST_F(ShellDialogsTest, HiddenFilesFollowTheMenuItemAndAreRemembered) {
    WriteFile(Device(".dot"), "x");
    WriteFile(Device("plain"), "y");
    view_->ListLocalFolder(QString());
    app::FileListCtrl& list = view_->LocalList();
    QAction* item = frame_->Action(app::ID_SHOW_HIDDEN_FILES);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_EQ(item->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    const struct {
        const char* name;
        std::function<void()> act;
        bool shown;
    } steps[] = {
        {"at first", [] {}, false},
        {"menu item", [item] { item->trigger(); }, true},
        {"Ctrl+H in the list", [&list] { QTest::keyClick(&list, Qt::Key_H, Qt::ControlModifier); },
         false},
        {"Ctrl+H again", [&list] { QTest::keyClick(&list, Qt::Key_H, Qt::ControlModifier); }, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(item->isChecked(), step.shown);
        EXPECT_EQ(view_->HiddenFilesShown(), step.shown);
        EXPECT_EQ(list.FindRow(".dot") >= 0, step.shown);
        EXPECT_GE(list.FindRow("plain"), 0);
        EXPECT_EQ(app::CAccountStore().ShowHiddenFiles(), step.shown);
    }
    // The next start reads it.
    app::CTavikPDADoc document;
    app::CMainFrame frame(document);
    ASSERT_TRUE(frame.Create());
    auto* view = new app::CTavikPDAView(document, &frame);
    view->AttachToFrame(frame);
    EXPECT_TRUE(view->HiddenFilesShown());
    EXPECT_TRUE(frame.Action(app::ID_SHOW_HIDDEN_FILES)->isChecked());
}

// The interface language: TAVIK_LANGUAGE first, then the setting the settings dialog writes,
// Korean by default; with English installed the message box, the menus, the pop-ups, the list
// headers and the windows' labels and buttons (also a text set while the window is up) are
// English; back to Korean every text is the program's own again.
TEST_F(ShellDialogsTest, EnglishIsChosenByTheEnvironmentOrTheSettingsAndShownAtEachSeam) {
    using Language = app::CLanguage::Language;
    const struct {
        const char* stored;      // null: nothing stored
        const char* environment; // null: unset
        Language chosen;
    } choices[] = {
        {nullptr, nullptr, Language::Korean}, {nullptr, "en", Language::English},
        {"en", nullptr, Language::English},   {"en", "ko", Language::Korean},
        {"ko", "EN", Language::English},      {"en", "fr", Language::English},
    };
    for (const auto& choice : choices) {
        SCOPED_TRACE(::testing::Message() << (choice.stored ? choice.stored : "-") << " "
                                          << (choice.environment ? choice.environment : "-"));
        app::CProfile().DeleteSection(u"user");
        if (choice.stored) {
            app::CLanguage::Store(QString::fromLatin1(choice.stored) == "en" ? Language::English
                                                                             : Language::Korean);
        }
        if (choice.environment) {
            ::setenv("TAVIK_LANGUAGE", choice.environment, 1);
        } else {
            ::unsetenv("TAVIK_LANGUAGE");
        }
        EXPECT_EQ(app::CLanguage::Chosen(), choice.chosen);
    }
    ::unsetenv("TAVIK_LANGUAGE");

    // The settings dialog stores the choice.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<app::SettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->LanguageCombo()->accessibleName(), QStringLiteral("언어"));
        dialog->LanguageCombo()->setCurrentIndex(0);
        EXPECT_FALSE(dialog->ApplyEnabled());
        dialog->LanguageCombo()->setCurrentIndex(1);
        EXPECT_TRUE(dialog->ApplyEnabled());
        dialog->accept();
    });
    app::CProfile().DeleteSection(u"user");
    frame_->SendCommand(app::ID_SETTINGS);
    EXPECT_EQ(app::CLanguage::Stored(), Language::English);

    auto seams = [this]() -> std::string {
        QStringList texts;
        app::CMessageBox::Show(app::kDeleteFileQuestion);
        texts << BoxTexts().last();
        app::FileListCtrl list(app::FileListCtrl::Variant::Local, nullptr);
        texts << list.headerItem()->text(app::kColumnName);
        const std::unique_ptr<QMenu> popup = list.BuildPopup(app::FileListCtrl::Popup::LocalRow);
        for (QAction* item : popup->actions()) {
            texts << item->text();
        }
        app::CTavikPDADoc document;
        app::CMainFrame frame(document);
        EXPECT_TRUE(frame.Create());
        texts << frame.Action(app::ID_REFRESH)->text();
        app::SettingsDialog dialog(QStringLiteral("\\a"), nullptr);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        texts << dialog.windowTitle();
        auto* label = dialog.findChild<QLabel*>();
        label->setText(QStringLiteral("완료"));
        label->repaint();
        texts << label->text();
        return texts.join(QLatin1Char('|')).toStdString();
    };
    ASSERT_TRUE(app::CLanguage::Install(Language::English));
    EXPECT_EQ(app::CLanguage::Installed(), Language::English);
    EXPECT_EQ(seams(), "Delete this file?|Name|Delete|Rename|Upload|Refresh|TAVIK - Settings|Done");
    app::CLanguage::Uninstall();
    EXPECT_EQ(seams(),
              "해당 파일을 삭제하시겠습니까?|파일명|삭제하기|이름 바꾸기|업로드 하기|새로고침|"
              "TAVIK - 환경설정|완료");
}

// The batches' texts and the boxes about a server's certificate, also those composed from a
// template and pieces (counts, names, times, servers, fingerprints): with English installed every
// row is English, the pieces in their places; back to Korean every row is the program's own text
// again, byte for byte.
TEST_F(ShellDialogsTest, BatchTextsAndTheConflictDialogAreShownInTheChosenLanguage) {
    using Language = app::CLanguage::Language;
    struct Shown {
        app::ConflictDialog* conflict;
    };
    // The certificate's box, from a list of known servers of its own that keeps OLD for the
    // server when asked to; the server shows NEW. The list's path shows as LIST.
    std::string oldPrint, newPrint;
    for (int i = 0; i < 32; ++i) {
        oldPrint += (i > 0 ? ":A" : "A") + std::to_string(i % 10);
        newPrint += (i > 0 ? ":4" : "4") + std::to_string(i % 10);
    }
    int lists = 0;
    auto trustBox = [&](bool keepOld) {
        const std::string path = folder_.file("known-" + std::to_string(++lists));
        if (keepOld) {
            std::ofstream(path) << "127.0.0.1:9553 " << oldPrint << "\n";
        }
        const app::CServerTrust trust{tls::CKnownServers(path)};
        trust.Decide("127.0.0.1", 9553, newPrint, false);
        return BoxTexts()
            .value(BoxTexts().size() - 1)
            .replace(QString::fromStdString(path), QStringLiteral("LIST"))
            .replace(QString::fromStdString(oldPrint), QStringLiteral("OLD"))
            .replace(QString::fromStdString(newPrint), QStringLiteral("NEW"));
    };
    // A server that answers the handshake with plain bytes, the secure connection required:
    // the refusal's first two lines (the handshake's own error follows).
    auto plainServerBox = [this]() {
        int ends[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return QStringLiteral("no socket pair");
        }
        const char plain[] = "a plain answer, no handshake";
        const bool sent = ::write(ends[1], plain, sizeof plain) == sizeof plain;
        std::unique_ptr<tls::CTlsChannel> channel;
        const app::CServerTrust trust{tls::CKnownServers(folder_.file("known-plain"))};
        const auto outcome = trust.Secure(ends[0], "127.0.0.1", 9553,
                                          app::CSecuritySetting::Mode::Required, 5000, channel);
        ::close(ends[0]);
        ::close(ends[1]);
        if (!sent || outcome != app::CServerTrust::Outcome::Refused) {
            return QStringLiteral("not refused");
        }
        return BoxTexts().value(BoxTexts().size() - 1).section(QLatin1Char('\n'), 0, 1);
    };
    const struct {
        const char* what;
        std::function<QString(const Shown&)> text;
        const char* korean;
        const char* english;
    } rows[] = {
        {"conflict title", [](const Shown& s) { return s.conflict->windowTitle(); },
         "TAVIK - 다운/업", "TAVIK - Transfer"},
        {"conflict name", [](const Shown& s) { return s.conflict->accessibleName(); },
         "같은 이름의 파일", "File of the same name"},
        {"conflict buttons",
         [](const Shown& s) {
             QStringList texts;
             for (auto answer : {app::ConflictAnswer::Replace, app::ConflictAnswer::Skip,
                                 app::ConflictAnswer::Resume, app::ConflictAnswer::Cancel}) {
                 QPushButton* button = s.conflict->Button(answer);
                 texts << button->text() + QLatin1Char('/') + button->accessibleName();
             }
             texts << s.conflict->ApplyToAllBox()->text();
             return texts.join(QLatin1Char('|'));
         },
         "바꾸기(&R)/바꾸기|건너뛰기(&S)/건너뛰기|이어서 전송(&C)/이어서 전송|취소/취소|모두 "
         "적용(&A)",
         "&Replace/Replace|&Skip/Skip|&Continue transfer/Continue transfer|Cancel/Cancel|"
         "Apply to &all"},
        // A translated text longer than the Korean one gets the room it needs.
        {"conflict buttons cut short",
         [](const Shown& s) {
             QStringList cut;
             for (QPushButton* button : s.conflict->findChildren<QPushButton*>()) {
                 if (button->isVisible() && button->width() < button->sizeHint().width()) {
                     cut << button->accessibleName();
                 }
             }
             return cut.join(QLatin1Char('|'));
         },
         "", ""},
        {"conflict question", [](const Shown& s) { return s.conflict->Text(); },
         "같은 이름의 파일이 이미 있습니다.\na/b.txt\n보낼 파일: 1,234 byte\n있는 파일: 5 "
         "byte\n어떻게 하시겠습니까?",
         "A file of the same name exists already.\na/b.txt\nFile to send: 1,234 bytes\nExisting "
         "file: 5 bytes\nWhat would you like to do?"},
        {"failure list",
         [](const Shown&) {
             return app::BatchFailureText(
                 {{QStringLiteral("x"), app::kSkippedReason},
                  {QStringLiteral("d"), app::MakeFolderFailedReason(QStringLiteral("d/e"))},
                  {QStringLiteral("y"), app::kCancelledReason}},
                 2);
         },
         "다음 3개의 항목을 전송하지 못했습니다.\nx: 건너뛰었습니다.\nd: 폴더를 만들 수 없습니다: "
         "d/e\n... 외 1개",
         "These items were not transferred (3):\nx: Skipped.\nd: The folder cannot be made: "
         "d/e\n... and 1 more"},
        {"delete many", [](const Shown&) { return app::DeleteManyQuestion(12); },
         "선택한 12개의 항목을 모두 삭제하시겠습니까? 폴더는 폴더 내의 모든 파일과 함께 "
         "삭제됩니다.",
         "Delete all 12 selected items? Folders are deleted with every file in them."},
        {"remaining",
         [](const Shown&) {
             QStringList texts;
             for (uint32_t seconds : {59u, 61u, 3723u}) {
                 texts << app::RemainingText(seconds);
             }
             return texts.join(QLatin1Char('|'));
         },
         "59초|1분 1초|1시간 2분 3초", "59 s|1 min 1 s|1 h 2 min 3 s"},
        {"names in messages",
         [](const Shown&) {
             return app::CannotCreateFileText(QStringLiteral("\\a")) + QLatin1Char('|') +
                    app::CannotCreateFolderText(QStringLiteral("\\b")) + QLatin1Char('|') +
                    app::UnusableNameText(QStringLiteral(".."));
         },
         "\"\\a\" 에 파일을 만들 수 없습니다.|\"\\b\" 에 디렉토리를 만들 수 없습니다.|"
         "\"..\" 은(는) 이 기기의 파일 이름으로 쓸 수 없습니다.",
         "No file can be made in \"\\a\".|No folder can be made in \"\\b\".|\"..\" cannot be a "
         "file name on this device."},
        {"new server's certificate", [&](const Shown&) { return trustBox(false); },
         "처음 접속하는 서버입니다: 127.0.0.1:9553\n인증서 지문:\nNEW\n서버 관리자가 알려 준 "
         "지문과 같을 때만 확인을 누르십시오.\n확인하면 이 서버를 기억합니다.",
         "This is the first connection to the server 127.0.0.1:9553.\nCertificate fingerprint:\n"
         "NEW\nPress OK only if it is the fingerprint the server's administrator gave "
         "you.\nOnce you press OK, this server is remembered."},
        {"changed certificate", [&](const Shown&) { return trustBox(true); },
         "경고: 127.0.0.1:9553 서버의 인증서가 바뀌었습니다!\n알고 있던 지문:\nOLD\n지금 "
         "지문:\nNEW\n누군가 중간에서 가로채고 있을 수 있어 연결하지 않습니다.\n바뀐 것이 "
         "맞다면 LIST 에서 이 서버의 줄을 지우십시오.",
         "Warning: the certificate of the server 127.0.0.1:9553 has changed!\nKnown "
         "fingerprint:\nOLD\nFingerprint now:\nNEW\nSomeone may be intercepting the "
         "connection, so it is not made.\nIf the change is genuine, delete this server's line in "
         "LIST."},
        {"server without secure connections", [&](const Shown&) { return plainServerBox(); },
         "보안 연결 실패!\n서버가 보안 연결을 지원하지 않습니다.",
         "Secure connection failed!\nThe server does not support secure connections."},
    };
    for (Language language : {Language::English, Language::Korean}) {
        ASSERT_TRUE(app::CLanguage::Install(language));
        app::ConflictDialog conflict(
            app::ConflictQuestion{QStringLiteral("a/b.txt"), 1234, 5, true}, nullptr);
        conflict.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&conflict));
        const Shown shown{&conflict};
        for (const auto& row : rows) {
            SCOPED_TRACE(row.what);
            EXPECT_EQ(row.text(shown).toStdString(),
                      language == Language::English ? row.english : row.korean);
        }
    }
    app::CLanguage::Uninstall();
}

} // namespace
} // namespace tavik::test
