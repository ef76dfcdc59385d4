// The tavik program against the reference server, both run as programs the way a user runs
// them: every command, its exit status and its messages, a folder round trip with Korean names,
// existing destinations (skip, resume, overwrite), and the error paths.
#if defined(TAVIK_CLI_PROGRAM) && defined(TAVIK_SERVER_PROGRAM)

#include "tests/cli/CChildProcess.h"
#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackIpv6.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tavik::test {
namespace {

using Outcome = CChildProcess::Outcome;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string randomBytes(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// Every entry below root as "relative path" -> content ("/" for a folder).
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        tree[relative] = entry.is_directory() ? std::string("/") : readAll(entry.path());
    }
    return tree;
}

// A fresh folder for one test, removed with everything in it afterwards.
class CScratchFolder {
public:
    CScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/tavik-cli-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~CScratchFolder() {
        std::error_code ec;
        if (!m_path.empty()) {
            fs::remove_all(m_path, ec);
        }
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

class ClientServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        m_disk = m_folder.path() / "disk";
        m_local = m_folder.path() / "local";
        fs::create_directories(m_disk);
        fs::create_directories(m_local);
        const std::string log = (m_folder.path() / "server.log").string();
        m_server = std::make_unique<CChildProcess>(
            std::vector<std::string>{TAVIK_SERVER_PROGRAM, "--demo", m_disk.string(), "--port", "0",
                                     "--quiet"},
            std::map<std::string, std::string>{}, std::nullopt, log);
        ASSERT_TRUE(m_server->started());
        m_port = waitForPort(log);
        ASSERT_GT(m_port, 0) << readAll(log);
    }

    void TearDown() override {
        if (m_server) {
            m_server->signal(SIGTERM);
            const Outcome stopped = m_server->wait(std::chrono::seconds(10));
            EXPECT_EQ(stopped.exitCode, 0) << "the server did not stop cleanly";
        }
    }

    // The port the server reports once it listens; 0 when it does not within 10 s.
    static int waitForPort(const std::string& log) {
        const std::string marker = "listening on 127.0.0.1:";
        for (int tries = 0; tries < 200; ++tries) {
            const std::string text = readAll(log);
            const size_t at = text.find(marker);
            if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
                return std::atoi(text.c_str() + at + marker.size());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }

    // Runs tavik with the server and disk in the environment, standard input not a terminal.
    Outcome tavik(std::vector<std::string> args, const std::string& disk = "demo",
                  std::optional<std::string> input = std::nullopt) {
        args.insert(args.begin(), TAVIK_CLI_PROGRAM);
        return CChildProcess::run(args,
                                  {{"TAVIK_SERVER", "127.0.0.1:" + std::to_string(m_port)},
                                   {"TAVIK_DISK", disk},
                                   {"TAVIK_PASSWORD", ""},
                                   {"TAVIK_DEVICE_ROOT", ""},
                                   {"TAVIK_ACP", "CP949"},
                                   {"XDG_CONFIG_HOME", (m_folder.path() / "config").string()}},
                                  input);
    }

    std::string local(const std::string& relative) const { return (m_local / relative).string(); }

    CScratchFolder m_folder;
    fs::path m_disk;
    fs::path m_local;
    std::unique_ptr<CChildProcess> m_server;
    int m_port = 0;
};

#define EXPECT_RUN(outcome, code)                                                                  \
    EXPECT_EQ((outcome).exitCode, code)                                                            \
        << "stdout: " << (outcome).out << "\nstderr: " << (outcome).err

TEST_F(ClientServerTest, LookingCommands) {
    writeAll(m_disk / "b.txt", "bravo");
    writeAll(m_disk / "a.txt", "alpha!");
    fs::create_directories(m_disk / "zeta");
    fs::create_directories(m_disk / "docs");
    writeAll(m_disk / "docs" / "inner.txt", "x");

    const Outcome ls = tavik({"ls"});
    EXPECT_RUN(ls, 0);
    EXPECT_EQ(ls.out, "docs/\nzeta/\na.txt\nb.txt\n");

    const Outcome longLs = tavik({"ls", "-l", "docs"});
    EXPECT_RUN(longLs, 0);
    EXPECT_EQ(longLs.out.substr(0, 4), "- 1 ");
    EXPECT_NE(longLs.out.find("inner.txt\n"), std::string::npos) << longLs.out;
    EXPECT_EQ(std::count(longLs.out.begin(), longLs.out.end(), '\n'), 1) << longLs.out;

    const Outcome one = tavik({"ls", "a.txt"}); // a file lists itself
    EXPECT_RUN(one, 0);
    EXPECT_EQ(one.out, "a.txt\n");

    const Outcome stat = tavik({"stat", "a.txt"});
    EXPECT_RUN(stat, 0);
    EXPECT_NE(stat.out.find("Type: file\nSize: 6\n"), std::string::npos) << stat.out;
    EXPECT_NE(stat.out.find("Path: /"), std::string::npos) << stat.out;

    const Outcome df = tavik({"df"});
    EXPECT_RUN(df, 0);
    EXPECT_NE(df.out.find("Block size: "), std::string::npos) << df.out;
    EXPECT_NE(df.out.find("Free:"), std::string::npos) << df.out;

    const Outcome info = tavik({"info"});
    EXPECT_RUN(info, 0);
    EXPECT_NE(info.out.find("Version:      tavik-server"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Disk:         demo"), std::string::npos) << info.out;
}

// The server listens on both loopbacks by default; the command line reaches it by an IPv6
// literal and by a name, whatever families the name has.
TEST_F(ClientServerTest, ServerGivenAsIpv6LiteralOrName) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    writeAll(m_disk / "six.txt", "six");
    const std::string port = std::to_string(m_port);
    for (const std::string& server : {"[::1]:" + port, "localhost:" + port}) {
        const Outcome ls = tavik({"--server", server, "ls"});
        EXPECT_RUN(ls, 0);
        EXPECT_EQ(ls.out, "six.txt\n") << server;
    }
}

// Over TLS a server new to the list of known servers is trusted only when told so (never
// silently without a terminal), then by its kept fingerprint; a changed certificate or one that
// is not the --fingerprint given is refused, showing both fingerprints.
TEST_F(ClientServerTest, TrustOnFirstUseOverTls) {
    writeAll(m_disk / "t.txt", "tls");
    const std::string log = readAll(m_folder.path() / "server.log");
    const std::string marker = "certificate fingerprint ";
    const size_t at = log.find(marker);
    ASSERT_NE(at, std::string::npos) << log;
    const std::string shown = log.substr(at + marker.size(), 95);
    std::string other = shown;
    other[0] = other[0] == 'A' ? 'B' : 'A';
    const fs::path config = m_folder.path() / "config";
    const fs::path known = config / "tavik" / "known_servers";
    const std::string server = "127.0.0.1:" + std::to_string(m_port);
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), TAVIK_CLI_PROGRAM);
        args.push_back("ls");
        return CChildProcess::run(args, {{"TAVIK_SERVER", server},
                                         {"TAVIK_DISK", "demo"},
                                         {"TAVIK_PASSWORD", ""},
                                         {"XDG_CONFIG_HOME", config.string()}});
    };
    struct Step {
        const char* what;
        std::vector<std::string> args;
        std::string keptBefore; // written into the list first ("" leaves it)
        int exitCode;
        std::vector<std::string> saying; // in standard error
        std::string keptAfter;           // the list's line for the server ("": no list)
    };
    const Step steps[] = {
        {"new server, no terminal", {"--tls"}, "", 1, {shown, "--accept-new"}, ""},
        {"new server accepted", {"--tls", "--accept-new"}, "", 0, {}, shown},
        {"known server", {"--tls"}, "", 0, {}, shown},
        {"plain as asked", {"--no-tls"}, "", 0, {}, shown},
        {"changed certificate",
         {"--tls", "--accept-new"},
         other,
         1,
         {"HAS CHANGED", shown, other},
         other},
        {"pinned by hand, wrong", {"--fingerprint", other}, "", 1, {shown, other}, other},
        {"pinned by hand, right", {"--fingerprint", shown}, "", 0, {}, other},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (!step.keptBefore.empty()) {
            writeAll(known, server + " " + step.keptBefore + "\n");
        }
        const Outcome outcome = run(step.args);
        EXPECT_RUN(outcome, step.exitCode);
        EXPECT_EQ(outcome.out, step.exitCode == 0 ? "t.txt\n" : "");
        for (const std::string& text : step.saying) {
            EXPECT_NE(outcome.err.find(text), std::string::npos) << text << "\n" << outcome.err;
        }
        EXPECT_EQ(readAll(known),
                  step.keptAfter.empty() ? "" : server + " " + step.keptAfter + "\n");
    }
    EXPECT_EQ(fs::status(known).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ClientServerTest, FolderRoundTripWithKoreanNames) {
    const fs::path tree = m_local / "업로드";
    writeAll(tree / "보고서.txt", "한국어 내용\n");
    writeAll(tree / "하위 폴더" / "사진.bin", randomBytes(300000, 1)); // several 64 KiB blocks
    writeAll(tree / "하위 폴더" / "빈 파일", "");
    fs::create_directories(tree / "빈 폴더");

    const Outcome put = tavik({"put", tree.string()});
    EXPECT_RUN(put, 0);
    EXPECT_NE(put.err.find("uploaded 3 file(s)"), std::string::npos) << put.err;
    EXPECT_EQ(snapshot(m_disk / "업로드"), snapshot(tree));

    const Outcome ls = tavik({"ls", "업로드"});
    EXPECT_RUN(ls, 0);
    EXPECT_EQ(ls.out, "빈 폴더/\n하위 폴더/\n보고서.txt\n");

    // Into an existing local folder: the remote folder arrives under its own name.
    fs::create_directories(m_local / "back");
    const Outcome get = tavik({"get", "업로드", local("back")});
    EXPECT_RUN(get, 0);
    EXPECT_NE(get.err.find("downloaded 3 file(s)"), std::string::npos) << get.err;
    EXPECT_EQ(snapshot(m_local / "back" / "업로드"), snapshot(tree));
}

TEST_F(ClientServerTest, SingleFilesAndTheirDefaultDestinations) {
    writeAll(m_local / "one.txt", "one");
    fs::create_directories(m_disk / "inbox");
    EXPECT_RUN(tavik({"put", local("one.txt"), "inbox"}), 0); // into an existing folder
    EXPECT_EQ(readAll(m_disk / "inbox" / "one.txt"), "one");
    EXPECT_RUN(tavik({"put", local("one.txt"), "inbox/renamed.txt"}), 0); // a new name
    EXPECT_EQ(readAll(m_disk / "inbox" / "renamed.txt"), "one");
    EXPECT_RUN(tavik({"put", local("one.txt")}), 0); // the session folder
    EXPECT_EQ(readAll(m_disk / "one.txt"), "one");

    EXPECT_RUN(tavik({"get", "inbox/renamed.txt", local("copy.txt")}), 0);
    EXPECT_EQ(readAll(m_local / "copy.txt"), "one");

    // Several sources go into one existing folder; a destination ending in "/" must be one.
    writeAll(m_local / "two.txt", "two");
    EXPECT_RUN(tavik({"put", "--overwrite", local("one.txt"), local("two.txt"), "inbox/"}), 0);
    EXPECT_EQ(readAll(m_disk / "inbox" / "two.txt"), "two");
    const Outcome noFolder = tavik({"get", "inbox/one.txt", local("missing") + "/"});
    EXPECT_RUN(noFolder, 1);
    EXPECT_NE(noFolder.err.find("no such local folder"), std::string::npos) << noFolder.err;
    EXPECT_FALSE(fs::exists(m_local / "missing"));
    EXPECT_RUN(tavik({"put", local("one.txt"), local("two.txt"), "nowhere"}), 1);
    EXPECT_FALSE(fs::exists(m_disk / "nowhere"));
    fs::create_directories(m_local / "both");
    EXPECT_RUN(tavik({"get", "inbox/one.txt", "inbox/two.txt", local("both")}), 0);
    EXPECT_EQ(snapshot(m_local / "both"),
              (std::map<std::string, std::string>{{"one.txt", "one"}, {"two.txt", "two"}}));

    // Modification times travel both ways.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(m_local / "two.txt", old);
    EXPECT_RUN(tavik({"put", "--overwrite", local("two.txt"), "inbox"}), 0);
    EXPECT_EQ(
        std::chrono::floor<std::chrono::seconds>(fs::last_write_time(m_disk / "inbox" / "two.txt")),
        std::chrono::floor<std::chrono::seconds>(old));
    EXPECT_RUN(tavik({"get", "inbox/two.txt", local("back.txt")}), 0);
    EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(fs::last_write_time(m_local / "back.txt")),
              std::chrono::floor<std::chrono::seconds>(old));
}

TEST_F(ClientServerTest, ExistingDestinationsSkippedResumedOrOverwritten) {
    const std::string content = randomBytes(200000, 2);
    writeAll(m_disk / "big.bin", content);

    // Download: without a terminal and without a flag an existing file is an error, named;
    // --skip-existing leaves it as it is; a local prefix is resumed, not transferred again.
    writeAll(m_local / "big.bin", content.substr(0, 70000));
    const Outcome refused = tavik({"get", "big.bin", local("big.bin")});
    EXPECT_RUN(refused, 1);
    EXPECT_NE(refused.err.find(local("big.bin") + " exists"), std::string::npos) << refused.err;
    EXPECT_EQ(fs::file_size(m_local / "big.bin"), 70000u);
    const Outcome skipped = tavik({"get", "--skip-existing", "big.bin", local("big.bin")});
    EXPECT_RUN(skipped, 0);
    EXPECT_NE(skipped.err.find("skipped 1"), std::string::npos) << skipped.err;
    EXPECT_EQ(fs::file_size(m_local / "big.bin"), 70000u);

    const Outcome resumed = tavik({"get", "--resume", "big.bin", local("big.bin")});
    EXPECT_RUN(resumed, 0);
    EXPECT_EQ(readAll(m_local / "big.bin"), content);
    EXPECT_NE(resumed.err.find("downloaded 1 file(s), 127 KiB"), std::string::npos)
        << resumed.err; // 130000 bytes moved, not 200000

    writeAll(m_local / "big.bin", std::string(300000, 'x')); // longer and different
    EXPECT_RUN(tavik({"get", "--overwrite", "big.bin", local("big.bin")}), 0);
    EXPECT_EQ(readAll(m_local / "big.bin"), content);

    // Upload: the same three answers on the server side.
    writeAll(m_local / "up.bin", content);
    writeAll(m_disk / "up.bin", content.substr(0, 1000));
    EXPECT_RUN(tavik({"put", local("up.bin")}), 1);
    EXPECT_EQ(fs::file_size(m_disk / "up.bin"), 1000u);
    EXPECT_RUN(tavik({"put", "--resume", local("up.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "up.bin"), content);
    writeAll(m_disk / "up.bin", "something else entirely");
    EXPECT_RUN(tavik({"put", "--overwrite", local("up.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "up.bin"), content);
}

// A destination that is not a plain file is written into, never replaced: a FIFO stays a FIFO
// and gets the bytes (as /dev/null would), a link stays a link and its file gets them.
TEST_F(ClientServerTest, DownloadsWriteThroughFifosAndLinks) {
    const std::string content = randomBytes(5000, 3); // below a pipe's buffer: no reader needed
    writeAll(m_disk / "f.bin", content);

    const fs::path fifo = m_local / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open for reading and writing, so the client's open does not wait for a reader.
    const int held = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    for (const char* flag : {"--overwrite", "--skip-existing"}) {
        SCOPED_TRACE(flag);
        EXPECT_RUN(tavik({"get", flag, "f.bin", fifo.string()}), 0);
        EXPECT_TRUE(fs::is_fifo(fifo));
        std::string arrived(2 * content.size(), '\0');
        const ssize_t count = ::read(held, arrived.data(), arrived.size());
        arrived.resize(count > 0 ? static_cast<size_t>(count) : 0);
        EXPECT_TRUE(arrived == content) << arrived.size() << " bytes arrived";
    }
    ::close(held);

    writeAll(m_local / "real.bin", "old");
    fs::create_symlink("real.bin", m_local / "link");
    EXPECT_RUN(tavik({"get", "--overwrite", "f.bin", local("link")}), 0);
    EXPECT_TRUE(fs::is_symlink(m_local / "link"));
    EXPECT_TRUE(readAll(m_local / "real.bin") == content);
}

uint64_t storedBytes(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_blocks) * 512 : 0;
}

// Files of 6 GiB: listed with their whole size, and resumed near their end in both directions.
// Both sides stay sparse; only the last 100000 bytes hold data and only 50000 of them move.
TEST_F(ClientServerTest, SixGiBFilesAreListedInFullAndResumePastFourGiB) {
    constexpr uint64_t kSize = 6ull << 30;
    const uint64_t tailAt = kSize - 100000;
    const uint64_t cut = kSize - 50000;
    const std::string tail = randomBytes(100000, 6);
    writeSparse((m_disk / "big.bin").string(), kSize, tail, tailAt);

    const Outcome listed = tavik({"ls", "-l"});
    EXPECT_RUN(listed, 0);
    EXPECT_NE(listed.out.find("6442450944"), std::string::npos) << listed.out;

    writeSparse((m_local / "big.bin").string(), cut, tail.substr(0, 50000), tailAt);
    const Outcome got = tavik({"get", "--resume", "big.bin", local("big.bin")});
    EXPECT_RUN(got, 0);
    EXPECT_EQ(fs::file_size(m_local / "big.bin"), kSize);
    EXPECT_TRUE(readRange((m_local / "big.bin").string(), tailAt, 100000) ==
                tail); // not printed: 100000 bytes
    EXPECT_LT(storedBytes(m_local / "big.bin"), 16ull << 20);

    writeSparse((m_local / "up.bin").string(), kSize, tail, tailAt);
    writeSparse((m_disk / "up.bin").string(), cut, tail.substr(0, 50000), tailAt);
    EXPECT_RUN(tavik({"put", "--resume", local("up.bin")}), 0);
    EXPECT_EQ(fs::file_size(m_disk / "up.bin"), kSize);
    EXPECT_TRUE(readRange((m_disk / "up.bin").string(), tailAt, 100000) ==
                tail); // not printed: 100000 bytes

    // A cut upload's hidden name continued by a parallel worker, then renamed into place.
    writeSparse((m_local / "p.bin").string(), kSize, tail, tailAt);
    writeSparse((m_disk / ".p.bin.tavik-part").string(), cut, tail.substr(0, 50000), tailAt);
    EXPECT_RUN(tavik({"put", "-P", "2", "--resume", local("p.bin")}), 0);
    EXPECT_FALSE(fs::exists(m_disk / ".p.bin.tavik-part"));
    EXPECT_EQ(fs::file_size(m_disk / "p.bin"), kSize);
    EXPECT_TRUE(readRange((m_disk / "p.bin").string(), tailAt, 100000) ==
                tail); // not printed: 100000 bytes
}

TEST_F(ClientServerTest, CutDownloadsResumeOnlyOverMatchingBytes) {
    const std::string content = randomBytes(200000, 5);
    writeAll(m_disk / "r.bin", content);
    const fs::path part = m_local / ".r.bin.tavik-part";
    struct Row {
        const char* name;
        std::string targetBefore; // "" when the final name does not exist yet
        std::string partBefore;   // the temporary file a cut download left; "" for none
        std::vector<std::string> flags;
        int exitCode;
        std::string finalFile; // "" when the final name must not exist
        std::string partAfter; // "" when the temporary file must be gone
    };
    const std::string cut = content.substr(0, 90000);
    std::string spliced = cut;
    spliced[89999] ^= 0x55; // differs just before the resume point
    const Row rows[] = {
        {"a cut download is continued with --resume", "", cut, {"--resume"}, 0, content, ""},
        {"a rerun without --resume starts anew", "", cut, {}, 0, content, ""},
        {"different bytes before the resume point are refused",
         "",
         spliced,
         {"--resume"},
         1,
         "",
         spliced},
        {"--overwrite replaces the temporary file", "", spliced, {"--overwrite"}, 0, content, ""},
        {"the user's own prefix is continued", cut, "", {"--resume"}, 0, content, ""},
        {"the user's own file that differs is refused and left as it was",
         spliced,
         "",
         {"--resume"},
         1,
         spliced,
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(m_local / "r.bin");
        fs::remove(part);
        if (!row.targetBefore.empty()) {
            writeAll(m_local / "r.bin", row.targetBefore);
        }
        if (!row.partBefore.empty()) {
            writeAll(part, row.partBefore);
        }
        std::vector<std::string> args = {"get"};
        args.insert(args.end(), row.flags.begin(), row.flags.end());
        args.insert(args.end(), {"r.bin", local("r.bin")});
        const Outcome run = tavik(args);
        EXPECT_RUN(run, row.exitCode);
        EXPECT_EQ(fs::exists(m_local / "r.bin"), !row.finalFile.empty());
        if (!row.finalFile.empty()) {
            EXPECT_TRUE(readAll(m_local / "r.bin") == row.finalFile);
        }
        EXPECT_EQ(fs::exists(part), !row.partAfter.empty());
        if (!row.partAfter.empty()) {
            EXPECT_TRUE(readAll(part) == row.partAfter);
        }
        if (row.exitCode != 0) {
            EXPECT_NE(run.err.find("differ"), std::string::npos) << run.err;
        }
    }

    // The same check on the way up: a remote prefix that differs is not continued.
    writeAll(m_local / "u.bin", std::string(10, 'A'));
    writeAll(m_disk / "u.bin", std::string(5, 'B'));
    EXPECT_RUN(tavik({"put", "--resume", local("u.bin")}), 1);
    EXPECT_EQ(readAll(m_disk / "u.bin"), std::string(5, 'B'));
    writeAll(m_disk / "u.bin", std::string(5, 'A'));
    EXPECT_RUN(tavik({"put", "--resume", local("u.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "u.bin"), std::string(10, 'A'));
}

TEST_F(ClientServerTest, FolderUploadsNameWhatTheyLeaveOut) {
    const fs::path tree = m_local / "tree";
    writeAll(tree / "a.txt", "a");
    writeAll(tree / "sub" / "b.txt", "b");
    writeAll(m_local / "outside.txt", "secret");
    fs::create_directory_symlink("..", tree / "sub" / "loop");        // a link loop
    fs::create_symlink("../a.txt", tree / "sub" / "inside-link.txt"); // a file inside the tree
    fs::create_symlink(m_local / "outside.txt", tree / "out-link.txt");
    writeAll(tree / "\xF0\x9F\x98\x80.txt", "emoji"); // no form in CP949
    // (Files past 4 GiB are uploaded to this server, which agrees on 64-bit positions: see
    // SixGiBFilesAreListedInFullAndResumePastFourGiB.)

    const Outcome put = tavik({"put", tree.string()});
    EXPECT_RUN(put, 1); // the unmappable name is a failure, named
    EXPECT_NE(put.err.find("\xF0\x9F\x98\x80.txt"), std::string::npos) << put.err;
    EXPECT_NE(put.err.find("loop"), std::string::npos) << put.err;
    EXPECT_NE(put.err.find("out-link.txt"), std::string::npos) << put.err;
    EXPECT_NE(put.err.find("failed 1"), std::string::npos) << put.err;
    EXPECT_EQ(snapshot(m_disk / "tree"), (std::map<std::string, std::string>{
                                             {"a.txt", "a"},
                                             {"sub", "/"},
                                             {"sub/b.txt", "b"},
                                             {"sub/inside-link.txt", "a"},
                                         }));
}

TEST_F(ClientServerTest, HabitsOfOtherTools) {
    writeAll(m_disk / "f.txt", "text");
    fs::create_directories(m_disk / "dir");

    const Outcome mkdirP = tavik({"mkdir", "-p", "x/y/z", "dir"});
    EXPECT_RUN(mkdirP, 0);
    EXPECT_TRUE(fs::is_directory(m_disk / "x" / "y" / "z"));
    EXPECT_RUN(tavik({"mkdir", "-p", "f.txt/sub"}), 1);

    const Outcome json = tavik({"ls", "--json"});
    EXPECT_RUN(json, 0);
    EXPECT_EQ(json.out.substr(0, 2), "[{") << json.out;
    EXPECT_NE(json.out.find("\"name\":\"f.txt\",\"path\":\"/demo/f.txt\",\"type\":\"file\","
                            "\"size\":4"),
              std::string::npos)
        << json.out;
    for (const char* command : {"df", "info"}) {
        const Outcome one = tavik({command, "--json"});
        EXPECT_RUN(one, 0);
        EXPECT_EQ(one.out.front(), '{') << one.out;
    }
    const Outcome stat = tavik({"stat", "--json", "dir"});
    EXPECT_NE(stat.out.find("\"type\":\"folder\""), std::string::npos) << stat.out;

    const Outcome catFolder = tavik({"cat", "dir"});
    EXPECT_RUN(catFolder, 1);
    EXPECT_NE(catFolder.err.find("is a folder"), std::string::npos) << catFolder.err;

    const Outcome unknown = tavik({"lsx"});
    EXPECT_RUN(unknown, 2);
    EXPECT_NE(unknown.err.find("unknown command \"lsx\""), std::string::npos) << unknown.err;
    const Outcome version = tavik({"--version"});
    EXPECT_RUN(version, 0);
    EXPECT_EQ(version.out.rfind("tavik ", 0), 0u) << version.out;

    const Outcome visible = tavik({"--password", "", "ls"});
    EXPECT_RUN(visible, 0);
    EXPECT_NE(visible.err.find("visible to other users"), std::string::npos) << visible.err;
    const Outcome noFile = tavik({"--password-file", local("none"), "ls"});
    EXPECT_RUN(noFile, 1);
    EXPECT_NE(noFile.err.find(local("none") + ": No such file"), std::string::npos) << noFile.err;

    const Outcome quiet = tavik({"-q", "get", "f.txt", local("f.txt")});
    EXPECT_RUN(quiet, 0);
    EXPECT_TRUE(quiet.out.empty() && quiet.err.empty()) << quiet.out << quiet.err;
    EXPECT_EQ(readAll(m_local / "f.txt"), "text");

    // A local failure names the path and the system's reason.
    fs::create_directories(m_local / "ro");
    fs::permissions(m_local / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const Outcome denied = tavik({"get", "f.txt", local("ro")});
    fs::permissions(m_local / "ro", fs::perms::owner_all);
    if (geteuid() != 0) { // root writes anywhere
        EXPECT_RUN(denied, 1);
        EXPECT_NE(denied.err.find(local("ro")), std::string::npos) << denied.err;
        EXPECT_NE(denied.err.find("Permission denied"), std::string::npos) << denied.err;
    }
}

// What a new user tries first: paths from the disk's root, errors that blame the right side,
// "-" for the standard streams, standard output holding only data.
TEST_F(ClientServerTest, WhatANewUserTries) {
    writeAll(m_disk / "docs" / "a.txt", "alpha");
    writeAll(m_local / "b.txt", "bee");
    struct Row {
        std::vector<std::string> args;
        std::optional<std::string> input;
        int exitCode;
        std::optional<std::string> out; // the whole of standard output, when it matters
        std::string errHas;
        std::string errLacks; // "" for nothing
    };
    const Row rows[] = {
        {{"ls", "/docs"}, {}, 0, "a.txt\n", "", ""},
        {{"ls", "/../docs"}, {}, 0, "a.txt\n", "", ""}, // ".." stays on the disk
        {{"put", local("b.txt"), "nofolder/x.txt"},
         {},
         1,
         "",
         "put: remote folder /nofolder: does not exist (23006)",
         "b.txt"},
        {{"put", local("b.txt"), "/docs/a.txt/x"},
         {},
         1,
         "",
         "put: remote folder /docs/a.txt: is not a folder",
         ""},
        {{"get", "/docs/nothing.txt", local("x")},
         {},
         1,
         "",
         "get: remote file /docs/nothing.txt: does not exist (23006)",
         ""},
        {{"mkdir", "missing/d"}, {}, 1, "", "mkdir: remote folder /missing: does not exist", ""},
        {{"get", "/docs/a.txt", "-"}, {}, 0, "alpha", "", ""},
        {{"put", "-", "/docs/from-stdin.txt"}, "typed in", 0, "", "uploaded 1 file(s)", ""},
        {{"get", "docs/a.txt", local("a.txt")}, {}, 0, "", "downloaded 1 file(s), 5 B", ""},
        {{"put", "-", "/docs"}, "x", 2, "", "needs a remote file name", ""},
    };
    for (const Row& row : rows) {
        const Outcome run = tavik(row.args, "demo", row.input);
        SCOPED_TRACE(row.args.front() + " " + row.args[1]);
        EXPECT_RUN(run, row.exitCode);
        if (row.out) {
            EXPECT_EQ(run.out, *row.out);
        }
        EXPECT_NE(run.err.find(row.errHas), std::string::npos) << run.err;
        if (!row.errLacks.empty()) {
            EXPECT_EQ(run.err.find(row.errLacks), std::string::npos) << run.err;
        }
    }
    EXPECT_EQ(readAll(m_disk / "docs" / "from-stdin.txt"), "typed in");
    EXPECT_EQ(readAll(m_local / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(m_disk / "nofolder"));
    EXPECT_FALSE(fs::exists(m_disk / "missing"));
}

// Patterns in the last component of remote paths, matched against the folder's listing; a
// pattern that matches nothing is an error naming it; after "--" a name is taken as it is.
TEST_F(ClientServerTest, RemotePatterns) {
    writeAll(m_disk / "logs" / "a.log", "A");
    writeAll(m_disk / "logs" / "b.log", "B");
    writeAll(m_disk / "logs" / "c.txt", "C");
    writeAll(m_disk / "logs" / "x1.log", "X");
    writeAll(m_disk / "odd" / "[1]*.txt", "literal");
    writeAll(m_disk / "odd" / "1.txt", "one");
    fs::create_directories(m_local / "dl");
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::optional<std::string> out;
        std::string errHas;
    };
    const Row rows[] = {
        {{"ls", "logs/*.log"}, 0, "a.log\nb.log\nx1.log\n", ""},
        {{"ls", "/logs/?.log"}, 0, "a.log\nb.log\n", ""},
        {{"ls", "logs/[ac].*"}, 0, "a.log\nc.txt\n", ""},
        {{"ls", "logs/*.zip"}, 1, "", "ls: no remote path matches /logs/*.zip"},
        {{"cat", "logs/[!x]*.log"}, 0, "AB", ""},
        {{"get", "logs/?.log", local("dl")}, 0, "", "downloaded 2 file(s)"},
        {{"stat", "nofolder/*.log"}, 1, "", "stat: remote folder /nofolder: does not exist"},
        {{"cat", "--", "odd/[1]*.txt"}, 0, "literal", ""},
        {{"cat", "odd/[1]*.txt"}, 0, "one", ""},
        {{"rm", "logs/*.txt"}, 0, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.front() + " " + row.args.back());
        const Outcome run = tavik(row.args);
        EXPECT_RUN(run, row.exitCode);
        if (row.out) {
            EXPECT_EQ(run.out, *row.out);
        }
        EXPECT_NE(run.err.find(row.errHas), std::string::npos) << run.err;
    }
    EXPECT_EQ(snapshot(m_local / "dl"),
              (std::map<std::string, std::string>{{"a.log", "A"}, {"b.log", "B"}}));
    EXPECT_FALSE(fs::exists(m_disk / "logs" / "c.txt"));
    EXPECT_TRUE(fs::exists(m_disk / "logs" / "a.log"));
}

// A profile names the server and the disk; its settings are used with -r NAME or NAME:path.
TEST_F(ClientServerTest, ProfilesReachTheServer) {
    writeAll(m_disk / "docs" / "p.txt", "profiled");
    writeAll(m_folder.path() / "config" / "tavik" / "config.toml",
             "[t]\nserver = \"127.0.0.1:" + std::to_string(m_port) +
                 "\"\ndisk = \"demo\"\npassword_command = \"true\"\n[other]\ndisk = \"x\"\n");
    const Outcome byFlag = tavik({"-r", "t", "ls", "/docs"}, "no-such-disk");
    EXPECT_RUN(byFlag, 0);
    EXPECT_EQ(byFlag.out, "p.txt\n");
    const Outcome byPrefix = tavik({"get", "t:/docs/p.txt", "-"}, "no-such-disk");
    EXPECT_RUN(byPrefix, 0);
    EXPECT_EQ(byPrefix.out, "profiled");
    const Outcome list = tavik({"config", "list"});
    EXPECT_RUN(list, 0);
    EXPECT_EQ(list.out, "other\nt\n");
    EXPECT_RUN(tavik({"-r", "missing", "ls"}), 1);

    // Completion lists the remote folder through the profile; bash's script shows it.
    const Outcome names = tavik({"__complete", "get", "t:/do"});
    EXPECT_RUN(names, 0);
    EXPECT_EQ(names.out, "t:/docs/\n");
    EXPECT_EQ(tavik({"__complete", "-r", "t", "cat", "/docs/"}).out, "/docs/p.txt\n");
    const std::string script = std::string(TAVIK_SOURCE_DIR) + "/cli/completion/tavik.bash";
    const Outcome bash = CChildProcess::run(
        {"/bin/bash", "-c",
         "source '" + script +
             "'; COMP_LINE='tavik get t:/docs/'; COMP_POINT=${#COMP_LINE}; "
             "_tavik; printf '%s\\n' \"${COMPREPLY[@]}\""},
        {{"PATH", fs::path(TAVIK_CLI_PROGRAM).parent_path().string() + ":/usr/bin:/bin"},
         {"XDG_CONFIG_HOME", (m_folder.path() / "config").string()},
         {"TAVIK_SERVER", ""},
         {"TAVIK_DISK", ""}});
    EXPECT_EQ(bash.out, "/docs/p.txt\n") << bash.err; // after bash's own split at ":"
}

// --json: one object per file on standard output, then the summary; -v: a line per file on
// standard error. A failing file among others is named in both.
TEST_F(ClientServerTest, ReportsPerFile) {
    writeAll(m_disk / "d" / "a.txt", "aa");
    writeAll(m_disk / "d" / "b.txt", "bb");
    writeAll(m_local / "dl" / "d" / "b.txt", "mine"); // exists: refused without a flag
    const Outcome json = tavik({"get", "--json", "-P", "1", "d", local("dl")}); // in order
    EXPECT_RUN(json, 1);
    const std::string a = "{\"status\":\"done\",\"source\":\"/d/a.txt\",\"destination\":\"" +
                          local("dl/d/a.txt") + "\",\"bytes\":2}\n";
    const std::string b =
        "{\"status\":\"failed\",\"source\":\"/d/b.txt\",\"destination\":\"" + local("dl/d/b.txt") +
        "\",\"bytes\":0,\"error\":\"remote file /d/b.txt: " + local("dl/d/b.txt") +
        " exists (use --overwrite, --resume or --skip-existing)\"}\n";
    EXPECT_EQ(json.out, a + b +
                            "{\"summary\":{\"verb\":\"downloaded\",\"transferred\":1,\"skipped\":0,"
                            "\"failed\":1,\"deleted\":0,\"bytes\":2}}\n");

    const Outcome verbose = tavik({"-v", "put", local("dl/d/b.txt"), "/d/c.txt"});
    EXPECT_RUN(verbose, 0);
    EXPECT_TRUE(verbose.out.empty()) << verbose.out;
    EXPECT_NE(verbose.err.find("done: " + local("dl/d/b.txt") + " -> /d/c.txt (4 B)\n"),
              std::string::npos)
        << verbose.err;
}

// -P: many files at once over several sessions, one failing among them: the others arrive, the
// failing one is named once, and the exit status says a file failed.
TEST_F(ClientServerTest, ParallelTransfersNameTheFileThatFailed) {
    const fs::path tree = m_local / "many";
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 24; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        writeAll(tree / name, "content " + std::to_string(i));
        expected[name] = "content " + std::to_string(i);
    }
    fs::create_directories(m_disk / "many" / "f7.txt"); // a folder where a file should go
    const Outcome up = tavik({"put", "-P", "4", "--json", tree.string(), "/"});
    EXPECT_RUN(up, 1);
    EXPECT_EQ(std::count(up.out.begin(), up.out.end(), '\n'), 25) << up.out; // 24 + summary
    EXPECT_NE(up.out.find("\"transferred\":23,\"skipped\":0,\"failed\":1"), std::string::npos)
        << up.out;
    const std::string failure = "tavik: put: remote file /many/f7.txt: is a folder\n";
    EXPECT_NE(up.err.find(failure), std::string::npos) << up.err;
    EXPECT_EQ(up.err.find(failure), up.err.rfind(failure)) << up.err;
    auto onDisk = snapshot(m_disk / "many");
    EXPECT_EQ(onDisk.erase("f7.txt"), 1u);
    auto sent = expected;
    sent.erase("f7.txt");
    EXPECT_EQ(onDisk, sent);

    // And back down, with one target in the way.
    fs::create_directories(m_local / "back" / "many" / "f3.txt");
    const Outcome down = tavik({"get", "-P", "3", "many", local("back")});
    EXPECT_RUN(down, 1);
    EXPECT_NE(down.err.find("downloaded 22 file(s)"), std::string::npos) << down.err;
    EXPECT_NE(down.err.find("f3.txt is a folder"), std::string::npos) << down.err;
    auto back = snapshot(m_local / "back" / "many");
    back.erase("f3.txt");
    back.erase("f7.txt"); // the folder that was on the disk comes down as a folder
    sent.erase("f3.txt");
    EXPECT_EQ(back, sent);
}

// sync both ways, checked on disk after each run: creates, updates, excludes, deletes only
// with --delete, a dry run that changes nothing, --checksum for what size and time cannot tell
// apart, a cut run continued, and a failing file named with exit status 1.
TEST_F(ClientServerTest, SyncBothWays) {
    const fs::path src = m_local / "src";
    const std::string big = randomBytes(100000, 9);
    writeAll(src / "keep.txt", "new keep");
    writeAll(src / "sub" / "a.txt", "a");
    writeAll(src / "sub" / "skip.tmp", "tmp");
    writeAll(src / "big.bin", big);
    writeAll(m_disk / "site" / "keep.txt", "old");
    writeAll(m_disk / "site" / "old.txt", "old");
    writeAll(m_disk / "site" / "sub" / "local.tmp", "excluded: never deleted");
    // A cut earlier run left the first 40,000 bytes of big.bin under the upload's hidden name.
    writeAll(m_disk / "site" / ".big.bin.tavik-part", big.substr(0, 40000));
    using Tree = std::map<std::string, std::string>;
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string errHas;
        fs::path checked; // the tree compared after the run
        Tree expected;
    };
    const Tree before = snapshot(m_disk / "site");
    Tree up = {{"keep.txt", "new keep"},
               {"old.txt", "old"},
               {"sub", "/"},
               {"sub/a.txt", "a"},
               {"sub/local.tmp", "excluded: never deleted"},
               {"big.bin", big}};
    Tree upDeleted = up;
    upDeleted.erase("old.txt");
    const std::vector<Row> rows = {
        {"a dry run changes nothing",
         {"sync", "--dry-run", "--delete", "--exclude", "*.tmp", src.string(), ":/site"},
         0,
         "nothing changed",
         m_disk / "site",
         before},
        {"up: creates, updates, continues the cut file, leaves extras without --delete",
         {"sync", "--exclude", "*.tmp", src.string(), ":/site"},
         0,
         "synced 3 file(s), 58.6 KiB", // 60,009 bytes: big.bin continued, not sent whole
         m_disk / "site",
         up},
        {"up again: nothing to do",
         {"sync", "--exclude", "*.tmp", src.string(), ":site"},
         0,
         "synced 0 file(s), 0 B",
         m_disk / "site",
         up},
        {"--delete removes what the source lacks, not what is excluded",
         {"sync", "--delete", "--exclude=*.tmp", src.string(), ":/site"},
         0,
         "deleted 1",
         m_disk / "site",
         upDeleted},
        {"down into a new folder",
         {"sync", ":/site", local("down")},
         0,
         "synced 4 file(s)",
         m_local / "down",
         upDeleted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome run = tavik(row.args);
        EXPECT_RUN(run, row.exitCode);
        EXPECT_NE(run.err.find(row.errHas), std::string::npos) << run.err;
        EXPECT_EQ(snapshot(row.checked), row.expected);
    }

    // Same size, same minute, other bytes: only --checksum sees it.
    const auto when = fs::last_write_time(m_local / "down" / "keep.txt");
    writeAll(m_local / "down" / "keep.txt", "NEW KEEP");
    fs::last_write_time(m_local / "down" / "keep.txt", when);
    EXPECT_RUN(tavik({"sync", ":/site", local("down")}), 0);
    EXPECT_EQ(readAll(m_local / "down" / "keep.txt"), "NEW KEEP");
    EXPECT_RUN(tavik({"sync", "--checksum", ":/site", local("down")}), 0);
    EXPECT_EQ(readAll(m_local / "down" / "keep.txt"), "new keep");

    // A folder where a file belongs fails, by name; the rest is still synced.
    writeAll(src / "late.txt", "late");
    fs::create_directories(m_disk / "site" / "keep.txt.d");
    fs::create_directories(m_disk / "site" / "late.txt");
    const Outcome failing = tavik({"sync", "--exclude", "*.tmp", src.string(), ":/site"});
    EXPECT_RUN(failing, 1);
    EXPECT_NE(failing.err.find("remote file /site/late.txt: is a folder"), std::string::npos)
        << failing.err;

    const Outcome unmarked = tavik({"sync", src.string(), local("x")});
    EXPECT_RUN(unmarked, 2);
}

// --bwlimit holds the whole run to the rate, parallel workers together. Only the slowing is
// asserted (a loaded machine can only make it slower): 300 KiB at 200 KiB/s cannot take less
// than a second, alone or as four files over four sessions; unlimited it takes milliseconds.
TEST_F(ClientServerTest, BandwidthLimitSlowsTheWholeRun) {
    writeAll(m_local / "one.bin", randomBytes(300 * 1024, 11));
    for (int i = 0; i < 4; ++i) {
        writeAll(m_local / "four" / ("f" + std::to_string(i)), randomBytes(75 * 1024, 12 + i));
    }
    const std::vector<std::vector<std::string>> runs = {
        {"--bwlimit", "200K", "put", local("one.bin"), "/"},
        {"--bwlimit", "200K", "put", "-P", "4", local("four"), "/"},
    };
    for (const auto& args : runs) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome run = tavik(args);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_RUN(run, 0);
        EXPECT_GE(took, std::chrono::milliseconds(1000)) << args[3];
    }
    EXPECT_EQ(fs::file_size(m_disk / "one.bin"), 300u * 1024);
    EXPECT_EQ(snapshot(m_disk / "four"), snapshot(m_local / "four"));
}

// An upload writes under a hidden name and renames it into place: what a cut upload left is
// continued by --resume, an existing file is replaced whole, and nothing hidden stays behind.
TEST_F(ClientServerTest, UploadsTakeTheirNameOnlyWhenComplete) {
    const std::string content = randomBytes(100000, 7);
    writeAll(m_local / "u.bin", content);
    const fs::path part = m_disk / ".u.bin.tavik-part";
    struct Row {
        const char* name;
        std::string targetBefore; // "" for none
        std::string partBefore;   // what a cut upload left; "" for none
        std::vector<std::string> flags;
        const char* moved; // the summary's bytes: 60,000 when continued, 100,000 when whole
    };
    const Row rows[] = {
        {"what a cut upload left is continued",
         "",
         content.substr(0, 40000),
         {"--resume"},
         "58.6 KiB"},
        {"without --resume it is replaced", "", std::string(40000, 'z'), {}, "97.7 KiB"},
        {"an existing file is replaced whole", "old", "", {"--overwrite"}, "97.7 KiB"},
        {"and when a stale part lies beside it",
         "old",
         std::string(10, 'q'),
         {"--overwrite"},
         "97.7 KiB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(m_disk / "u.bin");
        if (!row.targetBefore.empty()) {
            writeAll(m_disk / "u.bin", row.targetBefore);
        }
        if (!row.partBefore.empty()) {
            writeAll(part, row.partBefore);
        }
        std::vector<std::string> args = {"put"};
        args.insert(args.end(), row.flags.begin(), row.flags.end());
        args.insert(args.end(), {local("u.bin"), "/u.bin"});
        const Outcome run = tavik(args);
        EXPECT_RUN(run, 0);
        EXPECT_NE(run.err.find(std::string("uploaded 1 file(s), ") + row.moved), std::string::npos)
            << run.err;
        EXPECT_TRUE(readAll(m_disk / "u.bin") == content);
        EXPECT_EQ(snapshot(m_disk).size(), 1u) << "hidden files left beside the upload";
    }
}

TEST_F(ClientServerTest, NamespaceCommands) {
    writeAll(m_disk / "file.txt", "data");
    EXPECT_RUN(tavik({"mkdir", "a", "b", "a/inner"}), 0);
    EXPECT_TRUE(fs::is_directory(m_disk / "a" / "inner"));
    EXPECT_TRUE(fs::is_directory(m_disk / "b"));

    EXPECT_RUN(tavik({"cp", "file.txt", "a"}), 0);
    EXPECT_EQ(readAll(m_disk / "a" / "file.txt"), "data");
    EXPECT_EQ(readAll(m_disk / "file.txt"), "data");

    EXPECT_RUN(tavik({"mv", "file.txt", "b"}), 0);
    EXPECT_FALSE(fs::exists(m_disk / "file.txt"));
    EXPECT_EQ(readAll(m_disk / "b" / "file.txt"), "data");

    EXPECT_RUN(tavik({"rename", "b/file.txt", "새 이름.txt"}), 0); // a bare name: same folder
    EXPECT_EQ(readAll(m_disk / "b" / "새 이름.txt"), "data");

    // A folder with something in it needs -r.
    const Outcome refused = tavik({"rm", "a"});
    EXPECT_RUN(refused, 1);
    EXPECT_TRUE(fs::exists(m_disk / "a" / "file.txt"));
    EXPECT_NE(refused.err.find("tavik: rm: remote path /a: the folder is not empty"),
              std::string::npos)
        << refused.err;
    EXPECT_RUN(tavik({"rm", "-r", "a"}), 0);
    EXPECT_FALSE(fs::exists(m_disk / "a"));
    EXPECT_RUN(tavik({"rm", "b/새 이름.txt"}), 0);
    EXPECT_FALSE(fs::exists(m_disk / "b" / "새 이름.txt"));

    // Several paths: the good ones are done, the status reports the bad one.
    const Outcome partly = tavik({"mkdir", "c", "missing/d"});
    EXPECT_RUN(partly, 1);
    EXPECT_TRUE(fs::is_directory(m_disk / "c"));
}

// Standard output carries whole files, whether it is a pipe or a file the shell opened (for
// appending, or shared with other commands' output): the bytes land where that stream stands.
TEST_F(ClientServerTest, StandardOutputCarriesWholeFiles) {
    const std::string content = randomBytes(150000, 3); // more than two 64 KiB blocks
    writeAll(m_disk / "blob.bin", content);
    writeAll(m_disk / "tail.txt", "end\n");
    writeAll(m_disk / "empty.txt", "");
    fs::create_directories(m_disk / "folder");
    const fs::path out = m_local / "out.bin";
    struct Row {
        std::string shell;  // run by sh with $0 the program; its standard output is a pipe
        std::string before; // what out.bin holds first
        int exitCode;
        std::string piped;  // the whole of standard output
        std::string inFile; // what out.bin holds after
        std::string errHas;
    };
    const std::string o = " '" + out.string() + "'";
    const Row rows[] = {
        {"\"$0\" get blob.bin -", "", 0, content, "", ""},
        {"\"$0\" cat blob.bin tail.txt empty.txt", "", 0, content + "end\n", "", ""},
        {"\"$0\" get blob.bin - >>" + o, "kept:", 0, "", "kept:" + content, ""},
        {"{ printf head; \"$0\" get tail.txt -; printf foot; } >" + o, "old", 0, "",
         "headend\nfoot", ""},
        {"\"$0\" get empty.txt - >" + o, "old", 0, "", "", ""},
        {"\"$0\" get folder -", "", 1, "", "", "cat: remote file /folder: is a folder"},
        {"\"$0\" cat nothing.txt tail.txt", "", 1, "end\n", "", "/nothing.txt: does not exist"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shell);
        writeAll(out, row.before);
        const Outcome run =
            CChildProcess::run({"/bin/sh", "-c", row.shell, TAVIK_CLI_PROGRAM},
                               {{"TAVIK_SERVER", "127.0.0.1:" + std::to_string(m_port)},
                                {"TAVIK_DISK", "demo"},
                                {"TAVIK_PASSWORD", ""},
                                {"TAVIK_DEVICE_ROOT", ""},
                                {"TAVIK_ACP", "CP949"},
                                {"XDG_CONFIG_HOME", (m_folder.path() / "config").string()}});
        EXPECT_RUN(run, row.exitCode);
        EXPECT_EQ(run.out.size(), row.piped.size());
        EXPECT_TRUE(run.out == row.piped) << "standard output differs";
        if (row.shell.find('>') != std::string::npos) {
            const std::string written = readAll(out);
            EXPECT_EQ(written.size(), row.inFile.size());
            EXPECT_TRUE(written == row.inFile) << "the file differs";
        }
        EXPECT_NE(run.err.find(row.errHas), std::string::npos) << run.err;
    }
}

TEST_F(ClientServerTest, ErrorPaths) {
    const Outcome missingStat = tavik({"stat", "nothing.txt"});
    EXPECT_RUN(missingStat, 1);
    EXPECT_NE(missingStat.err.find("remote path /nothing.txt: does not exist (23006)"),
              std::string::npos)
        << missingStat.err;
    EXPECT_TRUE(missingStat.out.empty());

    const Outcome missingGet = tavik({"get", "nothing.txt", local("x")});
    EXPECT_RUN(missingGet, 1);
    EXPECT_NE(missingGet.err.find("(23006)"), std::string::npos) << missingGet.err;
    EXPECT_FALSE(fs::exists(m_local / "x"));

    const Outcome missingCat = tavik({"cat", "nothing.txt"});
    EXPECT_RUN(missingCat, 1);
    EXPECT_NE(missingCat.err.find("tavik: cat: remote file /nothing.txt"), std::string::npos)
        << missingCat.err;

    const Outcome missingPut = tavik({"put", local("nothing.txt")});
    EXPECT_RUN(missingPut, 1);
    EXPECT_NE(missingPut.err.find("local path " + local("nothing.txt") + ": no such file"),
              std::string::npos)
        << missingPut.err;

    const Outcome wrongDisk = tavik({"ls"}, "no-such-disk");
    EXPECT_RUN(wrongDisk, 1);
    EXPECT_NE(wrongDisk.err.find("the server has no disk of that ID (22001)"), std::string::npos)
        << wrongDisk.err;
    EXPECT_NE(wrongDisk.err.find("as disk no-such-disk"), std::string::npos) << wrongDisk.err;

    const Outcome usage = tavik({"get"});
    EXPECT_RUN(usage, 2);
    EXPECT_FALSE(usage.err.empty());

    const Outcome help = tavik({"put", "--help"});
    EXPECT_RUN(help, 0);
    EXPECT_NE(help.out.find("--resume"), std::string::npos);
}

TEST_F(ClientServerTest, NoServerListening) {
    // Stop the server first: its port is then closed.
    m_server->signal(SIGTERM);
    EXPECT_EQ(m_server->wait(std::chrono::seconds(10)).exitCode, 0);
    m_server.reset();
    const Outcome down = tavik({"ls"});
    EXPECT_RUN(down, 1);
    EXPECT_NE(down.err.find("cannot connect to the server (21001)"), std::string::npos) << down.err;
}

} // namespace
} // namespace tavik::test

#endif
