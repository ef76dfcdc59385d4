// The whole road against the reference service, run as its own program (tavik-server): a
// password login and the disk list of the demo, the listed disk opened with the library by its
// disk id, a wrong password; and a session-key login with a key from the server's own command,
// which works once.
#include "tests/app_login/LoginHarness.h"

#include "app/login/AuthResult.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/login/QueryDiskInfo.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/ProgramConstants.h"
#include "sdk/include/TavikSDK.h"

#include "tests/cli/CChildProcess.h"
#include "tests/support/LoopbackIpv6.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace tavik::test {
namespace {

const QString kWrongAccount = QStringLiteral("아이디/비밀번호/도메인명이 올바른지 확인하세요");

struct Ports {
    uint16_t disk = 0;
    uint16_t auth = 0;
    uint16_t diskInfo = 0;
};

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The ports the server announces on its standard error (it was started with --port 0) for its
// first address, given as a pattern.
Ports announcedPorts(const std::string& log, const std::string& host = R"(127\.0\.0\.1)") {
    const std::regex pattern("listening on " + host + R"(:(\d+)[\s\S]*authentication server on )" +
                             host + R"(:(\d+), disk-information server on )" + host + R"(:(\d+))");
    std::smatch match;
    std::string text;
    waitFor([&] {
        text = fileText(log);
        return std::regex_search(text, match, pattern);
    });
    if (match.empty()) {
        return {};
    }
    return {static_cast<uint16_t>(std::stoi(match[1])), static_cast<uint16_t>(std::stoi(match[2])),
            static_cast<uint16_t>(std::stoi(match[3]))};
}

class ListOwner : public app::CDiskListOwner {
public:
    void TakeDiskList(std::vector<app::DiskEntry> disks) override { received = std::move(disks); }
    std::vector<app::DiskEntry> received;
};

class DemoRoadTest : public LoginTest {
protected:
    // One login with the form's fields; the results it got.
    std::vector<LPARAM> LogIn(CTestLoginForm& form, uint16_t authPort,
                              const std::u16string& sessionKey = {},
                              const std::string& host = "127.0.0.1") {
        form.results.clear();
        EXPECT_TRUE(form.Login({host, authPort}, sessionKey));
        EXPECT_TRUE(waitFor([&] { return !form.results.empty(); }));
        settleEvents();
        return form.results;
    }

    std::vector<app::DiskEntry> DiskList(const std::u16string& user, uint16_t diskInfoPort,
                                         const std::string& host = "127.0.0.1") {
        ListOwner owner;
        bool loggedIn = false;
        // With the ticket the login left, as the main frame sends it.
        const app::DiskInfoQuery query{user,
                                       u"@tavik.local",
                                       {host, diskInfoPort},
                                       -1,
                                       app::CAccountGlobals::Instance().diskTicket};
        EXPECT_TRUE(app::QueryDiskInfo(query, owner, loggedIn));
        EXPECT_TRUE(loggedIn);
        EXPECT_EQ(app::CAuthProgressDlg::Global(), nullptr) << "the dialog closes at 100";
        return owner.received;
    }
};

TEST_F(DemoRoadTest, PasswordLoginDiskListAndTheDisk) {
    ASSERT_TRUE(folder_->write("hello.txt", "hello"));
    const std::string log = folder_->file("server.log");
    CChildProcess server({TAVIK_SERVER_PROGRAM, "--demo", folder_->path(), "--port", "0",
                          "--demo-password", "데모 암호", "--quiet"},
                         {{"TAVIK_DOMAIN", ""}}, std::nullopt, log);
    ASSERT_TRUE(server.started());
    const Ports ports = announcedPorts(log);
    ASSERT_NE(ports.auth, 0) << fileText(log);

    CTestLoginForm form;
    form.userName->setText(QStringLiteral("demo"));
    form.password->setText(QStringLiteral("데모 암호"));
    form.show();
    EXPECT_EQ(LogIn(form, ports.auth), std::vector<LPARAM>{app::kAuthSucceeded});
    EXPECT_TRUE(BoxTexts().isEmpty());

    std::vector<app::DiskEntry> disks = DiskList(u"demo", ports.diskInfo);
    ASSERT_EQ(disks.size(), 1u);
    const app::DiskEntry& disk = disks.front();
    // The demo's disk server is on a free port, which the disk list names.
    EXPECT_EQ(QString::fromStdU16String(disk.serverAddress),
              QStringLiteral("127.0.0.1:%1").arg(ports.disk));
    EXPECT_FALSE(disk.diskName.empty());
    EXPECT_FALSE(disk.loginId.empty());
    TAVIK_SESSION session =
        tavik_CreateSession(u"127.0.0.1", ports.disk, disk.diskId.c_str(), nullptr, 10000);
    ASSERT_NE(session, nullptr) << tavik_GetLastError();
    EXPECT_EQ(tavik_GetFileSize(u"/demo/hello.txt", session), 5);
    tavik_DestroySession(session);

    form.password->setText(QStringLiteral("wrong"));
    EXPECT_EQ(LogIn(form, ports.auth), std::vector<LPARAM>{app::kAuthFailed});
    EXPECT_EQ(BoxTexts(), QStringList{kWrongAccount});
    EXPECT_TRUE(form.isVisible());

    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(std::chrono::seconds(20)).exitCode, 0);
}

// The same road with every server on IPv6 loopback only: the login and the disk list reach
// ::1, the disk list names the disk server as [::1]:port, and that text leads the library there.
TEST_F(DemoRoadTest, TheWholeRoadOverIpv6) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    ASSERT_TRUE(folder_->write("hello.txt", "hello"));
    const std::string log = folder_->file("server.log");
    CChildProcess server({TAVIK_SERVER_PROGRAM, "--demo", folder_->path(), "--port", "0",
                          "--listen", "::1", "--demo-password", "pw", "--quiet"},
                         {{"TAVIK_DOMAIN", ""}}, std::nullopt, log);
    ASSERT_TRUE(server.started());
    const Ports ports = announcedPorts(log, R"(\[::1\])");
    ASSERT_NE(ports.auth, 0) << fileText(log);

    CTestLoginForm form;
    form.userName->setText(QStringLiteral("demo"));
    form.password->setText(QStringLiteral("pw"));
    form.show();
    EXPECT_EQ(LogIn(form, ports.auth, {}, "::1"), std::vector<LPARAM>{app::kAuthSucceeded});
    std::vector<app::DiskEntry> disks = DiskList(u"demo", ports.diskInfo, "::1");
    ASSERT_EQ(disks.size(), 1u);
    const std::string named = QString::fromStdU16String(disks.front().serverAddress).toStdString();
    EXPECT_EQ(named, "[::1]:" + std::to_string(ports.disk));
    const auto parsed = app::ParseHostPort(named, app::kDiskServerPort);
    ASSERT_TRUE(parsed);
    const std::u16string host = QString::fromStdString(parsed->host).toStdU16String();
    TAVIK_SESSION session = tavik_CreateSession(host.c_str(), parsed->port,
                                                disks.front().diskId.c_str(), nullptr, 10000);
    ASSERT_NE(session, nullptr) << tavik_GetLastError();
    EXPECT_EQ(tavik_GetFileSize(u"/demo/hello.txt", session), 5);
    tavik_DestroySession(session);
    EXPECT_TRUE(BoxTexts().isEmpty());

    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(std::chrono::seconds(20)).exitCode, 0);
}

TEST_F(DemoRoadTest, SessionKeyLoginWorksOnce) {
    const auto hashed = CChildProcess::run({TAVIK_SERVER_PROGRAM, "hash-password"}, {}, "pw\n");
    ASSERT_EQ(hashed.exitCode, 0) << hashed.err;
    const std::string hash = hashed.out.substr(0, hashed.out.find('\n'));
    std::filesystem::create_directories(folder_->file("disk"));
    ASSERT_TRUE(folder_->write("server.toml",
                               "[server]\nlog_commands = false\n"
                               "[[disk]]\nid = \"home\"\nroot = \"disk\"\ncapability_only = true\n"
                               "[[account]]\nuser = \"kim\"\ndomain = \"tavik.local\"\n"
                               "password_hash = \"" +
                                   hash + "\"\n[[account.disk]]\nid = \"home\"\n"));
    const std::string config = folder_->file("server.toml");
    const auto issued = CChildProcess::run(
        {TAVIK_SERVER_PROGRAM, "session-key", "kim@tavik.local", "--config", config}, {});
    ASSERT_EQ(issued.exitCode, 0) << issued.err;
    const std::string key = issued.out.substr(0, issued.out.find('\n'));
    const std::string log = folder_->file("server.log");
    CChildProcess server({TAVIK_SERVER_PROGRAM, "--config", config, "--port", "0"}, {},
                         std::nullopt, log);
    ASSERT_TRUE(server.started());
    const Ports ports = announcedPorts(log);
    ASSERT_NE(ports.auth, 0) << fileText(log);

    CTestLoginForm form;
    form.userName->setText(QStringLiteral("kim"));
    form.show();
    const std::u16string sessionKey(key.begin(), key.end());
    EXPECT_EQ(LogIn(form, ports.auth, sessionKey), std::vector<LPARAM>{app::kAuthSucceeded});
    std::vector<app::DiskEntry> disks = DiskList(u"kim", ports.diskInfo);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(QString::fromStdU16String(disks.front().serverAddress),
              QStringLiteral("127.0.0.1:%1").arg(ports.disk));
    EXPECT_TRUE(BoxTexts().isEmpty());

    EXPECT_EQ(LogIn(form, ports.auth, sessionKey), std::vector<LPARAM>{app::kAuthFailed});
    EXPECT_EQ(BoxTexts(), QStringList{kWrongAccount});

    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(std::chrono::seconds(20)).exitCode, 0);
}

} // namespace
} // namespace tavik::test
