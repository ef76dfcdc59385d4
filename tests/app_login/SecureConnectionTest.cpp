// The "보안 연결" setting against the reference service run as its own program: one server that
// offers TLS (a demo, with a certificate no CA vouches for) and one that speaks plain only. Row
// by row (setting, server, what the list of known servers keeps, the answer to a question) the
// program's three connections are made (the login on the authentication server, the disk list
// from the disk-information server, a session on the disk server) and each is checked for its
// outcome, the box it showed, and what the list keeps afterwards.
#include "tests/app_login/LoginHarness.h"

#include "app/explorer/SecureSession.h"
#include "app/login/AuthResult.h"
#include "app/login/QueryDiskInfo.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CSecuritySetting.h"
#include "app/socket/CServerTrust.h"
#include "sdk/include/TavikSDK.h"
#include "tls/CKnownServers.h"

#include "tests/cli/CChildProcess.h"
#include "tests/support/CTempFolder.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace tavik::test {
namespace {

using Mode = app::CSecuritySetting::Mode;

// A fingerprint no server has.
const std::string kOtherFingerprint = [] {
    std::string text;
    for (int index = 0; index < 32; ++index) {
        text += index == 0 ? "AB" : ":AB";
    }
    return text;
}();

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Service {
    uint16_t disk = 0;
    uint16_t auth = 0;
    uint16_t diskInfo = 0;
    std::string fingerprint; // empty: the server offers no TLS
};

// The ports (and, with TLS, the fingerprint) the server announces on its standard error.
Service announced(const std::string& log, bool tls) {
    const std::regex ports(R"(listening on 127\.0\.0\.1:(\d+)[\s\S]*authentication server on )"
                           R"(127\.0\.0\.1:(\d+), disk-information server on 127\.0\.0\.1:(\d+))");
    const std::regex fingerprint(R"(certificate fingerprint ((?:[0-9A-F]{2}:){31}[0-9A-F]{2}))");
    std::smatch portMatch;
    std::smatch fingerprintMatch;
    std::string text;
    waitFor([&] {
        text = fileText(log);
        return std::regex_search(text, portMatch, ports) &&
               (!tls || std::regex_search(text, fingerprintMatch, fingerprint));
    });
    if (portMatch.empty() || (tls && fingerprintMatch.empty())) {
        return {};
    }
    return {static_cast<uint16_t>(std::stoi(portMatch[1])),
            static_cast<uint16_t>(std::stoi(portMatch[2])),
            static_cast<uint16_t>(std::stoi(portMatch[3])), tls ? fingerprintMatch[1].str() : ""};
}

class ListOwner : public app::CDiskListOwner {
public:
    void TakeDiskList(std::vector<app::DiskEntry> disks) override { received = std::move(disks); }
    std::vector<app::DiskEntry> received;
};

enum class Kept { Nothing, TheServers, Another };
enum class Box { None, Question, Changed, NoTls };

struct Row {
    const char* name;
    Mode mode;
    bool tlsServer;
    Kept kept;
    int answer; // to a question box
    bool connects;
    Box box;
    Kept keptAfter;
};

const Row kRows[] = {
    {"first use accepted", Mode::Required, true, Kept::Nothing, app::IDOK, true, Box::Question,
     Kept::TheServers},
    {"first use refused", Mode::Required, true, Kept::Nothing, app::IDCANCEL, false, Box::Question,
     Kept::Nothing},
    {"known and the same", Mode::Required, true, Kept::TheServers, app::IDOK, true, Box::None,
     Kept::TheServers},
    {"changed is refused", Mode::Required, true, Kept::Another, app::IDOK, false, Box::Changed,
     Kept::Another},
    {"preferred still verifies", Mode::Preferred, true, Kept::Another, app::IDOK, false,
     Box::Changed, Kept::Another},
    {"setting off: plain", Mode::Off, true, Kept::Nothing, app::IDOK, true, Box::None,
     Kept::Nothing},
    {"plain-only server refused", Mode::Required, false, Kept::Nothing, app::IDOK, false,
     Box::NoTls, Kept::Nothing},
    {"plain-only server, fallback allowed", Mode::Preferred, false, Kept::Nothing, app::IDOK, true,
     Box::None, Kept::Nothing},
};

class SecureConnectionTest : public LoginTest {
protected:
    void SetUp() override {
        LoginTest::SetUp();
        known_ = std::make_unique<tls::CKnownServers>(tls::CKnownServers::defaultPath());
    }

    // The known list as the row wants it, for all three of the service's ports.
    void Keep(const Service& service, Kept kept) {
        std::filesystem::remove(known_->path());
        for (uint16_t port : {service.auth, service.diskInfo, service.disk}) {
            std::string error;
            const std::string fingerprint =
                kept == Kept::TheServers ? service.fingerprint : kOtherFingerprint;
            if (kept != Kept::Nothing) {
                ASSERT_TRUE(known_->remember(tls::CKnownServers::key("127.0.0.1", port),
                                             fingerprint, error))
                    << error;
            }
        }
    }

    void ExpectKept(const Service& service, Kept kept, const std::string& where) {
        const auto found =
            known_->find(tls::CKnownServers::key("127.0.0.1", PortOf(service, where)));
        switch (kept) {
        case Kept::Nothing:
            EXPECT_FALSE(found) << where;
            break;
        case Kept::TheServers:
            EXPECT_EQ(found.value_or("none"), service.fingerprint) << where;
            break;
        case Kept::Another:
            EXPECT_EQ(found.value_or("none"), kOtherFingerprint) << where;
            break;
        }
    }

    static uint16_t PortOf(const Service& service, const std::string& where) {
        return where == "login"       ? service.auth
               : where == "disk list" ? service.diskInfo
                                      : service.disk;
    }

    // Every box since the last reset, as the row expects it (a refused plain-only disk server
    // is reported by the library's error, not by a box of the trust). Each connection is made in
    // this order: login, disk list, disk.
    void ExpectBox(const Row& row, const Service& service, const std::string& where) {
        const auto& boxes = boxes_->Boxes();
        Box expected = row.box == Box::NoTls && where == "disk" ? Box::None : row.box;
        if (row.box == Box::Question && row.answer == app::IDOK && where != "login") {
            // The login's server was accepted with this certificate: the host's other servers
            // showing the same one are not asked about again.
            expected = Box::None;
        }
        if (expected == Box::None) {
            EXPECT_TRUE(boxes.empty()) << where << ": " << BoxTexts().join("|").toStdString();
            return;
        }
        ASSERT_EQ(boxes.size(), 1u) << where << ": " << BoxTexts().join("|").toStdString();
        const app::MessageBoxRequest& box = boxes.front();
        const QString seen = QString::fromStdString(service.fingerprint);
        switch (expected) {
        case Box::Question:
            EXPECT_TRUE(box.HasCancel()) << where;
            EXPECT_EQ(box.Icon(), app::MB_ICONQUESTION) << where;
            EXPECT_TRUE(box.text.contains(seen)) << where << ": " << box.text.toStdString();
            break;
        case Box::Changed:
            EXPECT_EQ(box.Icon(), app::MB_ICONERROR) << where;
            EXPECT_TRUE(box.text.contains(seen)) << where << ": " << box.text.toStdString();
            EXPECT_TRUE(box.text.contains(QString::fromStdString(kOtherFingerprint))) << where;
            break;
        case Box::NoTls:
            EXPECT_EQ(box.Icon(), app::MB_ICONERROR) << where;
            EXPECT_TRUE(box.text.contains(QStringLiteral("보안 연결을 지원하지 않습니다")))
                << where << ": " << box.text.toStdString();
            break;
        case Box::None:
            break;
        }
    }

    // Boxes answered as the row says, recorded afresh.
    void AnswerBoxes(int answer) {
        ResetForNextRow();
        boxes_.reset();
        boxes_ = std::make_unique<app::CMessageBox::Recorder>(
            [answer](const app::MessageBoxRequest& box) {
                return box.HasCancel() ? answer : app::IDOK;
            });
    }

    void RunRow(const Row& row, const Service& service, const std::u16string& user,
                const QString& password) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(app::CSecuritySetting::Store(row.mode));
        Keep(service, row.kept);

        AnswerBoxes(row.answer);
        CTestLoginForm form;
        form.userName->setText(QString::fromStdU16String(user));
        form.password->setText(password);
        form.show();
        ASSERT_TRUE(form.Login({"127.0.0.1", service.auth}));
        ASSERT_TRUE(waitFor([&] { return !form.results.empty(); }));
        settleEvents();
        EXPECT_EQ(form.results,
                  std::vector<LPARAM>{row.connects ? app::kAuthSucceeded : app::kAuthFailed});
        ExpectBox(row, service, "login");
        ExpectKept(service, row.keptAfter, "login");

        AnswerBoxes(row.answer);
        ListOwner owner;
        bool loggedIn = false;
        const app::DiskInfoQuery query{user,
                                       u"@tavik.local",
                                       {"127.0.0.1", service.diskInfo},
                                       8000,
                                       app::CAccountGlobals::Instance().diskTicket};
        EXPECT_EQ(app::QueryDiskInfo(query, owner, loggedIn), row.connects);
        ExpectBox(row, service, "disk list");
        ExpectKept(service, row.keptAfter, "disk list");

        AnswerBoxes(row.answer);
        const std::u16string diskId =
            owner.received.empty() ? u"home" : owner.received.front().diskId;
        TAVIK_SESSION session = app::OpenSecureSession(u"127.0.0.1", service.disk, diskId, 10000,
                                                       row.mode, app::CServerTrust());
        EXPECT_EQ(session != nullptr, row.connects) << tavik_GetLastError();
        if (session != nullptr) {
            EXPECT_EQ(tavik_GetSessionSecurity(session),
                      row.tlsServer && row.mode != Mode::Off ? 1 : 0);
            tavik_DestroySession(session);
        }
        ExpectBox(row, service, "disk");
        ExpectKept(service, row.keptAfter, "disk");
    }

    std::unique_ptr<tls::CKnownServers> known_;
};

TEST_F(SecureConnectionTest, TrustOnFirstUseAndTheSettingOnEveryConnection) {
    const std::string tlsLog = folder_->file("tls.log");
    std::filesystem::create_directories(folder_->file("demo"));
    CChildProcess tlsServer({TAVIK_SERVER_PROGRAM, "--demo", folder_->file("demo"), "--port", "0",
                             "--demo-password", "pw"},
                            {{"TAVIK_DOMAIN", ""}}, std::nullopt, tlsLog);
    ASSERT_TRUE(tlsServer.started());
    const Service tls = announced(tlsLog, true);
    ASSERT_NE(tls.auth, 0) << fileText(tlsLog);

    const auto hashed = CChildProcess::run({TAVIK_SERVER_PROGRAM, "hash-password"}, {}, "pw\n");
    ASSERT_EQ(hashed.exitCode, 0) << hashed.err;
    std::filesystem::create_directories(folder_->file("disk"));
    ASSERT_TRUE(
        folder_->write("server.toml", "[server]\nlog_commands = false\n"
                                      "[[disk]]\nid = \"home\"\nroot = \"disk\"\n"
                                      "[[account]]\nuser = \"kim\"\ndomain = \"tavik.local\"\n"
                                      "password_hash = \"" +
                                          hashed.out.substr(0, hashed.out.find('\n')) +
                                          "\"\n[[account.disk]]\nid = \"home\"\n"));
    const std::string plainLog = folder_->file("plain.log");
    CChildProcess plainServer(
        {TAVIK_SERVER_PROGRAM, "--config", folder_->file("server.toml"), "--port", "0"}, {},
        std::nullopt, plainLog);
    ASSERT_TRUE(plainServer.started());
    const Service plain = announced(plainLog, false);
    ASSERT_NE(plain.auth, 0) << fileText(plainLog);

    for (const Row& row : kRows) {
        if (row.tlsServer) {
            RunRow(row, tls, u"demo", QStringLiteral("pw"));
        } else {
            RunRow(row, plain, u"kim", QStringLiteral("pw"));
        }
    }

    tlsServer.signal(SIGTERM);
    plainServer.signal(SIGTERM);
    EXPECT_EQ(tlsServer.wait(std::chrono::seconds(20)).exitCode, 0);
    EXPECT_EQ(plainServer.wait(std::chrono::seconds(20)).exitCode, 0);
}

// A fingerprint kept for one port vouches for the other ports of exactly that host only.
TEST(KnownServersTest, KeptForHostMatchesTheSameHostOnOtherPortsOnly) {
    CTempFolder folder;
    const tls::CKnownServers known(folder.file("known_servers"));
    std::string error;
    ASSERT_TRUE(known.remember("host.test:9553", kOtherFingerprint, error)) << error;
    ASSERT_TRUE(known.remember("[::1]:9553", kOtherFingerprint, error)) << error;
    std::string lower = kOtherFingerprint;
    std::replace(lower.begin(), lower.end(), 'B', 'b');
    const struct {
        const char* server;
        std::string fingerprint;
        bool kept;
    } rows[] = {
        {"host.test:9554", kOtherFingerprint, true},
        {"host.test:9554", lower, true},              // as people type it
        {"host.test:9553", kOtherFingerprint, false}, // its own entry is not "another port"
        {"host.tes:9554", kOtherFingerprint, false},
        {"ost.test:9554", kOtherFingerprint, false},
        {"[::1]:21", kOtherFingerprint, true},
        {"[::2]:21", kOtherFingerprint, false},
        {"host.test:9554", std::string(95, 'A'), false},
        {"host.test:9554", "not a fingerprint", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(known.keptForHost(row.server, row.fingerprint), row.kept)
            << row.server << " " << row.fingerprint;
    }
}

} // namespace
} // namespace tavik::test
