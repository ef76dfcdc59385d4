// The server's answers to each command, over a real connection to an in-process server.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"

#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

class ServerProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness.running());
        ASSERT_TRUE(client.connect(harness.port()));
    }
    void loggedIn() { ASSERT_EQ(client.login(), 0); }

    int32_t simple(const char* command,
                   std::initializer_list<std::pair<const char*, const char*>> strings) {
        auto request = CTestClient::request(command);
        for (const auto& [name, value] : strings) {
            request->SetString(name, value);
        }
        return client.call(*request);
    }

    CServerHarness harness;
    CTestClient client;
};

// "한글" in CP949.
const std::string kHangulCp949 = "\xC7\xD1\xB1\xDB";

TEST_F(ServerProtocolTest, LoginReplyCarriesSessionPathModeAndEmptyAuthtype) {
    auto request = CTestClient::request("setuser");
    request->SetString("id", "demo");
    request->SetString("pass", "");
    CPacket reply;
    ASSERT_EQ(client.call(*request, reply), 0);
    EXPECT_STREQ(reply.GetString("path", "?"), "/demo");
    EXPECT_EQ(reply.GetInt("mode", 0), 3);
    const char* authtype = nullptr;
    ASSERT_TRUE(reply.GetString("authtype", &authtype));
    EXPECT_STREQ(authtype, "");
}

TEST_F(ServerProtocolTest, UnknownIdIsRefusedWithItsText) {
    auto request = CTestClient::request("setuser");
    request->SetString("id", "nobody");
    request->SetString("pass", "");
    CPacket reply;
    EXPECT_EQ(client.call(*request, reply), TAVIK_ERR_WRONG_ID);
    EXPECT_STREQ(reply.GetString("errstr", ""), "wrong id");
}

TEST(ServerLogin, WrongPasswordIsRefusedAndRightOneAccepted) {
    CServerHarness harness([](server::CServerConfig& config) {
        config.disks.front().password = server::CPasswordHash::fromPlain("s3cret");
    });
    ASSERT_TRUE(harness.running());
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    EXPECT_EQ(client.login("demo", "wrong"), TAVIK_ERR_WRONG_PASSWD);
    EXPECT_EQ(client.login("demo", ""), TAVIK_ERR_WRONG_PASSWD);
    EXPECT_EQ(client.login("demo", "s3cret"), 0);
}

TEST_F(ServerProtocolTest, EveryCommandBeforeLoginIsRefused) {
    for (const char* command : {"getfileinfo", "getquota", "download", "getserverinfo", "createdir",
                                "remotecmd", "openfile"}) {
        auto request = CTestClient::request(command);
        request->SetString("path", "/demo");
        CPacket reply;
        EXPECT_EQ(client.call(*request, reply), TAVIK_ERR_NOT_ALLOWED) << command;
        EXPECT_STREQ(reply.GetString("errstr", ""), "not allow command");
    }
    EXPECT_EQ(client.login(), 0);
    EXPECT_EQ(client.call(*CTestClient::request("getserverinfo")), 0);
}

TEST_F(ServerProtocolTest, UnknownCommandIsNotAllowed) {
    loggedIn();
    EXPECT_EQ(client.call(*CTestClient::request("formatdisk")), TAVIK_ERR_NOT_ALLOWED);
}

TEST_F(ServerProtocolTest, ListingLevelOnePutsTheFolderFirstThenFoldersThenFilesByName) {
    fs::create_directory(harness.disk("b"));
    fs::create_directory(harness.disk("a"));
    writeFile(harness.disk("z.txt"), "12345");
    writeFile(harness.disk("한글.txt"), "");
    loggedIn();

    auto request = CTestClient::request("getfileinfo");
    request->SetString("path", "/demo");
    request->SetInt("infotype", 63);
    request->SetInt("recursivelevel", 1);
    CPacket reply;
    ASSERT_EQ(client.call(*request, reply), 0);
    ASSERT_EQ(reply.GetInt("num", 0), 5);
    EXPECT_STREQ(reply.GetString("p1", ""), "/demo");
    EXPECT_STREQ(reply.GetString("p2", ""), "/demo/a");
    EXPECT_STREQ(reply.GetString("p3", ""), "/demo/b");
    EXPECT_STREQ(reply.GetString("p4", ""), "/demo/z.txt");
    EXPECT_EQ(std::string(reply.GetString("p5", "")), "/demo/" + kHangulCp949 + ".txt");
    EXPECT_EQ(reply.GetInt("t1", -1), 1);
    EXPECT_EQ(reply.GetInt("t2", -1), 1);
    EXPECT_EQ(reply.GetInt("t4", -1), 0);
    EXPECT_EQ(reply.GetInt("s4", -1), 5);
    const std::regex date(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2})");
    EXPECT_TRUE(std::regex_match(std::string(reply.GetString("d4", "")), date));
}

TEST_F(ServerProtocolTest, ListingHonoursTheKindAndFieldBits) {
    fs::create_directory(harness.disk("sub"));
    writeFile(harness.disk("f"), "x");
    loggedIn();

    auto files = CTestClient::request("getfileinfo");
    files->SetString("path", "/demo/");
    files->SetInt("infotype", 1 | 8); // files, sizes only
    files->SetInt("recursivelevel", 1);
    CPacket reply;
    ASSERT_EQ(client.call(*files, reply), 0);
    EXPECT_EQ(reply.GetInt("num", 0), 1);
    EXPECT_EQ(reply.GetInt("s1", -1), 1);
    EXPECT_TRUE(reply.Find("p1").empty());
    EXPECT_TRUE(reply.Find("d1").empty());
    EXPECT_TRUE(reply.Find("t1").empty());

    auto folders = CTestClient::request("getfileinfo");
    folders->SetString("path", "/demo/");
    folders->SetInt("infotype", 2 | 4);
    folders->SetInt("recursivelevel", 1);
    CPacket folderReply;
    ASSERT_EQ(client.call(*folders, folderReply), 0);
    ASSERT_EQ(folderReply.GetInt("num", 0), 2);
    // A path that ends in "/" is not given a second one.
    EXPECT_STREQ(folderReply.GetString("p1", ""), "/demo/");
    EXPECT_STREQ(folderReply.GetString("p2", ""), "/demo/sub");
}

// Each kind of entry lands in the listing of its kind: links as what they lead to inside the
// disk, never when they lead out or nowhere, and a named pipe among the files.
TEST_F(ServerProtocolTest, ListingSortsEveryKindOfEntryIntoFoldersOrFiles) {
    fs::create_directory(harness.disk("sub"));
    writeFile(harness.disk("file"), "x");
    fs::create_directory_symlink("sub", harness.disk("link-to-sub"));
    fs::create_symlink("file", harness.disk("link-to-file"));
    fs::create_symlink("/etc", harness.disk("link-out"));
    fs::create_symlink("none", harness.disk("link-dangling"));
    ASSERT_EQ(::mkfifo(harness.disk("pipe").c_str(), 0600), 0);
    loggedIn();

    const std::pair<int32_t, std::vector<std::string>> rows[] = {
        {1 | 4, {"/demo/file", "/demo/link-to-file", "/demo/pipe"}},
        {2 | 4, {"/demo", "/demo/link-to-sub", "/demo/sub"}},
        {1 | 2 | 4,
         {"/demo", "/demo/link-to-sub", "/demo/sub", "/demo/file", "/demo/link-to-file",
          "/demo/pipe"}},
        {4, {}}, // neither kind: not even the folder itself
    };
    for (const auto& [infotype, expected] : rows) {
        auto request = CTestClient::request("getfileinfo");
        request->SetString("path", "/demo");
        request->SetInt("infotype", infotype);
        request->SetInt("recursivelevel", 1);
        CPacket reply;
        ASSERT_EQ(client.call(*request, reply), 0) << infotype;
        std::vector<std::string> listed;
        for (int i = 1; i <= reply.GetInt("num", 0); ++i) {
            listed.emplace_back(reply.GetString(("p" + std::to_string(i)).c_str(), ""));
        }
        EXPECT_EQ(listed, expected) << "infotype " << infotype;
    }
}

TEST_F(ServerProtocolTest, ListingLevelZeroIsTheEntryItselfAndMinusOneCountsBelow) {
    fs::create_directories(harness.disk("x/y/z"));
    writeFile(harness.disk("x/y/f1"), "abc");
    writeFile(harness.disk("x/f2"), "");
    loggedIn();

    auto self = CTestClient::request("getfileinfo");
    self->SetString("path", "/demo/x/y/f1");
    self->SetInt("infotype", 63);
    self->SetInt("recursivelevel", 0);
    CPacket reply;
    ASSERT_EQ(client.call(*self, reply), 0);
    EXPECT_EQ(reply.GetInt("num", 0), 1);
    EXPECT_STREQ(reply.GetString("p1", ""), "/demo/x/y/f1");
    EXPECT_EQ(reply.GetInt("s1", 0), 3);
    EXPECT_EQ(reply.GetInt("t1", -1), 0);

    auto count = CTestClient::request("getfileinfo");
    count->SetString("path", "/demo/x");
    count->SetInt("infotype", 3);
    count->SetInt("recursivelevel", -1);
    CPacket countReply;
    ASSERT_EQ(client.call(*count, countReply), 0);
    EXPECT_EQ(countReply.GetInt("num", 0), 4); // y, y/z, y/f1, f2

    auto missing = CTestClient::request("getfileinfo");
    missing->SetString("path", "/demo/nothing");
    missing->SetInt("infotype", 63);
    missing->SetInt("recursivelevel", 1);
    EXPECT_EQ(client.call(*missing), TAVIK_ERR_NOT_EXIST);
}

TEST_F(ServerProtocolTest, PathsOutsideTheDiskAreRefused) {
    fs::create_symlink("/etc", harness.disk("out"));
    loggedIn();
    for (const char* path : {"/demo/../demo", "/demo/..", "/etc", "/demox", "/", "demo",
                             "/demo/out", "/demo/out/passwd", "/demo/a/../../x"}) {
        auto request = CTestClient::request("getfileinfo");
        request->SetString("path", path);
        request->SetInt("infotype", 63);
        request->SetInt("recursivelevel", 1);
        EXPECT_EQ(client.call(*request), TAVIK_ERR_PERMISSION) << path;
    }
    // The link out of the disk is not listed either.
    auto root = CTestClient::request("getfileinfo");
    root->SetString("path", "/demo");
    root->SetInt("infotype", 63);
    root->SetInt("recursivelevel", 1);
    CPacket reply;
    ASSERT_EQ(client.call(*root, reply), 0);
    EXPECT_EQ(reply.GetInt("num", 0), 1);
}

TEST_F(ServerProtocolTest, CreateDirByFullPathAndByBasePath) {
    loggedIn();
    EXPECT_EQ(simple("createdir", {{"fullpath", "/demo/new"}}), 0);
    EXPECT_TRUE(fs::is_directory(harness.disk("new")));
    EXPECT_EQ(simple("createdir", {{"fullpath", "/demo/new"}}), TAVIK_ERR_EXISTS);
    EXPECT_EQ(simple("createdir", {{"fullpath", "/demo/none/new"}}), TAVIK_ERR_NOT_EXIST);

    // "새 폴더" in CP949, then the same with " (1)".
    const std::string newFolder = "\xBB\xF5 \xC6\xFA\xB4\xF5";
    for (const std::string& expected : {newFolder, newFolder + " (1)"}) {
        auto request = CTestClient::request("createdir");
        request->SetString("basepath", "/demo/new");
        CPacket reply;
        ASSERT_EQ(client.call(*request, reply), 0);
        EXPECT_EQ(std::string(reply.GetString("path", "")), "/demo/new/" + expected);
    }
    EXPECT_TRUE(fs::is_directory(harness.disk("new/새 폴더 (1)")));
}

TEST_F(ServerProtocolTest, CreateDeleteRenameMoveCopy) {
    loggedIn();
    EXPECT_EQ(simple("createfile", {{"fullpath", "/demo/f"}}), 0);
    EXPECT_EQ(simple("createfile", {{"fullpath", "/demo/f"}}), TAVIK_ERR_EXISTS);
    ASSERT_TRUE(fs::is_regular_file(harness.disk("f")));

    fs::create_directories(harness.disk("full/inner"));
    EXPECT_EQ(simple("deletefile", {{"path", "/demo/full"}}), TAVIK_ERR_NOT_EMPTY_DIRECTORY);
    EXPECT_EQ(simple("deletefile", {{"path", "/demo/full"}, {"opt", "force"}}), 0);
    EXPECT_FALSE(fs::exists(harness.disk("full")));
    EXPECT_EQ(simple("deletefile", {{"path", "/demo/full"}}), TAVIK_ERR_NOT_EXIST);
    EXPECT_EQ(simple("deletefile", {{"path", "/demo"}, {"opt", "force"}}), TAVIK_ERR_PERMISSION);

    writeFile(harness.disk("g"), "gg");
    EXPECT_EQ(simple("renamefile", {{"oldpath", "/demo/f"}, {"newpath", "/demo/g"}}),
              TAVIK_ERR_EXISTS);
    EXPECT_EQ(readFile(harness.disk("g")), "gg");
    EXPECT_EQ(simple("renamefile", {{"oldpath", "/demo/g"}, {"newpath", "/demo/h"}}), 0);
    EXPECT_EQ(readFile(harness.disk("h")), "gg");

    fs::create_directory(harness.disk("dir"));
    EXPECT_EQ(simple("copyfile", {{"srcpath", "/demo/h"}, {"dirpath", "/demo/dir"}}), 0);
    EXPECT_EQ(readFile(harness.disk("dir/h")), "gg");
    EXPECT_EQ(simple("copyfile", {{"srcpath", "/demo/h"}, {"dirpath", "/demo/dir"}}),
              TAVIK_ERR_EXISTS);
    EXPECT_EQ(simple("movefile", {{"srcpath", "/demo/f"}, {"dirpath", "/demo/h"}}),
              TAVIK_ERR_NOT_DIRECTORY);
    EXPECT_EQ(simple("movefile", {{"srcpath", "/demo/f"}, {"dirpath", "/demo/dir"}}), 0);
    EXPECT_TRUE(fs::exists(harness.disk("dir/f")));
    EXPECT_FALSE(fs::exists(harness.disk("f")));
    // A folder copied into itself is refused rather than copied forever.
    EXPECT_EQ(simple("copyfile", {{"srcpath", "/demo/dir"}, {"dirpath", "/demo/dir"}}),
              TAVIK_ERR_REMOTE_FILE);
    fs::create_directory(harness.disk("dir/sub"));
    EXPECT_EQ(simple("copyfile", {{"srcpath", "/demo/dir"}, {"dirpath", "/demo/dir/sub"}}),
              TAVIK_ERR_REMOTE_FILE);
}

TEST_F(ServerProtocolTest, RemoteFileReadWriteSeekClose) {
    loggedIn();
    auto open = CTestClient::request("openfile");
    open->SetString("filename", "/demo/io.bin");
    open->SetInt("flags", 2 | 0x40); // read-write, create
    CPacket opened;
    ASSERT_EQ(client.call(*open, opened), 0);
    const int32_t fd = opened.GetInt("fd", 0);
    ASSERT_GT(fd, 0);

    auto write = std::make_unique<CPacket>(0);
    write->SetString("_cmd", "writefile");
    write->SetInt("fd", fd);
    write->SetInt("size", 6);
    write->SetData("data", "abcdef", 6);
    CPacket written;
    ASSERT_EQ(client.call(*write, written), 0);
    EXPECT_EQ(written.GetInt("size", -1), 6);

    auto seek = CTestClient::request("seekfile");
    seek->SetInt("fd", fd);
    seek->SetInt("offset", -4);
    seek->SetInt("whence", 2);
    CPacket sought;
    ASSERT_EQ(client.call(*seek, sought), 0);
    EXPECT_EQ(sought.GetInt("size", -1), 2);

    auto read = std::make_unique<CPacket>(0);
    read->SetString("_cmd", "readfile");
    read->SetInt("fd", fd);
    read->SetInt("size", 100);
    CPacket got;
    ASSERT_EQ(client.call(*read, got), 0);
    EXPECT_EQ(got.GetInt("size", -1), 4);
    const auto data = got.Find("data");
    EXPECT_EQ(std::string(data.begin(), data.end()), "cdef");

    auto badSeek = CTestClient::request("seekfile");
    badSeek->SetInt("fd", fd);
    badSeek->SetInt("offset", -1);
    badSeek->SetInt("whence", 0);
    EXPECT_EQ(client.call(*badSeek), TAVIK_ERR_WRONG_PARAMETER);

    auto close = CTestClient::request("closefile");
    close->SetInt("fd", fd);
    EXPECT_EQ(client.call(*close), 0);
    EXPECT_EQ(client.call(*close), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(client.call(*read), TAVIK_ERR_INVALID_HANDLE);
    EXPECT_EQ(readFile(harness.disk("io.bin")), "abcdef");

    auto missing = CTestClient::request("openfile");
    missing->SetString("filename", "/demo/none");
    missing->SetInt("flags", 0);
    EXPECT_EQ(client.call(*missing), TAVIK_ERR_NOT_EXIST);
}

TEST(ServerFiles, OpenFilesAreCappedPerSession) {
    CServerHarness harness([](server::CServerConfig& config) { config.maxOpenFiles = 2; });
    ASSERT_TRUE(harness.running());
    writeFile(harness.disk("f"), "x");
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    ASSERT_EQ(client.login(), 0);
    auto open = CTestClient::request("openfile");
    open->SetString("filename", "/demo/f");
    open->SetInt("flags", 0);
    EXPECT_EQ(client.call(*open), 0);
    EXPECT_EQ(client.call(*open), 0);
    EXPECT_EQ(client.call(*open), TAVIK_ERR_REMOTE_FILE);
}

TEST_F(ServerProtocolTest, DirectoryCursorWalksNamesAndEndsWithoutFile) {
    fs::create_directory(harness.disk("d"));
    writeFile(harness.disk("d/b"), "");
    fs::create_directory(harness.disk("d/z"));
    loggedIn();
    auto open = CTestClient::request("opendir");
    open->SetString("path", "/demo/d");
    CPacket opened;
    ASSERT_EQ(client.call(*open, opened), 0);
    const int32_t hdir = opened.GetInt("hdir", 0);
    ASSERT_NE(hdir, 0);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        auto read = CTestClient::request("readdir");
        read->SetInt("hdir", hdir);
        CPacket reply;
        ASSERT_EQ(client.call(*read, reply), 0);
        const char* name = nullptr;
        names.push_back(reply.GetString("file", &name) ? name : "<end>");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"z", "b", "<end>"}));
    auto close = CTestClient::request("closedir");
    close->SetInt("hdir", hdir);
    EXPECT_EQ(client.call(*close), 0);
    EXPECT_EQ(client.call(*close), TAVIK_ERR_INVALID_HANDLE);
}

TEST_F(ServerProtocolTest, FileLengthAndTimes) {
    writeFile(harness.disk("t"), "1234567");
    loggedIn();
    auto length = CTestClient::request("getlength");
    length->SetString("filename", "/demo/t");
    CPacket reply;
    ASSERT_EQ(client.call(*length, reply), 0);
    EXPECT_EQ(reply.GetInt("size", -1), 7);

    auto set = CTestClient::request("setfiletime");
    set->SetString("path", "/demo/t");
    set->SetInt("lastaccesstime", 1000000000);
    set->SetInt("lastwritetime", 1200000000);
    ASSERT_EQ(client.call(*set), 0);
    auto get = CTestClient::request("getfiletime");
    get->SetString("path", "/demo/t");
    CPacket times;
    ASSERT_EQ(client.call(*get, times), 0);
    EXPECT_EQ(times.GetInt("lastaccesstime", 0), 1000000000);
    EXPECT_EQ(times.GetInt("lastwritetime", 0), 1200000000);
}

TEST(ServerQuota, ConfiguredQuotaIsReportedInKibibyteBlocks) {
    CServerHarness harness(
        [](server::CServerConfig& config) { config.disks.front().quota = 10 * 1024 * 1024; });
    ASSERT_TRUE(harness.running());
    writeFile(harness.disk("used"), std::string(2048, 'u'));
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    ASSERT_EQ(client.login(), 0);
    auto request = CTestClient::request("getquota");
    request->SetString("id", "demo");
    CPacket reply;
    ASSERT_EQ(client.call(*request, reply), 0);
    EXPECT_EQ(reply.GetInt("block", 0), 1024);
    EXPECT_EQ(reply.GetInt("total", 0), 10 * 1024);
    EXPECT_EQ(reply.GetInt("free", 0), 10 * 1024 - 2);
}

TEST_F(ServerProtocolTest, FileSystemQuotaMultipliesToTheFreeSpace) {
    loggedIn();
    auto request = CTestClient::request("getquota");
    request->SetString("id", "demo");
    CPacket reply;
    ASSERT_EQ(client.call(*request, reply), 0);
    const auto block = static_cast<uint32_t>(reply.GetInt("block", 0));
    const auto free = static_cast<uint32_t>(reply.GetInt("free", 0));
    const auto total = static_cast<uint32_t>(reply.GetInt("total", 0));
    EXPECT_GT(block, 0u);
    EXPECT_LE(free, total);
    // The free space moves with everything else on this machine; the size does not.
    const auto space = fs::space(harness.disk());
    EXPECT_LE(uint64_t{block} * total, space.capacity);
    EXPECT_GT(uint64_t{block} * (total + 1), space.capacity);
}

TEST_F(ServerProtocolTest, ServerInfoCountsThisConnection) {
    loggedIn();
    CPacket reply;
    ASSERT_EQ(client.call(*CTestClient::request("getserverinfo"), reply), 0);
    EXPECT_EQ(reply.GetInt("nCurrentNum", 0), 1);
    EXPECT_EQ(reply.GetInt("nDownNum", -1), 0);
    EXPECT_EQ(reply.GetInt("nUpNum", -1), 0);
    EXPECT_EQ(reply.GetInt("nStartTime", 0), harness.server().stats().startTime);
    EXPECT_STREQ(reply.GetString("Version", ""), "tavik-server 2.12.06");
}

TEST_F(ServerProtocolTest, CheckVirusAndChangeDir) {
    fs::create_directories(harness.disk("a/b"));
    writeFile(harness.disk("a/f"), "");
    loggedIn();
    auto check = CTestClient::request("checkvirus");
    check->SetString("filename", "/demo/a/f");
    CPacket verdict;
    ASSERT_EQ(client.call(*check, verdict), 0);
    EXPECT_EQ(verdict.GetInt("result", -1), 0);
    EXPECT_EQ(simple("checkvirus", {{"filename", "/demo/none"}}), TAVIK_ERR_NOT_EXIST);

    EXPECT_EQ(simple("changedir", {{"name", "/demo/a"}}), 0);
    EXPECT_EQ(simple("changedir", {{"name", "b"}}), 0);
    EXPECT_EQ(simple("changedir", {{"name", ".."}}), 0);
    EXPECT_EQ(simple("changedir", {{"name", "f"}}), TAVIK_ERR_NOT_DIRECTORY);
    EXPECT_EQ(simple("changedir", {{"name", "none"}}), TAVIK_ERR_NOT_EXIST);
    EXPECT_EQ(simple("changedir", {{"name", "../.."}}), TAVIK_ERR_PERMISSION);
}

TEST_F(ServerProtocolTest, RemoteCommandsAreRefusedByDefault) {
    loggedIn();
    auto request = CTestClient::request("remotecmd");
    request->SetString("command", "echo hi");
    request->SetInt("getresult", 1);
    EXPECT_EQ(client.call(*request), TAVIK_ERR_NOT_ALLOWED);
}

TEST(ServerRemoteCommand, AllowedProgramRunsInTheCurrentFolderWithoutAShell) {
    CServerHarness harness([](server::CServerConfig& config) {
        config.allowedCommands = {"ls", "echo"};
    });
    ASSERT_TRUE(harness.running());
    fs::create_directory(harness.disk("here"));
    writeFile(harness.disk("here/marker"), "");
    CTestClient client;
    ASSERT_TRUE(client.connect(harness.port()));
    ASSERT_EQ(client.login(), 0);
    auto cd = CTestClient::request("changedir");
    cd->SetString("name", "here");
    ASSERT_EQ(client.call(*cd), 0);

    auto ls = CTestClient::request("remotecmd");
    ls->SetString("command", "ls");
    ls->SetInt("getresult", 1);
    CPacket reply;
    ASSERT_EQ(client.call(*ls, reply), 0);
    EXPECT_EQ(reply.GetInt("retlen", 0), 8); // "marker\n" and its NUL
    const auto result = reply.Find("result");
    EXPECT_EQ(std::string(result.begin(), result.end()), std::string("marker\n\0", 8));

    // No shell: the ";" is an argument of echo, not a second command.
    auto echo = CTestClient::request("remotecmd");
    echo->SetString("command", "echo a; rm -rf marker");
    echo->SetInt("getresult", 1);
    CPacket echoed;
    ASSERT_EQ(client.call(*echo, echoed), 0);
    EXPECT_TRUE(fs::exists(harness.disk("here/marker")));

    auto other = CTestClient::request("remotecmd");
    other->SetString("command", "rm marker");
    other->SetInt("getresult", 1);
    EXPECT_EQ(client.call(*other), TAVIK_ERR_NOT_ALLOWED);
}

} // namespace
} // namespace tavik::test
