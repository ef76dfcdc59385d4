// The three drive exports end to end: icon file, icon registration, hosts line, the two
// connection attempts through gio, the explorer start, and the last error they leave.
#include "platform/CRegistry.h"
#include "sdk/drive/CDriveMapper.h"
#include "sdk/drive/CHostsFile.h"
#include "sdk/drive/DriveIconImage.h"
#include "sdk/drive/NameCode.h"
#include "sdk/include/TavikDrive.h"
#include "sdk/include/TavikErrors.h"
#include "tests/drive/CDriveTestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace tavik::platform;
using tavik::drive::CDriveMapper;
using tavik::drive::CHostsFile;
using tavik::drive::kDriveIconImage;
using tavik::drive::nameCode;
using tavik::test::CDriveTestEnvironment;

namespace {

constexpr char16_t kAddress[] = u"192.0.2.7";

// A stand-in for gio that logs its arguments and its standard input, and fails for every URI
// that contains failFor. Shell built-ins only: PATH holds nothing else.
std::string fakeGio(const std::string& log, const std::string& failFor) {
    return "#!/bin/sh\n"
           "printf 'ARGS %s\\n' \"$*\" >> '" +
           log +
           "'\n"
           "while IFS= read -r line || [ -n \"$line\" ]; do\n"
           "  printf 'IN %s\\n' \"$line\" >> '" +
           log +
           "'\n"
           "done\n"
           "case \"$*\" in *'" +
           failFor +
           "'*) echo 'gio: mount failed' >&2; exit 2;; esac\n"
           "exit 0\n";
}

// Waits up to 20 seconds for a file to hold text.
std::string waitForText(const std::string& path, const std::string& text) {
    std::string content;
    for (int i = 0; i < 2000; ++i) {
        content = CDriveTestEnvironment::readText(path);
        if (content.find(text) != std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return content;
}

void setLastError(int code, const char16_t* text) {
    tavik_SetLastError(code);
    tavik_SetLastErrStr(text);
}

} // namespace

TEST(DriveExports, WithoutGioTheMappingIsNotSupportedButItsTracesAreLeft) {
    CDriveTestEnvironment world;
    setLastError(23002, u"earlier text");
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", u"kim", u'Z', kAddress), 50u);
    EXPECT_EQ(tavik_GetLastError(), 0);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"earlier text");

    std::vector<uint8_t> icon =
        CDriveTestEnvironment::readBytes(world.windowsFile("tavik_service.ico"));
    ASSERT_EQ(icon.size(), 5286u);
    EXPECT_TRUE(std::equal(icon.begin(), icon.end(), kDriveIconImage.begin()));

    CRegistry key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE,
                       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\Z\\"
                       u"DefaultIcon"),
              kRegSuccess);
    RegistryValue value;
    ASSERT_EQ(key.queryValue(u"", value), kRegSuccess);
    EXPECT_EQ(value.type, kRegSz);
    EXPECT_EQ(value.data, CDriveTestEnvironment::utf16le(
                              std::u16string(u"\\Windows\\tavik_service.ico\0", 27)));

    EXPECT_EQ(CHostsFile::decode(CDriveTestEnvironment::readBytes(world.windowsFile("lmhosts"))),
              u"192.0.2.7\t\ttavik1\r\n");

    // A second mapping rewrites the icon, reuses the host name and appends nothing.
    CDriveTestEnvironment::writeBytes(world.windowsFile("tavik_service.ico"), {1, 2, 3});
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", u"kim", u'Y', kAddress), 50u);
    EXPECT_EQ(CDriveTestEnvironment::readBytes(world.windowsFile("tavik_service.ico")).size(),
              5286u);
    EXPECT_EQ(CHostsFile::decode(CDriveTestEnvironment::readBytes(world.windowsFile("lmhosts"))),
              u"192.0.2.7\t\ttavik1\r\n");
    EXPECT_EQ(tavik_CloseDrive(u'Z'), 2250u);
    EXPECT_EQ(tavik_IsValidCreateDrive(u'Z'), 0);
}

TEST(DriveExports, TheHostNameIsTriedFirstThenTheAddressAndTheExplorerOpens) {
    CDriveTestEnvironment world;
    std::string log = world.folder() + "/gio.log";
    std::string explorerLog = world.folder() + "/explorer.log";
    world.addProgram("gio", fakeGio(log, "smb://tavik"));
    world.addProgram("explorer.exe", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + explorerLog +
                                         "'\nprintf 'done\\n' >> '" + explorerLog + "'\n");
    setLastError(7, u"");
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", u"kim", u'Z', kAddress), 0u);
    EXPECT_EQ(tavik_GetLastError(), 0);

    std::string password = "";
    for (char16_t c : nameCode(u"secret", u"secret")) {
        password.push_back(static_cast<char>(c));
    }
    ASSERT_EQ(password.size(), 6u);
    EXPECT_EQ(CDriveTestEnvironment::readText(log), "ARGS mount smb://tavik1/kim\n"
                                                    "IN kim\nIN \nIN " +
                                                        password +
                                                        "\n"
                                                        "ARGS mount smb://192.0.2.7/kim\n"
                                                        "IN kim\nIN \nIN " +
                                                        password + "\n");
    EXPECT_EQ(waitForText(explorerLog, "\n"), "/n,|/e,|Z:|done\n");

    // The connection is on record until it is closed, with force.
    std::filesystem::remove(log);
    EXPECT_EQ(tavik_CloseDrive(u'Z'), 0u);
    EXPECT_EQ(CDriveTestEnvironment::readText(log), "ARGS mount -u -f smb://192.0.2.7/kim\n");
    EXPECT_EQ(tavik_CloseDrive(u'Z'), 2250u);
}

TEST(DriveExports, WhenBothAttemptsFailTheSecondResultBecomesTheLastError) {
    CDriveTestEnvironment world;
    std::string log = world.folder() + "/gio.log";
    std::string explorerLog = world.folder() + "/explorer.log";
    world.addProgram("gio", fakeGio(log, "smb://"));
    world.addProgram("explorer.exe", "#!/bin/sh\nprintf started > '" + explorerLog + "'\n");
    setLastError(0, u"text");
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", u"kim", u'Q', kAddress), 53u);
    EXPECT_EQ(tavik_GetLastError(), 53);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"text");
    std::string calls = CDriveTestEnvironment::readText(log);
    EXPECT_NE(calls.find("ARGS mount smb://tavik1/kim\n"), std::string::npos);
    EXPECT_NE(calls.find("ARGS mount smb://192.0.2.7/kim\n"), std::string::npos);
    EXPECT_EQ(tavik_CloseDrive(u'Q'), 2250u);
    // The explorer starts only after a connection.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(std::filesystem::exists(explorerLog));
}

TEST(DriveExports, BadArgumentsAreRefusedBeforeAnythingIsWritten) {
    CDriveTestEnvironment world;
    setLastError(0, u"");
    EXPECT_EQ(tavik_CreateDrive(nullptr, nullptr, u"kim", u'Z', kAddress), 87u);
    EXPECT_EQ(tavik_GetLastError(), 87);
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", u"kim", u'Z', nullptr), 87u);
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", u"kim", u'\\', kAddress), 1200u);
    EXPECT_EQ(tavik_GetLastError(), 1200);
    EXPECT_FALSE(std::filesystem::exists(world.windowsFile("tavik_service.ico")));
    EXPECT_FALSE(std::filesystem::exists(world.windowsFile("lmhosts")));
    // A null user name is the empty one.
    EXPECT_EQ(tavik_CreateDrive(nullptr, u"secret", nullptr, u'Z', kAddress), 50u);
    EXPECT_EQ(tavik_GetLastError(), 0);
}

TEST(DriveExports, TheIconFileIsAWellFormedIconOfFourImages) {
    const auto& icon = kDriveIconImage;
    auto word = [&](size_t at) { return icon[at] | icon[at + 1] << 8; };
    auto dword = [&](size_t at) { return uint32_t(word(at)) | uint32_t(word(at + 2)) << 16; };
    EXPECT_EQ(word(0), 0);
    EXPECT_EQ(word(2), 1);
    ASSERT_EQ(word(4), 4);
    // Each directory entry: width, height, colours, bit count, then an image that starts right
    // after the previous one with a 40-byte header of the same size and depth.
    const int expected[4][4] = {{32, 32, 16, 4}, {32, 32, 0, 8}, {16, 16, 0, 8}, {16, 16, 0, 24}};
    uint32_t next = 6 + 4 * 16;
    for (int i = 0; i < 4; ++i) {
        size_t entry = 6 + 16 * static_cast<size_t>(i);
        EXPECT_EQ(icon[entry], expected[i][0]);
        EXPECT_EQ(icon[entry + 1], expected[i][1]);
        EXPECT_EQ(icon[entry + 2], expected[i][2]);
        EXPECT_EQ(word(entry + 6), expected[i][3]);
        uint32_t size = dword(entry + 8);
        uint32_t offset = dword(entry + 12);
        EXPECT_EQ(offset, next);
        ASSERT_LE(offset + size, icon.size());
        EXPECT_EQ(dword(offset), 40u);
        EXPECT_EQ(dword(offset + 4), uint32_t(expected[i][0]));
        EXPECT_EQ(dword(offset + 8), uint32_t(expected[i][1] * 2));
        EXPECT_EQ(word(offset + 14), expected[i][3]);
        next = offset + size;
    }
    EXPECT_EQ(next, icon.size());
}

TEST(DriveMapper, NamesAndPathsAreFormedAsTheyAreWritten) {
    EXPECT_EQ(CDriveMapper::driveName(u'Z'), u"Z:");
    EXPECT_EQ(CDriveMapper::sharePath(u"tavik3", u"kim"), u"\\\\tavik3\\kim");
    EXPECT_EQ(CDriveMapper::sharePath(u"", u"kim"), u"\\\\\\kim");
    EXPECT_EQ(
        CDriveMapper::driveIconKey(u'Z'),
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\Z\\DefaultIcon");
}
