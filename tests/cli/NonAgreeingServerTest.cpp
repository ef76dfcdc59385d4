// The tavik program against a disk server that knows only 32-bit sizes (a scripted peer whose
// login reply carries no agreement): a remote file reported with the clamped size 0xFFFFFFFF and
// a local file of 4 GiB - 1 bytes or more are refused with the existing texts before any transfer
// is asked for, and no local file is made, cut short or changed; the files that fit still go, and
// a file read to standard output (the server's own position, no range) is not refused. Each row's
// script is exactly what the program may ask, so a transfer request it was not given fails the row.
#if defined(TAVIK_CLI_PROGRAM)

#include "tests/cli/CChildProcess.h"
#include "tests/cli/FakeServerRun.h"
#include "tests/support/CFakeDiskServer.h"
#include "tests/support/CTempFolder.h"
#include "tests/support/FileBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace tavik::test {
namespace {

constexpr uintmax_t kClamp = 0xFFFFFFFFull;
constexpr uintmax_t kFiveGiB = 5ull << 30;

std::vector<FakeItem> entry(int n, const std::string& path, int32_t size, int32_t type) {
    const std::string i = std::to_string(n);
    return {{"p" + i, path}, {"s" + i, size}, {"t" + i, type}, {"d" + i, "2026-01-02 03:04"}};
}

// A listing reply of the given entries (path, size, type 1 for a folder).
std::vector<FakeItem> listing(const std::vector<std::tuple<std::string, int32_t, int32_t>>& all) {
    std::vector<FakeItem> items = {{"num", static_cast<int32_t>(all.size())}};
    int n = 0;
    for (const auto& [path, size, type] : all) {
        const std::vector<FakeItem> one = entry(++n, path, size, type);
        items.insert(items.end(), one.begin(), one.end());
    }
    return items;
}

// Every local file with its size, and the bytes of the small ones.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(item.path(), root).string();
        if (item.is_directory()) {
            tree[name] = "/";
        } else if (item.file_size() > 64) {
            tree[name] = std::to_string(item.file_size()) + " bytes";
        } else {
            std::ifstream in(item.path(), std::ios::binary);
            tree[name] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

struct Row {
    const char* name;
    std::map<std::string, uintmax_t> sparse;      // local files made first, no bytes written
    std::map<std::string, std::string> written;   // local files made first with these bytes
    std::function<void(CFakeDiskServer&)> script; // after the login
    std::vector<std::string> args;                // "{L}" stands for the local folder
    int exitCode;
    std::map<std::string, std::string> after; // the local folder afterwards
    std::vector<std::string> named;           // texts the error output must hold
    const char* out = "";                     // the standard output
};

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"get of the clamped file onto a file of its name",
         {},
         {{"huge", "keep"}},
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(listing({{"/disk/huge", -1, 0}}));
         },
         {"get", "--overwrite", "huge", "{L}"},
         1,
         {{"huge", "keep"}},
         {"remote file /huge", "4 GiB"}},
        {"get --resume of the clamped file beside a kept part",
         {},
         {{".huge.tavik-part", "abc"}},
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(listing({{"/disk/huge", -1, 0}}));
         },
         {"get", "--resume", "huge", "{L}"},
         1,
         {{".huge.tavik-part", "abc"}},
         {"remote file /huge", "4 GiB"}},
        // To standard output the file is read where the server's own position stands, which no
        // 32-bit range limits: nothing is refused and nothing is cut short.
        {"get of the clamped file to standard output",
         {},
         {},
         [](CFakeDiskServer& s) {
             // Its size, clamped, rules out the whole-file stream; the blocks follow.
             s.expect("getfileinfo").reply(listing({{"/disk/huge", -1, 0}}));
             s.expect("openfile")
                 .reply({{"fd", 5}})
                 .expect("readfile")
                 .reply({{"size", 3}, FakeItem::data("data", {'a', 'b', 'c'})})
                 .expect("readfile")
                 .reply({{"size", 0}})
                 .expect("closefile")
                 .reply({});
         },
         {"get", "huge", "-"},
         0,
         {},
         {},
         "abc"},
        {"get of a folder with the clamped file and a small one",
         {},
         {},
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply(listing({{"/disk/d", 0, 1}}));
             s.expect("getfileinfo")
                 .reply(listing({{"/disk/d", 0, 1}, {"/disk/d/huge", -1, 0}, {"/disk/d/s", 2, 0}}));
             s.expect("download")
                 .reply({})
                 .sendRaw({'o', 'k'})
                 .reply({})
                 .expect("getfiletime")
                 .reply({{"lastwritetime", 1700000000}});
         },
         {"get", "-P", "1", "d", "{L}"},
         1,
         {{"d", "/"}, {"d/s", "ok"}},
         {"remote file /d/huge", "4 GiB", "failed 1"}},
        {"put of a local file of 5 GiB",
         {{"big.vhd", kFiveGiB}},
         {},
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply({{"error", 23006}});
             s.expect("getfileinfo").reply(listing({{"/disk", 0, 1}}));
         },
         {"put", "{L}/big.vhd", "big.vhd"},
         1,
         {{"big.vhd", std::to_string(kFiveGiB) + " bytes"}},
         {"big.vhd", "larger than 4 GiB - 2 bytes"}},
        {"put of a local file of exactly 0xFFFFFFFF bytes",
         {{"clamp.bin", kClamp}},
         {},
         [](CFakeDiskServer& s) {
             s.expect("getfileinfo").reply({{"error", 23006}});
             s.expect("getfileinfo").reply(listing({{"/disk", 0, 1}}));
         },
         {"put", "{L}/clamp.bin", "clamp.bin"},
         1,
         {{"clamp.bin", std::to_string(kClamp) + " bytes"}},
         {"clamp.bin", "larger than 4 GiB - 2 bytes"}},
    };
    return table;
}

TEST(NonAgreeingServerCliTest, ClampedAndLargeFilesAreRefusedAndNothingIsCut) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        CTempFolder folder;
        ASSERT_FALSE(folder.path().empty());
        const fs::path local(folder.path());
        for (const auto& [name, size] : row.sparse) {
            writeSparse((local / name).string(), size);
        }
        for (const auto& [name, bytes] : row.written) {
            std::ofstream(local / name, std::ios::binary) << bytes;
        }
        CFakeDiskServer server(8000);
        server.expectLogin("/disk", 1);
        row.script(server);
        server.expectClosed();
        server.start();
        std::vector<std::string> argv;
        for (std::string arg : row.args) {
            if (const size_t at = arg.find("{L}"); at != std::string::npos) {
                arg.replace(at, 3, local.string());
            }
            argv.push_back(arg);
        }
        const CChildProcess::Outcome run = runCliAgainstFake(server.port(), argv);
        EXPECT_TRUE(server.finish());
        EXPECT_EQ(run.exitCode, row.exitCode) << "stdout: " << run.out << "\nstderr: " << run.err;
        EXPECT_EQ(snapshot(local), row.after);
        if (std::find(row.args.begin(), row.args.end(), "-") != row.args.end()) {
            EXPECT_EQ(run.out, row.out);
        }
        for (const std::string& text : row.named) {
            EXPECT_NE(run.err.find(text), std::string::npos)
                << "missing \"" << text << "\" in\nstderr: " << run.err;
        }
    }
}

} // namespace
} // namespace tavik::test

#endif
