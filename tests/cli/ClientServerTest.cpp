// The tavik program against the reference server, both run as programs the way a user runs
// them: every command, its exit status and its messages, a folder round trip with Korean names,
// existing destinations (skip, resume, overwrite), and the error paths.
#if defined(TAVIK_CLI_PROGRAM) && defined(TAVIK_SERVER_PROGRAM)

#include "tests/cli/CChildProcess.h"
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
    EXPECT_NE(skipped.out.find("skipped 1"), std::string::npos) << skipped.out;
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
    EXPECT_RUN(tavik({"put", local("up.bin")}), 1);
    EXPECT_EQ(fs::file_size(m_disk / "up.bin"), 1000u);
    EXPECT_RUN(tavik({"put", "--resume", local("up.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "up.bin"), content);
    writeAll(m_disk / "up.bin", "something else entirely");
    EXPECT_RUN(tavik({"put", "--overwrite", local("up.bin")}), 0);
    EXPECT_EQ(readAll(m_disk / "up.bin"), content);
}

// A sparse file of size bytes whose last tail bytes hold content (the rest are holes).
void writeSparse(const fs::path& path, uint64_t size, const std::string& content,
                 uint64_t contentAt) {
    std::ofstream(path, std::ios::binary).flush();
    fs::resize_file(path, size);
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(contentAt));
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string readRange(const fs::path& path, uint64_t at, size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
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
    writeSparse(m_disk / "big.bin", kSize, tail, tailAt);

    const Outcome listed = tavik({"ls", "-l"});
    EXPECT_RUN(listed, 0);
    EXPECT_NE(listed.out.find("6442450944"), std::string::npos) << listed.out;

    writeSparse(m_local / "big.bin", cut, tail.substr(0, 50000), tailAt);
    const Outcome got = tavik({"get", "--resume", "big.bin", local("big.bin")});
    EXPECT_RUN(got, 0);
    EXPECT_EQ(fs::file_size(m_local / "big.bin"), kSize);
    EXPECT_EQ(readRange(m_local / "big.bin", tailAt, 100000), tail);
    EXPECT_LT(storedBytes(m_local / "big.bin"), 16ull << 20);

    writeSparse(m_local / "up.bin", kSize, tail, tailAt);
    writeSparse(m_disk / "up.bin", cut, tail.substr(0, 50000), tailAt);
    EXPECT_RUN(tavik({"put", "--resume", local("up.bin")}), 0);
    EXPECT_EQ(fs::file_size(m_disk / "up.bin"), kSize);
    EXPECT_EQ(readRange(m_disk / "up.bin", tailAt, 100000), tail);
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
    EXPECT_NE(put.out.find("failed 1"), std::string::npos) << put.out;
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
