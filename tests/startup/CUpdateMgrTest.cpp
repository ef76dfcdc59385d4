// The update manager against a program folder A/B/bin of the test's own, with the stand-in
// updater as Updrona.exe (it records how it was started and plays the updater's side).
#include "app/settings/CUpdateMgr.h"

#include "app/res/ProgramResources.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CEndpointWindow.h"
#include "platform/CShellProcess.h"
#include "platform/CWindowEndpoint.h"
#include "tests/startup/StartupFixture.h"

#include <QWidget>

#include <filesystem>

namespace tavik::app {
namespace {

namespace fs = std::filesystem;
using platform::CWindowEndpoint;

class UpdateMgrTest : public test::StartupFixture {};

struct IniRow {
    const char* text;
    bool found;
    const char16_t* value;
};

TEST_F(UpdateMgrTest, ReadsTheChannelOnlyFromAnExactEntryInItsSection) {
    const IniRow rows[] = {
        {"[Client]\nchannel=x\n", true, u"x"},
        {"[Client]\r\n  channel=x y \r\n", true, u"x y"},
        {"[Client]\nchannel = x\n", false, u""},
        {"[Client]\nchannel =x\n", false, u""},
        {"[Client]\nchannel= x\n", true, u" x"},
        {"[Client]\nChannel=x\n", false, u""},
        {"[Other]\nchannel=x\n", false, u""},
        {"channel=x\n[Client]\n", false, u""},
        {"[Client]\nmode=1\n[Other]\nchannel=y\n[Client]\nchannel=z=w\n", true, u"z=w"},
        {"  [Client]  \nchannel=\n", true, u""},
        {"", false, u""},
    };
    for (const IniRow& row : rows) {
        WriteIni(row.text);
        std::u16string value;
        EXPECT_EQ(
            CUpdateMgr::ReadIniValue(u"Client", u"channel", value, BinFolder() + "/update.ini"),
            row.found)
            << row.text;
        if (row.found) {
            EXPECT_EQ(value, row.value) << row.text;
        }
    }
    std::u16string value;
    EXPECT_FALSE(CUpdateMgr::ReadIniValue(u"Client", u"channel", value, folder_.file("none.ini")));
}

TEST_F(UpdateMgrTest, InitFailsWithoutAChannelOrAProgramFolder) {
    struct Row {
        std::string ini; // empty: no update.ini at all
        std::string executable;
    };
    const Row rows[] = {
        {"", ExecutablePath()},
        {"[Client]\nchannel = x\n", ExecutablePath()},
        {"[Client]\n", ExecutablePath()},
        {"[Client]\nchannel=x\n", "tavikPDA"},
        {"[Client]\nchannel=" + std::string(200, 'c') + "\n", ExecutablePath()},
    };
    for (const Row& row : rows) {
        fs::remove(BinFolder() + "/update.ini");
        if (!row.ini.empty()) {
            WriteIni(row.ini);
        }
        CUpdateMgr manager;
        EXPECT_EQ(manager.Init(row.executable), CUpdateMgr::kInitFailed)
            << (row.ini.empty() ? "(no update.ini)" : row.ini);
        EXPECT_FALSE(manager.IsCreated());
    }
    EXPECT_TRUE(UpdaterLog().empty());
}

// An installed program reads its channel from the prefix's data folder (root/share/tavik), so
// that nothing but programs lies in bin/; a file beside the program (the build tree) comes first.
TEST_F(UpdateMgrTest, InitReadsTheChannelBesideTheProgramElseFromTheDataFolder) {
    struct Row {
        const char* beside;        // null: no bin/update.ini
        const char* shared;        // null: no share/tavik/update.ini
        const char16_t* className; // null: Init fails
    };
    const Row rows[] = {
        {nullptr, "[Client]\nchannel=installed\n", u"installed_UpdateMgr"},
        {"[Client]\nchannel=built\n", "[Client]\nchannel=installed\n", u"built_UpdateMgr"},
        {nullptr, "[Client]\nchannel = x\n", nullptr},
        {nullptr, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        fs::remove(BinFolder() + "/update.ini");
        fs::remove_all(Root() + "/share");
        if (row.beside != nullptr) {
            WriteIni(row.beside);
        }
        if (row.shared != nullptr) {
            fs::create_directories(Root() + "/share/tavik");
            folder_.write("A/B/share/tavik/update.ini", row.shared);
        }
        CUpdateMgr manager;
        CUpdateMgr::InitResult result = manager.Init(ExecutablePath());
        if (row.className == nullptr) {
            EXPECT_EQ(result, CUpdateMgr::kInitFailed) << (row.shared ? row.shared : "(none)");
            continue;
        }
        EXPECT_EQ(result, CUpdateMgr::kInitContinue) << (row.shared ? row.shared : "(none)");
        EXPECT_EQ(manager.WindowClassName(), row.className);
    }
}

TEST_F(UpdateMgrTest, InitFindsItsRootAboveBinAndStartsTheUpdaterWithItsHandle) {
    CUpdateMgr manager;
    ASSERT_EQ(manager.Init(ExecutablePath()), CUpdateMgr::kInitContinue);
    EXPECT_EQ(manager.Root(), Root());
    EXPECT_EQ(manager.WindowClassName(), u"test_UpdateMgr");
    EXPECT_EQ(manager.UpdaterClassName(), u"WCE_test_Updrona");
    EXPECT_TRUE(manager.IsCreated());
    ASSERT_GT(manager.Handle(), 0);
    // The hidden window is found by its class and by its handle.
    EXPECT_EQ(CWindowEndpoint::Find(CWindowEndpoint::ClassName(u"test_UpdateMgr")).size(), 1u);
    EXPECT_EQ(CWindowEndpoint::Find(CWindowEndpoint::HandleName(manager.Handle())).size(), 1u);

    ASSERT_TRUE(WaitForUpdaterLines(1));
    EXPECT_EQ(UpdaterLog()[0], "start /H:" + std::to_string(manager.Handle()) + " /T:0");
    EXPECT_FALSE(fs::exists(MarkerPath()));
}

TEST_F(UpdateMgrTest, APostponedUpdateHandsOverAtOnceAndANewUpdaterIsInstalledFirst) {
    // An old updater that is not a program, and the new one waiting beside it.
    fs::remove(BinFolder() + "/Updrona.exe");
    folder_.write("A/B/bin/Updrona.exe", "old");
    InstallUpdater("UpdronaNew.exe");
    fs::create_directories(Root() + "/update");
    folder_.write("A/B/update/newstart.txt", "newstart = 1");

    CUpdateMgr manager;
    EXPECT_EQ(manager.Init(ExecutablePath()), CUpdateMgr::kInitUpdaterStarted);
    EXPECT_FALSE(manager.IsCreated());
    EXPECT_TRUE(CWindowEndpoint::Find(CWindowEndpoint::ClassName(u"test_UpdateMgr")).empty());
    EXPECT_FALSE(fs::exists(BinFolder() + "/UpdronaNew.exe"));
    EXPECT_TRUE(fs::is_symlink(BinFolder() + "/Updrona.exe"));
    ASSERT_TRUE(WaitForUpdaterLines(1));
    EXPECT_EQ(UpdaterLog(), std::vector<std::string>{"start"});
    // The marker is the updater's to delete.
    EXPECT_TRUE(fs::exists(MarkerPath()));
}

TEST_F(UpdateMgrTest, ReplaceFileMovesIntoAFolderItCreates) {
    folder_.write("new.bin", "new");
    EXPECT_TRUE(CUpdateMgr::ReplaceFile(folder_.file("new.bin"), folder_.file("x/y/old.bin")));
    EXPECT_EQ(folder_.read("x/y/old.bin"), "new");
    folder_.write("new.bin", "newer");
    EXPECT_TRUE(CUpdateMgr::ReplaceFile(folder_.file("new.bin"), folder_.file("x/y/old.bin")));
    EXPECT_EQ(folder_.read("x/y/old.bin"), "newer");
    EXPECT_FALSE(fs::exists(folder_.file("new.bin")));
    EXPECT_FALSE(CUpdateMgr::ReplaceFile(folder_.file("new.bin"), folder_.file("x/y/old.bin")));
}

TEST_F(UpdateMgrTest, InitClosesARunningUpdaterFirst) {
    ::setenv("TAVIK_FAKE_UPDATER_WINDOW", "WCE_test_Updrona", 1);
    ASSERT_EQ(platform::CShellProcess::startDetached(TAVIK_FAKE_UPDRONA, {"running"}, ""), 0);
    ASSERT_TRUE(WaitForUpdaterLines(2)); // "start running", "window"
    ::unsetenv("TAVIK_FAKE_UPDATER_WINDOW");

    CUpdateMgr manager;
    ASSERT_EQ(manager.Init(ExecutablePath()), CUpdateMgr::kInitContinue);
    ASSERT_TRUE(WaitForUpdaterLines(4));
    std::vector<std::string> log = UpdaterLog();
    EXPECT_EQ(log[2], "closed");
    EXPECT_EQ(log[3].rfind("start /H:", 0), 0u);
}

// The updater's notice of ready updates, answered both ways.
TEST_F(UpdateMgrTest, TheUpdateOfferEitherPostponesOrClosesTheExplorerAndStartsTheUpdater) {
    for (int answer : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(answer);
        fs::remove(MarkerPath());
        fs::remove(folder_.file("updater.log"));
        QWidget explorer;
        explorer.setWindowTitle(kExplorerTitle);
        auto* endpoints = new CEndpointWindow(&explorer);
        ASSERT_TRUE(endpoints->Bind(CWindowEndpoint::TitleName(kExplorerTitle.toStdU16String())));
        explorer.show();

        CMessageBox::Recorder boxes([answer](const MessageBoxRequest&) { return answer; });
        ::setenv("TAVIK_FAKE_UPDATER_OFFER", "1", 1);
        CUpdateMgr manager;
        ASSERT_EQ(manager.Init(ExecutablePath()), CUpdateMgr::kInitContinue);
        ASSERT_TRUE(WaitFor([&] { return !boxes.Boxes().empty(); }));
        ::unsetenv("TAVIK_FAKE_UPDATER_OFFER");

        const MessageBoxRequest& box = boxes.Boxes().front();
        EXPECT_EQ(box.text, QStringLiteral("업데이트 될 항목이 있습니다.\r\n[확인]을 선택하시면 "
                                           "TAVIK가 종료되며\r\n 업데이트를 시작합니다."));
        EXPECT_EQ(box.caption, QStringLiteral("TAVIK 업데이트"));
        EXPECT_EQ(box.style, MB_OKCANCEL | MB_ICONINFORMATION);
        if (answer == IDCANCEL) {
            EXPECT_EQ(folder_.read("A/B/update/newstart.txt"), "newstart = 1");
            EXPECT_TRUE(explorer.isVisible());
        } else {
            EXPECT_FALSE(fs::exists(MarkerPath()));
            ASSERT_TRUE(WaitFor([&] { return !explorer.isVisible(); }));
            ASSERT_TRUE(WaitForUpdaterLines(2));
            EXPECT_EQ(UpdaterLog()[1], "start");
        }
        EXPECT_EQ(boxes.Boxes().size(), 1u);
    }
}

TEST_F(UpdateMgrTest, OtherNoticesAreIgnored) {
    CMessageBox::Recorder boxes;
    CUpdateMgr manager;
    EXPECT_EQ(manager.windowProc(CUpdateMgr::WM_UPDATE_NOTICE, 999, 0), 0);
    EXPECT_EQ(manager.windowProc(CUpdateMgr::WM_UPDATE_NOTICE + 1, 1000, 0), 0);
    EXPECT_TRUE(boxes.Boxes().empty());
}

} // namespace
} // namespace tavik::app
