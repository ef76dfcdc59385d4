// A disk with read_only = true: every command that would change it is refused with 23009 and a
// text that says why, and nothing on the disk changes; reading goes on as before.
#include "tests/server/CServerHarness.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

struct Item {
    const char* name;
    const char* text; // nullptr: the integer
    int32_t number;
};

struct Command {
    const char* command;
    std::vector<Item> items;
};

// Every command with its items as a client would send them to change the disk.
const std::vector<Command> kWritingCommands = {
    {"openfile", {{"filename", "/demo/new.txt", 0}, {"flags", nullptr, 1 | 0x40}}},
    {"openfile", {{"filename", "/demo/kept.txt", 0}, {"flags", nullptr, 2}}},
    {"openfile", {{"filename", "/demo/kept.txt", 0}, {"flags", nullptr, 0x200}}},
    {"openfile", {{"filename", "/demo/kept.txt", 0}, {"flags", nullptr, 0x400 | 1}}},
    {"createdir", {{"path", "/demo/folder", 0}}},
    {"createdir", {{"basepath", "/demo", 0}}},
    {"createfile", {{"path", "/demo/new.txt", 0}}},
    {"deletefile", {{"path", "/demo/kept.txt", 0}}},
    {"renamefile", {{"oldpath", "/demo/kept.txt", 0}, {"newpath", "/demo/renamed.txt", 0}}},
    {"movefile", {{"srcpath", "/demo/kept.txt", 0}, {"destpath", "/demo/sub", 0}}},
    {"copyfile", {{"srcpath", "/demo/kept.txt", 0}, {"destpath", "/demo/copy.txt", 0}}},
    {"setfiletime", {{"path", "/demo/kept.txt", 0}, {"filetime", nullptr, 1000}}},
    {"upload",
     {{"path", "/demo/kept.txt", 0},
      {"startpos", nullptr, 0},
      {"endpos", nullptr, 1},
      {"istrunc", nullptr, 1}}},
    {"remotecmd", {{"command", "true", 0}}},
};

class ServerReadOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness.running());
        ASSERT_TRUE(fs::create_directory(harness.disk("sub")));
        std::ofstream(harness.disk("kept.txt")) << "kept";
        ASSERT_TRUE(client.connect(harness.port()));
        ASSERT_EQ(client.login(), 0);
    }

    CServerHarness harness{[](server::CServerConfig& config) {
        config.disks.front().readOnly = true;
        config.allowedCommands = {"true"};
    }};
    CTestClient client;
};

TEST_F(ServerReadOnlyTest, EveryWritingCommandIsRefusedAndTheDiskStaysAsItWas) {
    for (const Command& command : kWritingCommands) {
        auto request = CTestClient::request(command.command);
        for (const Item& item : command.items) {
            if (item.text != nullptr) {
                request->SetString(item.name, item.text);
            } else {
                request->SetInt(item.name, item.number);
            }
        }
        CPacket reply;
        EXPECT_EQ(client.call(*request, reply), TAVIK_ERR_PERMISSION) << command.command;
        EXPECT_STREQ(reply.GetString("errstr", ""), "permission deny: the disk is read-only")
            << command.command;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(harness.disk())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"kept.txt", "sub"}));
    EXPECT_EQ(fs::file_size(harness.disk("kept.txt")), 4u);
}

TEST_F(ServerReadOnlyTest, ReadingGoesOn) {
    auto open = CTestClient::request("openfile");
    open->SetString("filename", "/demo/kept.txt");
    open->SetInt("flags", 0);
    CPacket opened;
    ASSERT_EQ(client.call(*open, opened), 0);
    auto read = CTestClient::request("readfile");
    read->SetInt("fd", opened.GetInt("fd", 0));
    read->SetInt("size", 16);
    CPacket data;
    ASSERT_EQ(client.call(*read, data), 0);
    EXPECT_EQ(data.GetInt("size", -1), 4);
    // A file opened for reading cannot be written either.
    auto write = std::make_unique<CPacket>(0); // file data travels unscrambled
    write->SetString("_cmd", "writefile");
    write->SetInt("fd", opened.GetInt("fd", 0));
    write->SetInt("size", 1);
    write->SetData("data", "x", 1);
    EXPECT_EQ(client.call(*write), TAVIK_ERR_PERMISSION);
    auto info = CTestClient::request("getfileinfo");
    info->SetString("path", "/demo");
    info->SetInt("infotype", 63);
    info->SetInt("recursivelevel", 1);
    EXPECT_EQ(client.call(*info), 0);
    auto download = CTestClient::request("download");
    download->SetString("path", "/demo/kept.txt");
    download->SetInt("startpos", 0);
    download->SetInt("endpos", 4);
    EXPECT_EQ(client.call(*download), 0);
    std::string bytes;
    EXPECT_TRUE(client.recvRaw(bytes, 4));
    EXPECT_EQ(bytes, "kept");
}

} // namespace
} // namespace tavik::test
