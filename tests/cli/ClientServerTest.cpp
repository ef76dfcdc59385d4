// The tavik program against the reference server, both run as programs the way a user runs
// them: every command, its exit status and its messages, a folder round trip with Korean names,
// existing destinations (skip, resume, overwrite), and the error paths.
#if defined(TAVIK_CLI_PROGRAM) && defined(TAVIK_SERVER_PROGRAM)

#include "tests/cli/CChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

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
                                   {"TAVIK_ACP", "CP949"}},
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

TEST_F(ClientServerTest, FolderRoundTripWithKoreanNames) {
    const fs::path tree = m_local / "업로드";
    writeAll(tree / "보고서.txt", "한국어 내용\n");
    writeAll(tree / "하위 폴더" / "사진.bin", randomBytes(300000, 1)); // several 64 KiB blocks
    writeAll(tree / "하위 폴더" / "빈 파일", "");
    fs::create_directories(tree / "빈 폴더");

    const Outcome put = tavik({"put", tree.string()});
    EXPECT_RUN(put, 0);
    EXPECT_NE(put.out.find("uploaded 3 file(s)"), std::string::npos) << put.out;
    EXPECT_EQ(snapshot(m_disk / "업로드"), snapshot(tree));

    const Outcome ls = tavik({"ls", "업로드"});
    EXPECT_RUN(ls, 0);
    EXPECT_EQ(ls.out, "빈 폴더/\n하위 폴더/\n보고서.txt\n");

    // Into an existing local folder: the remote folder arrives under its own name.
    fs::create_directories(m_local / "back");
    const Outcome get = tavik({"get", "업로드", local("back")});
    EXPECT_RUN(get, 0);
    EXPECT_NE(get.out.find("downloaded 3 file(s)"), std::string::npos) << get.out;
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
}

TEST_F(ClientServerTest, ExistingDestinationsSkippedResumedOrOverwritten) {
    const std::string content = randomBytes(200000, 2);
    writeAll(m_disk / "big.bin", content);

    // Download: a local prefix is resumed, not transferred again.
    writeAll(m_local / "big.bin", content.substr(0, 70000));
    const Outcome skipped = tavik({"get", "big.bin", local("big.bin")});
    EXPECT_RUN(skipped, 0); // not a terminal: skipped, with a note
    EXPECT_NE(skipped.err.find("skipped"), std::string::npos) << skipped.err;
    EXPECT_EQ(fs::file_size(m_local / "big.bin"), 70000u);

    const Outcome resumed = tavik({"get", "--resume", "big.bin", local("big.bin")});
    EXPECT_RUN(resumed, 0);
    EXPECT_EQ(readAll(m_local / "big.bin"), content);
    EXPECT_NE(resumed.out.find("downloaded 1 file(s), 127 KiB"), std::string::npos)
        << resumed.out; // 130000 bytes moved, not 200000

    writeAll(m_local / "big.bin", std::string(300000, 'x')); // longer and different
    EXPECT_RUN(tavik({"get", "--overwrite", "big.bin", local("big.bin")}), 0);
    EXPECT_EQ(readAll(m_local / "big.bin"), content);

    // Upload: the same three answers on the server side.
    writeAll(m_local / "up.bin", content);
    writeAll(m_disk / "up.bin", content.substr(0, 1000));
    EXPECT_RUN(tavik({"put", local("up.bin")}), 0);
    EXPECT_EQ(fs::file_size(m_disk / "up.bin"), 1000u);
    EXPECT_RUN(tavik({"put", "--resume", local("up.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "up.bin"), content);
    writeAll(m_disk / "up.bin", "something else entirely");
    EXPECT_RUN(tavik({"put", "--overwrite", local("up.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "up.bin"), content);
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
    EXPECT_NE(refused.err.find("tavik: rm /"), std::string::npos) << refused.err;
    EXPECT_RUN(tavik({"rm", "-r", "a"}), 0);
    EXPECT_FALSE(fs::exists(m_disk / "a"));
    EXPECT_RUN(tavik({"rm", "b/새 이름.txt"}), 0);
    EXPECT_FALSE(fs::exists(m_disk / "b" / "새 이름.txt"));

    // Several paths: the good ones are done, the status reports the bad one.
    const Outcome partly = tavik({"mkdir", "c", "missing/d"});
    EXPECT_RUN(partly, 1);
    EXPECT_TRUE(fs::is_directory(m_disk / "c"));
}

TEST_F(ClientServerTest, CatReadsWholeFilesBlockByBlock) {
    const std::string content = randomBytes(150000, 3); // three read blocks
    writeAll(m_disk / "blob.bin", content);
    writeAll(m_disk / "tail.txt", "end\n");
    const Outcome cat = tavik({"cat", "blob.bin", "tail.txt"});
    EXPECT_RUN(cat, 0);
    EXPECT_EQ(cat.out, content + "end\n");
}

TEST_F(ClientServerTest, ErrorPaths) {
    const Outcome missingStat = tavik({"stat", "nothing.txt"});
    EXPECT_RUN(missingStat, 1);
    EXPECT_NE(missingStat.err.find("file or directory not exist (23006)"), std::string::npos)
        << missingStat.err;
    EXPECT_TRUE(missingStat.out.empty());

    const Outcome missingGet = tavik({"get", "nothing.txt", local("x")});
    EXPECT_RUN(missingGet, 1);
    EXPECT_NE(missingGet.err.find("(23006)"), std::string::npos) << missingGet.err;
    EXPECT_FALSE(fs::exists(m_local / "x"));

    const Outcome missingCat = tavik({"cat", "nothing.txt"});
    EXPECT_RUN(missingCat, 1);
    EXPECT_NE(missingCat.err.find("tavik: cat /"), std::string::npos) << missingCat.err;

    const Outcome missingPut = tavik({"put", local("nothing.txt")});
    EXPECT_RUN(missingPut, 1);
    EXPECT_NE(missingPut.err.find("no such local file"), std::string::npos) << missingPut.err;

    const Outcome wrongDisk = tavik({"ls"}, "no-such-disk");
    EXPECT_RUN(wrongDisk, 1);
    EXPECT_NE(wrongDisk.err.find("wrong id (22001)"), std::string::npos) << wrongDisk.err;
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
    EXPECT_NE(down.err.find("connect fail (21001)"), std::string::npos) << down.err;
}

} // namespace
} // namespace tavik::test

#endif
