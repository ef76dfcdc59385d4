// The confinement race: while links inside the disk are swapped between a real folder and a way
// out, clients keep reading, writing, removing, renaming and copying through them. Nothing
// outside the disk's root may be read, written or removed.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInside = "INSIDE!!";
constexpr const char* kOutside = "OUTSIDE!"; // same length: ranges checked on either fit both
constexpr auto kRaceTime = std::chrono::seconds(3);

// Names, sizes, modification times and contents of everything below a folder.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        std::string state = std::to_string(info.st_mode) + " " + std::to_string(info.st_size) +
                            " " + std::to_string(info.st_mtim.tv_sec) + "." +
                            std::to_string(info.st_mtim.tv_nsec);
        if (entry.is_regular_file()) {
            state += " " + readFile(entry.path());
        }
        entries[entry.path().lexically_relative(folder).string()] = state;
    }
    return entries;
}

struct Tally {
    std::atomic<int> insideReads{0};
    std::atomic<int> refused{0};
    std::atomic<int> leaked{0};
};

// One client that keeps running one kind of request against "/demo/a/…" until told to stop.
void attack(uint16_t port, int kind, const std::atomic<bool>& stop, Tally& tally) {
    CTestClient client;
    if (!client.connect(port) || client.login() != 0) {
        return;
    }
    for (int round = 0; !stop; ++round) {
        const std::string n = std::to_string(kind) + "-" + std::to_string(round);
        std::unique_ptr<CPacket> request;
        CPacket reply;
        int32_t error = 0;
        switch (kind) {
        case 0: { // read through an open file
            request = CTestClient::request("openfile");
            request->SetString("filename", "/demo/a/secret");
            request->SetInt("flags", 0);
            error = client.call(*request, reply);
            if (error == 0) {
                const int32_t fd = reply.GetInt("fd", 0);
                auto read = CTestClient::request("readfile");
                read->SetInt("fd", fd);
                read->SetInt("size", 64);
                CPacket data;
                client.call(*read, data);
                const auto bytes = data.Find("data");
                const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
                tally.leaked += text == kOutside ? 1 : 0;
                tally.insideReads += text == kInside ? 1 : 0;
                auto close = CTestClient::request("closefile");
                close->SetInt("fd", fd);
                client.call(*close);
            }
            break;
        }
        case 1: { // download
            request = CTestClient::request("download");
            request->SetString("path", "/demo/a/secret");
            request->SetInt("startpos", 0);
            request->SetInt("endpos", 8);
            error = client.call(*request, reply);
            if (error == 0) {
                std::string bytes;
                CPacket closing;
                if (!client.recvRaw(bytes, 8) || !client.receive(closing)) {
                    return;
                }
                tally.leaked += bytes == kOutside ? 1 : 0;
                tally.insideReads += bytes == kInside ? 1 : 0;
            }
            break;
        }
        case 2: { // write: upload, create a file and a folder
            request = CTestClient::request("upload");
            request->SetString("path", ("/demo/a/up-" + n).c_str());
            request->SetInt("startpos", 0);
            request->SetInt("endpos", 4);
            request->SetInt("istrunc", 1);
            error = client.call(*request, reply);
            if (error == 0) {
                CPacket closing;
                if (!client.sendRaw("data") || !client.receive(closing)) {
                    return;
                }
            }
            auto create = CTestClient::request("createfile");
            create->SetString("fullpath", ("/demo/a/new-" + n).c_str());
            client.call(*create);
            auto folder = CTestClient::request("createdir");
            folder->SetString("fullpath", ("/demo/a/dir-" + n).c_str());
            client.call(*folder);
            break;
        }
        case 3: { // remove, then put the victim back
            request = CTestClient::request("deletefile");
            request->SetString("path", "/demo/a/victim");
            request->SetString("opt", "force");
            error = client.call(*request, reply);
            auto create = CTestClient::request("createfile");
            create->SetString("fullpath", "/demo/a/victim");
            client.call(*create);
            break;
        }
        case 4: { // move things in and out, rename, copy out of the way, touch
            request = CTestClient::request("renamefile");
            request->SetString("oldpath", "/demo/a/victim");
            request->SetString("newpath", ("/demo/moved-" + n).c_str());
            error = client.call(*request, reply);
            auto move = CTestClient::request("movefile");
            move->SetString("srcpath", ("/demo/moved-" + n).c_str());
            move->SetString("dirpath", "/demo/a");
            client.call(*move);
            auto copy = CTestClient::request("copyfile");
            copy->SetString("srcpath", "/demo/a/secret");
            copy->SetString("dirpath", ("/demo/copies/" + std::to_string(round % 50)).c_str());
            client.call(*copy);
            auto touch = CTestClient::request("setfiletime");
            touch->SetString("path", "/demo/a/secret");
            touch->SetInt("lastaccesstime", 1000);
            touch->SetInt("lastwritetime", 1000);
            client.call(*touch);
            break;
        }
        default: { // listings must not show what lies outside
            request = CTestClient::request("getfileinfo");
            request->SetString("path", "/demo/a");
            request->SetInt("infotype", 63);
            request->SetInt("recursivelevel", 1);
            error = client.call(*request, reply);
            for (int i = 1; error == 0 && i <= reply.GetInt("num", 0); ++i) {
                const std::string path = reply.GetString(("p" + std::to_string(i)).c_str(), "");
                tally.leaked += path.find("outside-only") != std::string::npos ? 1 : 0;
            }
            break;
        }
        }
        if (error == client.kNoReply) {
            return;
        }
        tally.refused += error == TAVIK_ERR_PERMISSION ? 1 : 0;
    }
}

TEST(ServerConfinement, SwappedLinksNeverLeadRequestsOutOfTheRoot) {
    CServerHarness harness;
    ASSERT_TRUE(harness.running());
    const fs::path disk = harness.disk();
    const fs::path outside = disk.parent_path() / "outside";
    fs::create_directories(outside / "sub");
    ASSERT_TRUE(writeFile(outside / "secret", kOutside));
    ASSERT_TRUE(writeFile(outside / "victim", "keep me"));
    ASSERT_TRUE(writeFile(outside / "outside-only", "x"));
    fs::create_directories(disk / "a");
    ASSERT_TRUE(writeFile(disk / "a" / "secret", kInside));
    ASSERT_TRUE(writeFile(disk / "a" / "victim", "inside"));
    for (int i = 0; i < 50; ++i) {
        fs::create_directories(disk / "copies" / std::to_string(i));
    }
    // Two ways out: a relative link and an absolute one; "a" trades places with each in turn.
    fs::create_symlink("../outside", disk / "rel");
    fs::create_symlink(outside, disk / "abs");
    const auto before = snapshot(outside);

    std::atomic<bool> stop{false};
    Tally tally;
    std::vector<std::thread> clients;
    for (int kind = 0; kind < 6; ++kind) {
        clients.emplace_back(attack, harness.port(), kind, std::cref(stop), std::ref(tally));
    }
    // The local swapper: far faster than any client could swap with "renamefile".
    long swaps = 0;
    const auto end = std::chrono::steady_clock::now() + kRaceTime;
    while (std::chrono::steady_clock::now() < end) {
        const char* other = swaps % 4 < 2 ? "rel" : "abs";
        if (::renameat2(AT_FDCWD, (disk / "a").c_str(), AT_FDCWD, (disk / other).c_str(),
                        RENAME_EXCHANGE) == 0) {
            ++swaps;
        }
    }
    stop = true;
    for (std::thread& client : clients) {
        client.join();
    }

    EXPECT_EQ(snapshot(outside), before) << "something outside the root changed";
    EXPECT_EQ(tally.leaked.load(), 0) << "bytes or names from outside reached a client";
    for (const auto& entry : fs::recursive_directory_iterator(disk / "copies")) {
        if (entry.is_regular_file()) {
            EXPECT_NE(readFile(entry.path()), kOutside) << entry.path();
        }
    }
    // The race was really run: both states of "a" were met.
    EXPECT_GT(swaps, 100);
    EXPECT_GT(tally.insideReads.load(), 0);
    EXPECT_GT(tally.refused.load(), 0);
}

} // namespace
} // namespace tavik::test
