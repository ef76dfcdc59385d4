// The tavik-server program as an administrator and a first-time user meet it: session keys for a
// --demo server, ports that are taken, the configuration check.
#include "sdk/include/TavikSDK.h"
#include "server/CPasswordHash.h"
#include "tests/cli/CChildProcess.h"
#include "tests/service_server/CServiceHarness.h"
#include "tests/support/ProgramLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tavik::test {
namespace {

size_t countOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// True once the program's stderr file holds what count times (bounded: 20 s).
bool awaitCount(const std::string& file, const std::string& what, size_t count) {
    for (int tries = 0; tries < 400; ++tries) {
        if (countOf(fileText(file), what) >= count) {
            return countOf(fileText(file), what) == count;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// A loopback port held by this test for as long as the object lives.
class CTakenPort {
public:
    CTakenPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~CTakenPort() { ::close(fd_); }
    CTakenPort(const CTakenPort&) = delete;
    CTakenPort& operator=(const CTakenPort&) = delete;
    std::string port() const { return std::to_string(port_); }

private:
    int fd_;
    uint16_t port_ = 0;
};

TEST(ServerAdminProgram, SessionKeyServesARunningDemo) {
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("disk")));
    ASSERT_TRUE(folder.write("disk/hello.txt", "hello"));
    const std::map<std::string, std::string> env{{"XDG_STATE_HOME", folder.file("state")},
                                                 {"TAVIK_DOMAIN", ""}};
    const std::string log = folder.file("server.log");
    CChildProcess demo(
        {TAVIK_SERVER_PROGRAM, "--demo", folder.file("disk"), "--port", "0", "--quiet"}, env,
        std::nullopt, log);
    const auto ports = awaitLine(log, std::regex(R"(authentication server on 127\.0\.0\.1:(\d+))"));
    ASSERT_EQ(ports.size(), 2u) << fileText(log);

    const auto issued = CChildProcess::run(
        {TAVIK_SERVER_PROGRAM, "session-key", "demo@tavik.local", "--demo", folder.file("disk")},
        env);
    ASSERT_EQ(issued.exitCode, 0) << issued.err;
    const std::string key = issued.out.substr(0, issued.out.find('\n'));
    ASSERT_EQ(key.size(), 43u) << issued.out;
    // The key opens the running demo once; the demo's state stays out of the disk it serves.
    for (const char* expected : {"0", "1"}) {
        CRawClient client;
        ASSERT_TRUE(client.connect(static_cast<uint16_t>(std::stoi(ports[1]))));
        EXPECT_EQ(handLogin(client, "demo@tavik.local", "", key)["result"], expected);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.file("disk")),
                            std::filesystem::directory_iterator()),
              1);
    // Only the demo's own account gets keys.
    EXPECT_EQ(CChildProcess::run({TAVIK_SERVER_PROGRAM, "session-key", "kim@tavik.local", "--demo",
                                  folder.file("disk")},
                                 env)
                  .exitCode,
              1);
    demo.signal(SIGTERM);
    EXPECT_EQ(demo.wait(std::chrono::seconds(20)).exitCode, 0);
    // Nothing outlives the demo.
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("state/tavik-server")));
}

TEST(ServerAdminProgram, ATakenPortIsNamedBeforeAnyIsAnnounced) {
    CTempFolder folder;
    const CTakenPort taken;
    const std::vector<std::vector<std::string>> cases = {
        {"--port", taken.port()},
        {"--port", "0", "--auth-port", taken.port()},
        {"--port", "0", "--diskinfo-port", taken.port()},
    };
    for (const auto& ports : cases) {
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM, "--demo", folder.path(),
                                      "--demo-password", "pw"};
        argv.insert(argv.end(), ports.begin(), ports.end());
        const auto outcome = CChildProcess::run(argv, {{"XDG_STATE_HOME", folder.file("state")}});
        EXPECT_EQ(outcome.exitCode, 1) << ports[ports.size() - 2];
        EXPECT_EQ(outcome.err.find("listening on"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find(" server on "), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find("port " + taken.port() + " is taken"), std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find("--port 0"), std::string::npos) << outcome.err;
    }
}

// "check" reads a file as a start would and names every problem as file:line: message.
TEST(ServerAdminProgram, CheckNamesEveryProblemWithItsLine) {
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("disk")));
    struct Row {
        const char* text;
        std::vector<std::string> extra;
        int exitCode;
        std::vector<std::string> lines; // each expected as "<file>:<line>: <message>"
    };
    const std::vector<Row> rows = {
        {"[server]\nport = 0\n[[disk]]\nid = \"d\"\nroot = \"disk\"\n", {}, 0, {}},
        {"[server]\nprot = 1\nmax_open_files = 0\n"
         "[[disk]]\nid = \"d\"\nroot = \"nowhere\"\nquota = -1\n"
         "[[disk]]\nid = \"e\"\nroot = \"disk\"\nsize = 1\n",
         {},
         1,
         {":2: unknown key \"prot\" in [server]", ":3: max_open_files must be an integer",
          ":6: disk root is not a folder", ":7: quota must be an integer",
          ":11: unknown key \"size\" in [[disk]]"}},
        {"[server]\nport = 0\nlog_commands = yes\n", {}, 1, {":3: "}},
        {"[server]\naddress = \"0.0.0.0\"\n[[disk]]\nid = \"d\"\nroot = \"disk\"\n",
         {},
         1,
         {"disk \"d\" has no password"}},
        {"[server]\naddress = \"0.0.0.0\"\n[[disk]]\nid = \"d\"\nroot = \"disk\"\n",
         {"--allow-open"},
         0,
         {}},
        {"[[disk]]\nid = \"d\"\nroot = \"disk\"\n[[account]]\nuser = \"a\"\ndomain = \"x\"\n"
         "[[account.disk]]\nid = \"gone\"\n",
         {},
         1,
         {"account a@x: no [[disk]] with id gone"}},
    };
    int index = 0;
    for (const Row& row : rows) {
        const std::string name = "c" + std::to_string(index++) + ".toml";
        ASSERT_TRUE(folder.write(name, row.text));
        std::vector<std::string> argv{TAVIK_SERVER_PROGRAM, "check", "--config", folder.file(name)};
        argv.insert(argv.end(), row.extra.begin(), row.extra.end());
        const auto outcome = CChildProcess::run(argv, {});
        EXPECT_EQ(outcome.exitCode, row.exitCode) << name << "\n" << outcome.err;
        for (const std::string& line : row.lines) {
            const std::string expected = line.front() == ':' ? folder.file(name) + line : line;
            EXPECT_NE(outcome.err.find(expected), std::string::npos)
                << name << ": " << expected << "\n"
                << outcome.err;
        }
        if (row.exitCode == 1) {
            // Nothing but the problems, each on a line of its own.
            EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'),
                      std::max<long>(1, static_cast<long>(row.lines.size())))
                << outcome.err;
        }
    }
}

// SIGHUP: a changed password applies to new logins while a connection logged in before goes on;
// a file that fails the check is refused and the running configuration stays; a changed port
// is named as waiting for a restart.
TEST(ServerAdminProgram, ReloadChangesPasswordsForNewLoginsAndRefusesABadFile) {
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("disk")));
    const auto oldHash = server::CPasswordHash::hash("old secret");
    const auto newHash = server::CPasswordHash::hash("new secret");
    ASSERT_TRUE(oldHash && newHash);
    const auto configText = [&](const std::string& hash, const std::string& extra) {
        return "[server]\nport = 0\n" + extra +
               "[service]\nauth_port = 0\ndiskinfo_port = 0\n"
               "[[disk]]\nid = \"home\"\nroot = \"disk\"\npassword = \"" +
               hash +
               "\"\n[[account]]\nuser = \"alice\"\ndomain = \"tavik.local\"\n"
               "password_hash = \"" +
               hash + "\"\n[[account.disk]]\nid = \"home\"\n";
    };
    ASSERT_TRUE(folder.write("server.toml", configText(*oldHash, "")));
    const std::string log = folder.file("server.log");
    CChildProcess program({TAVIK_SERVER_PROGRAM, "--config", folder.file("server.toml")}, {},
                          std::nullopt, log);
    const auto disk = awaitLine(log, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    const auto auth = awaitLine(log, std::regex(R"(authentication server on 127\.0\.0\.1:(\d+))"));
    ASSERT_EQ(disk.size(), 2u) << fileText(log);
    ASSERT_EQ(auth.size(), 2u) << fileText(log);
    const auto diskPort = static_cast<uint16_t>(std::stoi(disk[1]));
    const auto authPort = static_cast<uint16_t>(std::stoi(auth[1]));
    const auto diskLogin = [&](const std::string& password) {
        const std::u16string pass(password.begin(), password.end());
        TAVIK_SESSION session =
            tavik_CreateSession(u"127.0.0.1", diskPort, u"home", pass.c_str(), 10000);
        const int error = session != nullptr ? 0 : tavik_GetLastError();
        if (session != nullptr) {
            tavik_DestroySession(session);
        }
        return error;
    };
    const auto accountLogin = [&](const std::string& password) {
        CRawClient client;
        return client.connect(authPort) ? handLogin(client, "alice@tavik.local", password)["result"]
                                        : std::string("no connection");
    };
    TAVIK_SESSION before =
        tavik_CreateSession(u"127.0.0.1", diskPort, u"home", u"old secret", 10000);
    ASSERT_NE(before, nullptr);

    ASSERT_TRUE(folder.write("server.toml", configText(*newHash, "")));
    program.signal(SIGHUP);
    ASSERT_FALSE(awaitLine(log, std::regex("configuration reloaded")).empty()) << fileText(log);
    EXPECT_EQ(diskLogin("new secret"), 0);
    EXPECT_EQ(accountLogin("new secret"), "0");
    EXPECT_EQ(diskLogin("old secret"), TAVIK_ERR_WRONG_PASSWD);
    EXPECT_EQ(accountLogin("old secret"), "1");
    // The connection logged in before the reload was not dropped.
    ASSERT_TRUE(folder.write("disk/a.txt", "abc"));
    EXPECT_EQ(tavik_GetFileSize(u"/home/a.txt", before), 3);

    // A file with a mistake is refused with its line; the running configuration stays.
    ASSERT_TRUE(folder.write("server.toml", configText(*oldHash, "max_open_file = 3\n")));
    program.signal(SIGHUP);
    EXPECT_FALSE(
        awaitLine(log, std::regex(R"(reload refused[^\n]*server\.toml:3: unknown key)")).empty())
        << fileText(log);
    EXPECT_EQ(diskLogin("new secret"), 0);
    EXPECT_EQ(accountLogin("new secret"), "0");

    // A new port waits for a restart; the rest applies.
    ASSERT_TRUE(folder.write("server.toml", configText(*oldHash, "address = \"127.0.0.1\"\n")));
    program.signal(SIGHUP);
    EXPECT_FALSE(awaitLine(log, std::regex(R"(\[server\] address changed: it takes effect at the )"
                                           R"(next restart)"))
                     .empty())
        << fileText(log);
    // ... and the rest of that file is in place.
    EXPECT_TRUE(awaitCount(log, "configuration reloaded", 2)) << fileText(log);
    EXPECT_EQ(diskLogin("old secret"), 0);
    tavik_DestroySession(before);
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
}

// The service manager's notify socket, owned by the test: the notices a Type=notify unit gets.
class CNotifySocket {
public:
    explicit CNotifySocket(const std::string& path)
        : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)), path_(path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~CNotifySocket() { ::close(fd_); }
    CNotifySocket(const CNotifySocket&) = delete;
    CNotifySocket& operator=(const CNotifySocket&) = delete;
    bool bound() const { return bound_; }
    // The next datagram within waitMs, or "".
    std::string next(int waitMs = 20000) {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, waitMs) != 1) {
            return {};
        }
        char buffer[16384];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

private:
    int fd_;
    std::string path_;
    bool bound_ = false;
};

// The first line of a notice ("READY=1", "RELOADING=1", ...).
std::string firstLine(const std::string& notice) {
    return notice.substr(0, notice.find('\n'));
}

TEST(ServerAdminProgram, ServiceManagerIsToldReadyReloadingAndStopping) {
    CTempFolder folder;
    ASSERT_TRUE(
        folder.write("server.toml", "[server]\nport = 0\n[[disk]]\nid = \"d\"\nroot = \".\"\n"));
    CNotifySocket notify(folder.file("notify"));
    ASSERT_TRUE(notify.bound());
    const std::string log = folder.file("server.log");
    CChildProcess program({TAVIK_SERVER_PROGRAM, "--config", folder.file("server.toml")},
                          {{"NOTIFY_SOCKET", folder.file("notify")}}, std::nullopt, log);
    const std::string ready = notify.next();
    EXPECT_EQ(firstLine(ready), "READY=1");
    // Ready only once the listener is up: the line naming its port came first.
    EXPECT_NE(fileText(log).find("listening on"), std::string::npos);
    EXPECT_NE(ready.find("STATUS=serving on 127.0.0.1:"), std::string::npos) << ready;
    program.signal(SIGHUP);
    const std::string reloading = notify.next();
    EXPECT_EQ(firstLine(reloading), "RELOADING=1");
    EXPECT_NE(reloading.find("MONOTONIC_USEC="), std::string::npos);
    EXPECT_EQ(notify.next(), "READY=1\nSTATUS=configuration reloaded");
    // A refused reload still ends with READY=1: the server keeps serving.
    ASSERT_TRUE(folder.write("server.toml", "[server]\nport = x\n"));
    program.signal(SIGHUP);
    EXPECT_EQ(firstLine(notify.next()), "RELOADING=1");
    EXPECT_EQ(notify.next(), "READY=1\nSTATUS=reload refused, configuration kept");
    program.signal(SIGTERM);
    EXPECT_EQ(notify.next(), "STOPPING=1");
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
}

// One session against a program with an account, logged as the settings say: a failed account
// login, one of an unknown name, a good one, the disk list it allows, the disk opened with the
// listed capability, a file's size asked and two of its bytes downloaded, and a packet that is
// not one. The program runs in folder, under wrapper (a command line it is appended to) with env
// added to the environment. Its whole stderr once it has stopped.
std::string accountSessionLog(CTempFolder& folder, const std::string& settings,
                              const std::vector<std::string>& wrapper = {},
                              const std::map<std::string, std::string>& env = {}) {
    EXPECT_TRUE(std::filesystem::create_directories(folder.file("disk")));
    EXPECT_TRUE(folder.write("disk/a.txt", "abc"));
    const auto hash = server::CPasswordHash::hash("secret");
    EXPECT_TRUE(hash.has_value());
    EXPECT_TRUE(folder.write(
        "server.toml", "[server]\nport = 0\n" + settings +
                           "[service]\nauth_port = 0\ndiskinfo_port = 0\n"
                           "[[disk]]\nid = \"home\"\nroot = \"disk\"\ncapability_only = true\n"
                           "[[account]]\nuser = \"alice\"\ndomain = \"tavik.local\"\n"
                           "password_hash = \"" +
                           hash.value_or("") + "\"\n[[account.disk]]\nid = \"home\"\n"));
    const std::string log = folder.file("server.log");
    std::vector<std::string> command = wrapper;
    for (const std::string& argument :
         {std::string(TAVIK_SERVER_PROGRAM), std::string("--config"), folder.file("server.toml")}) {
        command.push_back(argument);
    }
    CChildProcess program(command, env, std::nullopt, log);
    const auto disk = awaitLine(log, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    const auto services =
        awaitLine(log, std::regex(R"(authentication server on 127\.0\.0\.1:(\d+), )"
                                  R"(disk-information server on 127\.0\.0\.1:(\d+))"));
    EXPECT_EQ(disk.size(), 2u) << fileText(log);
    EXPECT_EQ(services.size(), 3u) << fileText(log);
    if (disk.size() == 2 && services.size() == 3) {
        const auto port = [](const std::string& text) {
            return static_cast<uint16_t>(std::stoi(text));
        };
        // The failures come from addresses of their own, so that the throttle does not delay
        // the good login.
        CRawClient client;
        EXPECT_TRUE(client.connect(port(services[1]), "127.0.0.3"));
        EXPECT_EQ(handLogin(client, "alice@tavik.local", "wrong")["result"], "1");
        CRawClient stranger;
        EXPECT_TRUE(stranger.connect(port(services[1]), "127.0.0.4"));
        EXPECT_EQ(handLogin(stranger, "nobody@tavik.local", "wrong")["result"], "1");
        CRawClient again;
        EXPECT_TRUE(again.connect(port(services[1])));
        const TextPairs login = handLogin(again, "alice@tavik.local", "secret");
        EXPECT_EQ(login.count("kid") ? login.at("result") : "no reply", "0");
        TextPairs list =
            handDiskInfo(port(services[2]), "alice@tavik.local", "127.0.0.1", login.at("kid"));
        const std::string capability = list["tavikinfo"].substr(0, list["tavikinfo"].find('|'));
        const std::u16string id(capability.begin(), capability.end());
        TAVIK_SESSION session =
            tavik_CreateSession(u"127.0.0.1", port(disk[1]), id.c_str(), nullptr, 10000);
        EXPECT_NE(session, nullptr) << tavik_GetLastError();
        if (session != nullptr) {
            EXPECT_EQ(tavik_GetFileSize(u"/home/a.txt", session), 3);
            const std::string got = folder.file("got.txt");
            TAVIK_TRANSFER transfer{};
            transfer.pszSrcPath = "/home/a.txt";
            transfer.pszDstPath = got.c_str();
            transfer.dwStartPos = 1;
            transfer.dwEndPos = 3;
            transfer.bTrunc = 1;
            EXPECT_TRUE(tavik_Download(session, &transfer, nullptr));
            tavik_DestroySession(session);
        }
        CRawClient garbage;
        EXPECT_TRUE(garbage.connect(port(disk[1])) && garbage.send(Bytes(16, 0)));
        // The server closes it once its lines are written.
        EXPECT_FALSE(garbage.silentFor(20000));
    }
    // Every line is written by the time the program has ended.
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)).exitCode, 0);
    return fileText(log);
}

// The account is named on every line that concerns one: logins (also failed ones, with the name
// given), disk lists, and the commands on an account's disk. Debug lines add each request with
// its arguments and result, connections opened and closed, and why a packet was refused.
TEST(ServerAdminProgram, LogLinesNameTheAccountAndDebugAddsTheDetails) {
    // The authentication server names the client by its address alone.
    const std::string client = R"("client":"127\.0\.0\.\d(:\d+)?",)";
    struct Row {
        const char* settings;
        std::string pattern;
        bool present;
    };
    const Row rows[] = {
        {"log_format = \"json\"\n",
         R"("level":"warning",)" + client +
             R"("account":"alice@tavik\.local","message":"login of alice@tavik\.local failed)",
         true},
        {"log_format = \"json\"\n",
         R"("level":"warning",)" + client +
             R"("account":"nobody@tavik\.local","message":"login of nobody@tavik\.local failed)",
         true},
        {"log_format = \"json\"\n",
         client + R"("account":"alice@tavik\.local","message":"login of alice@tavik\.local"\})",
         true},
        {"log_format = \"json\"\n",
         R"("level":"info",)" + client +
             R"("account":"alice@tavik\.local","command":"GetDiskInfo","result":0,)",
         true},
        {"log_format = \"json\"\n",
         R"("level":"info",)" + client +
             R"("disk":"home","account":"alice@tavik\.local","command":"[a-z]+",)"
             R"("path":"/home/a\.txt","result":0,)",
         true},
        {"log_format = \"json\"\n",
         R"("disk":"home","account":"alice@tavik\.local","command":"download",)"
         R"("path":"/home/a\.txt","result":0,"bytes":2,)",
         true},
        {"log_level = \"debug\"\n",
         R"(127\.0\.0\.1:\d+ \[home\] debug: [a-z]+ (path|filename)="/home/a\.txt"[^\n]* -> 0\n)",
         true},
        {"log_level = \"debug\"\n",
         R"(\[-\] debug: GetDiskInfo username="alice@tavik\.local" ticket=given -> 0 \(1 disks\))",
         true},
        {"log_level = \"debug\"\n", R"(\[-\] debug: connection opened \(plain\)\n)", true},
        {"log_level = \"debug\"\n",
         R"(\[home\] debug: connection closed after \d+ requests \(plain, large files\)\n)", true},
        {"log_level = \"debug\"\n", R"(\[-\] debug: packet refused: [a-z ]+\n)", true},
        {"log_level = \"debug\"\n", R"(\[home\] debug: setuser id="home" largefile=1)", true},
        // A capability's MAC is its secret: never written, not even in a debug line.
        {"log_level = \"debug\"\n", R"([0-9a-f]{32})", false},
        // At the default level the same session shows none of them.
        {"", R"(debug: )", false},
    };
    std::map<std::string, std::string> logs;
    for (const Row& row : rows) {
        if (!logs.count(row.settings)) {
            CTempFolder folder;
            logs[row.settings] = accountSessionLog(folder, row.settings);
        }
        const std::string& log = logs[row.settings];
        EXPECT_EQ(std::regex_search(log, std::regex(row.pattern)), row.present)
            << row.pattern << "\n"
            << log;
    }
}

// The fields of one journal datagram: "KEY=value" lines, or KEY, a newline, a 64-bit
// little-endian length and that many bytes for a value that holds a newline.
std::map<std::string, std::string> journalFields(const std::string& datagram) {
    std::map<std::string, std::string> fields;
    size_t at = 0;
    while (at < datagram.size()) {
        const size_t end = datagram.find('\n', at);
        if (end == std::string::npos) {
            break;
        }
        const std::string line = datagram.substr(at, end - at);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            fields[line.substr(0, equals)] = line.substr(equals + 1);
            at = end + 1;
            continue;
        }
        uint64_t length = 0;
        if (end + 1 + 8 > datagram.size()) {
            break;
        }
        for (int i = 7; i >= 0; --i) {
            length = length << 8 | static_cast<unsigned char>(datagram[end + 1 + i]);
        }
        fields[line] = datagram.substr(end + 9, length);
        at = end + 9 + length + 1;
    }
    return fields;
}

// The full name of a program found on PATH, or the name itself.
std::string onPath(const std::string& name) {
    std::istringstream folders(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string file = folder + "/" + name;
        if (::access(file.c_str(), X_OK) == 0) {
            return file;
        }
    }
    return name;
}

// Started by the service manager with stderr connected to the journal, the program sends its
// lines to the journal socket with structured fields. The test owns that socket: the program
// runs in a mount namespace of its own whose /run is a folder of the test's.
TEST(ServerAdminProgram, TheJournalGetsStructuredFields) {
    const std::string program = onPath("unshare");
    const std::vector<std::string> unshare = {program, "-m", "--propagation", "private", "--"};
    std::vector<std::string> probe = unshare;
    probe.push_back("true");
    if (CChildProcess::run(probe, {}).exitCode != 0) {
        GTEST_SKIP() << "a private mount namespace is not permitted here (needs root)";
    }
    CTempFolder folder;
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("run/systemd/journal")));
    CNotifySocket journal(folder.file("run/systemd/journal/socket"));
    ASSERT_TRUE(journal.bound());
    // The service manager names the stream it connected to stderr by device and inode; the
    // program's stderr file keeps its inode when it is opened again.
    ASSERT_TRUE(folder.write("server.log", ""));
    struct stat status {};
    ASSERT_EQ(::stat(folder.file("server.log").c_str(), &status), 0);
    const std::string stream = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    // The program's writes wait while the socket's short queue is full: read as they come.
    std::atomic<bool> stopped{false};
    std::vector<std::string> datagrams;
    std::thread reader([&] {
        for (bool last = false; !last;) {
            last = stopped;
            for (std::string datagram = journal.next(last ? 0 : 50); !datagram.empty();
                 datagram = journal.next(0)) {
                datagrams.push_back(datagram);
            }
        }
    });
    std::vector<std::string> wrapper = unshare;
    for (const char* part : {"/bin/sh", "-c", "mount --bind \"$0\" /run && exec \"$@\""}) {
        wrapper.push_back(part);
    }
    wrapper.push_back(folder.file("run"));
    const std::string err = accountSessionLog(folder, "", wrapper, {{"JOURNAL_STREAM", stream}});
    stopped = true;
    reader.join();

    std::vector<std::map<std::string, std::string>> records;
    for (const std::string& datagram : datagrams) {
        records.push_back(journalFields(datagram));
    }
    // Each row: fields one record must have (a value is a pattern).
    using Fields = std::map<std::string, std::string>;
    const std::string client = R"(127\.0\.0\.1:\d+)";
    const Fields rows[] = {
        {{"MESSAGE", R"(.*download "/home/a\.txt" -> 0 \(\d+ ms\))"},
         {"PRIORITY", "6"},
         {"TAVIK_CLIENT", client},
         {"TAVIK_DISK", "home"},
         {"TAVIK_ACCOUNT", R"(alice@tavik\.local)"},
         {"TAVIK_COMMAND", "download"},
         {"TAVIK_PATH", R"(/home/a\.txt)"},
         {"TAVIK_RESULT", "0"},
         {"TAVIK_BYTES", "2"},
         {"TAVIK_MS", R"(\d+)"}},
        {{"MESSAGE", R"(.*login of nobody@tavik\.local failed.*)"},
         {"PRIORITY", "4"},
         {"TAVIK_CLIENT", R"(127\.0\.0\.4)"},
         {"TAVIK_ACCOUNT", R"(nobody@tavik\.local)"}},
        {{"MESSAGE", R"(.*GetDiskInfo -> 0 .*)"},
         {"PRIORITY", "6"},
         {"TAVIK_ACCOUNT", R"(alice@tavik\.local)"},
         {"TAVIK_COMMAND", "GetDiskInfo"},
         {"TAVIK_RESULT", "0"}},
        {{"MESSAGE", R"(.*closed: malformed packet)"}, {"PRIORITY", "4"}, {"TAVIK_CLIENT", client}},
    };
    for (const Fields& row : rows) {
        const bool found = std::any_of(records.begin(), records.end(), [&](const Fields& record) {
            return std::all_of(row.begin(), row.end(), [&](const auto& field) {
                const auto value = record.find(field.first);
                return value != record.end() &&
                       std::regex_match(value->second, std::regex(field.second));
            });
        });
        EXPECT_TRUE(found) << row.at("MESSAGE") << " among " << datagrams.size()
                           << " datagrams; stderr:\n"
                           << err;
    }
    // What went to the journal is not written to stderr as well.
    EXPECT_EQ(err.find("download"), std::string::npos) << err;
}

} // namespace
} // namespace tavik::test
