// The tavik program against a scripted disk server that dies, answers wrongly or falls silent:
// whatever happens, the files on disk and the exit status must say the same thing. Each row is
// one server's behaviour, the command run against it, the exit status, every file left in the
// local folder (with its bytes) and what standard error must name.
#if defined(TAVIK_CLI_PROGRAM)

#include "tests/cli/CChildProcess.h"
#include "tests/cli/FakeServerRun.h"
#include "tests/support/CFakeDiskServer.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tavik::test {
namespace {

std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        tree[fs::relative(entry.path(), root).string()] = entry.is_directory() ? "/" : bytes.str();
    }
    return tree;
}

std::vector<uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// One file of the listing that a stat of path answers.
std::vector<FakeItem> fileEntry(const std::string& path, int32_t size) {
    return {{"num", 1}, {"p1", path}, {"s1", size}, {"t1", 0}, {"d1", "2026-01-02 03:04"}};
}

std::vector<FakeItem> folderEntry(const std::string& path) {
    return {{"num", 1}, {"p1", path}, {"s1", 0}, {"t1", 1}, {"d1", "2026-01-02 03:04"}};
}

// The `put` of a new file f.bin up to its "upload" request, answered.
CFakeDiskServer& expectNewUploadStart(CFakeDiskServer& server) {
    const std::vector<FakeItem> missing = {{"error", 23006}};
    return server
        .expect("getfileinfo") // the destination: a new name
        .reply(missing)
        .expect("getfileinfo") // its folder
        .reply(folderEntry("/disk"))
        .expect("getfileinfo") // the file itself, just before the transfer
        .reply(missing)
        .expect("upload")
        .reply({});
}

// A whole download of one file: announce, data, closing reply, then the time query.
void serveFile(CFakeDiskServer& server, const std::string& bytes) {
    server.expect("download")
        .reply({})
        .sendRaw(bytesOf(bytes))
        .reply({})
        .expect("getfiletime")
        .reply({{"lastwritetime", 1700000000}});
}

struct Row {
    const char* name;
    std::function<void(CFakeDiskServer&)> script; // after the login
    std::vector<std::string> args;                // the local folder is appended
    int exitCode;
    std::map<std::string, std::string> files; // the local folder afterwards
    std::vector<std::string> named;           // texts the output must hold
    bool partContentUnchecked = false;        // a part file may hold whatever arrived
};

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"a whole file: the reference case",
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(fileEntry("/disk/f.bin", 5));
             serveFile(s, "hello");
         },
         {"get", "f.bin"},
         0,
         {{"f.bin", "hello"}},
         {}},
        {"the server dies after the first of four files",
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(folderEntry("/disk/d"));
             s.expect("getfileinfo")
                 .reply({{"num", 5},
                         {"p1", "/disk/d"},
                         {"t1", 1},
                         {"p2", "/disk/d/a"},
                         {"s2", 3},
                         {"t2", 0},
                         {"p3", "/disk/d/b"},
                         {"s3", 3},
                         {"t3", 0},
                         {"p4", "/disk/d/c"},
                         {"s4", 3},
                         {"t4", 0},
                         {"p5", "/disk/d/e"},
                         {"s5", 3},
                         {"t5", 0}});
             serveFile(s, "aaa");
             s.close();
         },
         {"get", "-P", "1", "d"}, // one connection: the script is one session's
         1,
         {{"d", "/"}, {"d/a", "aaa"}},
         {"remote file /d/b", "remote file /d/c", "remote file /d/e", "failed 3"}},
        {"a closing reply with an error",
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(fileEntry("/disk/f.bin", 5));
             s.expect("download").reply({}).sendRaw(bytesOf("hello")).reply({{"error", 23001}});
         },
         {"get", "f.bin"},
         1,
         {{".f.bin.tavik-part", "hello"}},
         {"remote file /f.bin", "(23001)", "kept as", "--resume"}},
        {"a closing reply out of step: sent before all the data, then the connection ends",
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(fileEntry("/disk/f.bin", 100));
             s.expect("download").reply({}).sendRaw(bytesOf("hel")).reply({}).close();
         },
         {"get", "f.bin"},
         1,
         {}, // besides the part file, whose bytes are whatever arrived
         {"remote file /f.bin", "(21002)"},
         true},
        {"a size the server clamped to 0xFFFFFFFF",
         [](CFakeDiskServer& s) { s.expect("getfileinfo").reply(fileEntry("/disk/huge", -1)); },
         {"get", "huge"},
         1,
         {},
         {"remote file /huge", "4 GiB"}},
        {"listed entries with a foreign prefix, an unmappable name and backslashes",
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(folderEntry("/disk/d"));
             s.expect("getfileinfo")
                 .reply({{"num", 5},
                         {"p1", "/disk/d"},
                         {"t1", 1},
                         {"p2", "/other/x"},
                         {"s2", 3},
                         {"t2", 0},
                         {"p3", std::string("/disk/d/\x80z")},
                         {"s3", 3},
                         {"t3", 0},
                         {"p4", "/disk/d/ok"},
                         {"s4", 2},
                         {"t4", 0},
                         {"p5", "/disk/d/..\\..\\evil"},
                         {"s5", 2},
                         {"t5", 0}});
             serveFile(s, "ok");
         },
         {"get", "-P", "1", "d"}, // one connection: the script is one session's
         1,
         {{"d", "/"}, {"d/ok", "ok"}},
         {"/other/x", "code page", "evil", "failed 3"}},
        {"a server that answers nothing after the login",
         [](CFakeDiskServer& s) { s.expect("getfileinfo").stall(2500); },
         {"--timeout", "500", "get", "f.bin"},
         1,
         {},
         {"timed out"}},
        {"a data phase that stops moving",
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(fileEntry("/disk/f.bin", 100));
             s.expect("download").reply({}).sendRaw(bytesOf("partial")).stall(2500);
         },
         {"--timeout", "500", "get", "f.bin"},
         1,
         {{".f.bin.tavik-part", "partial"}},
         {"timed out"}},
    };
    return table;
}

TEST(MisbehavingServerTest, FilesOnDiskAndTheExitStatusAgree) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        CTempFolder folder;
        const fs::path local(folder.path());
        ASSERT_FALSE(folder.path().empty());
        CFakeDiskServer server(8000);
        server.expectLogin("/disk", 1);
        row.script(server);
        server.start();
        std::vector<std::string> args = row.args;
        args.push_back(local.string());
        const CChildProcess::Outcome run = runCliAgainstFake(server.port(), args);
        server.finish();
        EXPECT_EQ(run.exitCode, row.exitCode) << "stdout: " << run.out << "\nstderr: " << run.err;
        std::map<std::string, std::string> files = snapshot(local);
        if (row.partContentUnchecked) {
            EXPECT_EQ(files.erase(".f.bin.tavik-part"), 1u); // never under the final name
        }
        EXPECT_EQ(files, row.files);
        for (const std::string& text : row.named) {
            const bool shown =
                run.err.find(text) != std::string::npos || run.out.find(text) != std::string::npos;
            EXPECT_TRUE(shown) << "missing \"" << text << "\" in\nstdout: " << run.out
                               << "\nstderr: " << run.err;
        }
    }
}

// An upload cut off by the server: its bytes went to a hidden name beside the target, the
// target's name was never used, and the message says how to continue.
TEST(MisbehavingServerTest, ACutUploadNeverWritesUnderTheFinalName) {
    CTempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const fs::path source = fs::path(folder.path()) / "f.bin";
    std::ofstream(source, std::ios::binary) << "0123456789";
    CFakeDiskServer server(8000);
    expectNewUploadStart(server.expectLogin("/disk", 1)).recvRaw(3).close().start();
    const CChildProcess::Outcome run =
        runCliAgainstFake(server.port(), {"put", source.string(), "f.bin"});
    EXPECT_TRUE(server.finish());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const auto& packets = server.packets();
    ASSERT_GE(packets.size(), 5u);
    EXPECT_EQ(packets[4].str("path").value_or(""), "/disk/.f.bin.tavik-part");
    EXPECT_NE(run.err.find("remote file /.f.bin.tavik-part; the same command with --resume"),
              std::string::npos)
        << run.err;
}

// A whole upload: a server that agreed on upload commits is asked to give the file its time and
// name within the upload; with one that did not, both follow as requests of their own.
TEST(MisbehavingServerTest, AnUploadCommitsInOneRequestOnlyWhereAgreed) {
    for (const bool agreeing : {false, true}) {
        SCOPED_TRACE(agreeing ? "agreeing" : "not agreeing");
        CTempFolder folder;
        ASSERT_FALSE(folder.path().empty());
        const fs::path source = fs::path(folder.path()) / "f.bin";
        std::ofstream(source, std::ios::binary) << "0123456789";
        const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
        std::vector<FakeItem> login = {{"error", 0}, {"path", "/disk"}, {"mode", 1}};
        if (agreeing) {
            login.push_back({"uploadcommit", 1});
        }
        CFakeDiskServer server(8000);
        expectNewUploadStart(server.expect("setuser").reply(login)).recvRaw(10);
        if (agreeing) {
            server.reply({{"error", 0}, {"committed", 1}});
        } else {
            server.reply({}).expect("setfiletime").reply({}).expect("renamefile").reply({});
        }
        server.start();
        const CChildProcess::Outcome run =
            runCliAgainstFake(server.port(), {"put", source.string(), "f.bin"});
        EXPECT_TRUE(server.finish());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const auto& packets = server.packets();
        ASSERT_EQ(packets.size(), agreeing ? 5u : 7u);
        const CFakePacket& upload = packets[4];
        EXPECT_EQ(upload.str("path").value_or(""), "/disk/.f.bin.tavik-part");
        EXPECT_EQ(upload.has("commitpath"), agreeing);
        if (agreeing) {
            EXPECT_EQ(upload.str("commitpath").value_or(""), "/disk/f.bin");
            EXPECT_EQ(upload.integer("committime"), 1600000000);
            EXPECT_EQ(upload.integer("commitreplace"), 0);
        } else {
            EXPECT_EQ(packets[5].integer("lastwritetime"), 1600000000);
            EXPECT_EQ(packets[6].str("oldpath").value_or(""), "/disk/.f.bin.tavik-part");
            EXPECT_EQ(packets[6].str("newpath").value_or(""), "/disk/f.bin");
        }
    }
}

} // namespace
} // namespace tavik::test

#endif
