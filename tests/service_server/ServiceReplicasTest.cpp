// The service on several machines, as processes on loopback: two service replicas and three
// disk servers of the tavik-server program, all on one PostgreSQL store that the test starts.
#include "sdk/include/TavikSDK.h"
#include "server/CPasswordHash.h"
#include "tests/cli/CChildProcess.h"
#include "tests/service_server/CPostgresHarness.h"
#include "tests/service_server/CServiceHarness.h"
#include "tests/support/ProgramLog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace tavik::test {
namespace {

uint16_t portIn(const std::vector<std::string>& match, size_t group) {
    return match.size() > group ? static_cast<uint16_t>(std::stoi(match[group])) : 0;
}

// One tavik-server process on its own configuration file, logging into a file beside it.
class CProgram {
public:
    CProgram(const CTempFolder& folder, const std::string& name, const std::string& toml)
        : config_(folder.file(name + ".toml")), log_(folder.file(name + ".log")) {
        std::ofstream(config_) << toml;
        process_ = std::make_unique<CChildProcess>(
            std::vector<std::string>{TAVIK_SERVER_PROGRAM, "--config", config_},
            std::map<std::string, std::string>{}, std::nullopt, log_);
        const auto disk = awaitLine(log_, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
        diskPort_ = portIn(disk, 1);
    }
    // Waits for the service servers' line.
    void waitForServices() {
        const auto services = awaitLine(
            log_, std::regex(R"(authentication server on 127\.0\.0\.1:(\d+), disk-information )"
                             R"(server on 127\.0\.0\.1:(\d+))"));
        authPort_ = portIn(services, 1);
        diskInfoPort_ = portIn(services, 2);
    }
    void kill() { process_->signal(SIGKILL), process_->wait(std::chrono::seconds(10)); }
    int stop() {
        process_->signal(SIGTERM);
        return process_->wait(std::chrono::seconds(20)).exitCode;
    }
    const std::string& config() const { return config_; }
    std::string log() const { return fileText(log_); }
    uint16_t diskPort() const { return diskPort_; }
    uint16_t authPort() const { return authPort_; }
    uint16_t diskInfoPort() const { return diskInfoPort_; }

private:
    std::string config_;
    std::string log_;
    std::unique_ptr<CChildProcess> process_;
    uint16_t diskPort_ = 0;
    uint16_t authPort_ = 0;
    uint16_t diskInfoPort_ = 0;
};

std::string loginResult(uint16_t port, const std::string& password, const std::string& key = "",
                        std::string* ticket = nullptr) {
    CRawClient client;
    if (!client.connect(port)) {
        return "no connection";
    }
    TextPairs reply = handLogin(client, "alice@tavik.local", password, key);
    if (ticket != nullptr) {
        *ticket = reply["kid"];
    }
    return reply["result"];
}

// Uploads size bytes to path on a disk server; true when the server took them all.
bool upload(uint16_t port, const std::string& local, const std::string& remote, uint32_t size) {
    TAVIK_SESSION session = tavik_CreateSession(u"127.0.0.1", port, u"shared", nullptr, 20000);
    if (session == nullptr) {
        return false;
    }
    TAVIK_TRANSFER transfer{};
    transfer.pszSrcPath = local.c_str();
    transfer.pszDstPath = remote.c_str();
    transfer.dwEndPos = size;
    transfer.bTrunc = 1;
    const bool done = tavik_Upload(session, &transfer, nullptr) != 0;
    tavik_DestroySession(session);
    return done;
}

TEST(ServiceReplicasTest, TwoReplicasAndThreeDiskServersShareOneStore) {
    CPostgresHarness postgres;
    if (!postgres.installed()) {
        GTEST_SKIP() << "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/postgres)";
    }
    ASSERT_TRUE(postgres.running()) << postgres.error();
    CTempFolder folder;
    std::filesystem::create_directories(folder.file("shared"));
    std::filesystem::create_directories(folder.file("solo"));
    ASSERT_TRUE(folder.write("solo/hello.txt", "hello"));
    const std::string store = "[store]\npostgresql = \"" + postgres.uri() + "\"\n";
    const std::string server =
        "[server]\naddress = \"127.0.0.1\"\nport = 0\nlog_commands = false\n";
    // Two disk servers over one folder with a quota of 1 MiB, a third over another folder.
    const std::string shared = "[[disk]]\nid = \"shared\"\nroot = \"shared\"\nquota = 1048576\n";
    CProgram d1(folder, "d1", server + shared + store);
    CProgram d2(folder, "d2", server + shared + store);
    CProgram d3(folder, "d3", server + "[[disk]]\nid = \"solo\"\nroot = \"solo\"\n" + store);
    ASSERT_TRUE(d1.diskPort() && d2.diskPort() && d3.diskPort()) << d1.log() << d3.log();

    // The account lives in replica A's file only; B serves it from the store.
    const auto hash = server::CPasswordHash::hash("pw");
    ASSERT_TRUE(hash);
    const std::string service = "[service]\nauth_port = 0\ndiskinfo_port = 0\n"
                                "installation_key = \"installation.key\"\n";
    const auto disk = [](const char* id, uint16_t port) {
        return "[[account.disk]]\nid = \"" + std::string(id) +
               "\"\nserver = \"127.0.0.1:" + std::to_string(port) + "\"\n";
    };
    // A logs its events (the store's failure among them).
    const std::string logging = std::regex_replace(server, std::regex("false"), "true");
    CProgram a(folder, "a",
               logging + service + store +
                   "[[account]]\nuser = \"alice\"\ndomain = \"tavik.local\"\n" +
                   "password_hash = \"" + *hash + "\"\n" + disk("shared", d1.diskPort()) +
                   disk("solo", d3.diskPort()));
    a.waitForServices();
    CProgram b(folder, "b", server + service + store);
    b.waitForServices();
    ASSERT_TRUE(a.authPort() && b.authPort()) << a.log() << b.log();

    // Log in at A, list the disks at B with A's ticket: each disk names its own server.
    std::string ticket;
    ASSERT_EQ(loginResult(a.authPort(), "pw", "", &ticket), "0");
    TextPairs list = handDiskInfo(b.diskInfoPort(), "alice@tavik.local", "127.0.0.1", ticket);
    ASSERT_EQ(list["inform"], "GetDiskInfo") << list["errmsg"];
    EXPECT_NE(list["tavikinfo"].find("|127.0.0.1:" + std::to_string(d1.diskPort()) + "|"),
              std::string::npos);
    EXPECT_NE(list["tavikinfo"].find("|127.0.0.1:" + std::to_string(d3.diskPort()) + "|"),
              std::string::npos);
    EXPECT_EQ(handDiskInfo(a.diskInfoPort(), "alice@tavik.local", "127.0.0.1", ticket)["inform"],
              "error")
        << "the ticket was spent at B";

    // A disk added by command through B's configuration is listed by A.
    const auto added =
        CChildProcess::run({TAVIK_SERVER_PROGRAM, "account", "--config", b.config(), "disk-add",
                            "alice@tavik.local", "extra", "--server", "127.0.0.9:9554"},
                           {});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    ASSERT_EQ(loginResult(a.authPort(), "pw", "", &ticket), "0");
    list = handDiskInfo(a.diskInfoPort(), "alice@tavik.local", "127.0.0.1", ticket);
    EXPECT_NE(list["tavikinfo"].find("|127.0.0.9:9554|alice|"), std::string::npos)
        << list["tavikinfo"];

    // A key made by the command for A's configuration is accepted once, at whichever replica.
    const auto issued = CChildProcess::run(
        {TAVIK_SERVER_PROGRAM, "session-key", "alice@tavik.local", "--config", a.config()}, {});
    ASSERT_EQ(issued.exitCode, 0) << issued.err;
    const std::string key = issued.out.substr(0, issued.out.find('\n'));
    EXPECT_EQ(loginResult(a.authPort(), "", key), "0");
    EXPECT_EQ(loginResult(b.authPort(), "", key), "1");

    // Four uploads of 300 KiB in parallel, two through each disk server of the shared folder:
    // at most three fit in its 1 MiB, and the folder never holds more.
    const uint32_t size = 300 * 1024;
    ASSERT_TRUE(folder.write("up.bin", std::string(size, 'x')));
    std::atomic<int> done{0};
    std::vector<std::thread> uploads;
    for (int i = 0; i < 4; ++i) {
        uploads.emplace_back([&, i] {
            const uint16_t port = i % 2 == 0 ? d1.diskPort() : d2.diskPort();
            done += upload(port, folder.file("up.bin"), "/shared/f" + std::to_string(i), size);
        });
    }
    for (std::thread& upload : uploads) {
        upload.join();
    }
    uintmax_t used = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.file("shared"))) {
        used += entry.file_size();
    }
    EXPECT_GE(done.load(), 1);
    EXPECT_LE(done.load(), 3);
    EXPECT_LE(used, 1048576u);

    // A replica killed during a login loses nothing: A serves the account, its disks and a new
    // key as before.
    {
        CRawClient client;
        ASSERT_TRUE(client.connect(b.authPort()));
        std::thread login([&] { handLogin(client, "alice@tavik.local", "pw"); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        b.kill();
        login.join();
    }
    ASSERT_EQ(loginResult(a.authPort(), "pw", "", &ticket), "0");
    list = handDiskInfo(a.diskInfoPort(), "alice@tavik.local", "127.0.0.1", ticket);
    EXPECT_EQ(list["inform"], "GetDiskInfo");

    // The store stopped: logins fail with the failed-login answer and a log line, a disk
    // session already open goes on; the store back: logins work again by themselves.
    TAVIK_SESSION solo = tavik_CreateSession(u"127.0.0.1", d3.diskPort(), u"solo", nullptr, 20000);
    ASSERT_NE(solo, nullptr);
    ASSERT_TRUE(postgres.stop());
    EXPECT_EQ(loginResult(a.authPort(), "pw"), "1");
    EXPECT_NE(a.log().find("the store is unavailable"), std::string::npos) << a.log();
    EXPECT_EQ(tavik_GetFileSize(u"/solo/hello.txt", solo), 5);
    ASSERT_TRUE(postgres.start()) << postgres.error();
    EXPECT_EQ(loginResult(a.authPort(), "pw"), "0");
    EXPECT_EQ(tavik_GetFileSize(u"/solo/hello.txt", solo), 5);
    tavik_DestroySession(solo);

    for (CProgram* program : {&a, &d1, &d2, &d3}) {
        EXPECT_EQ(program->stop(), 0);
    }
}

} // namespace
} // namespace tavik::test
