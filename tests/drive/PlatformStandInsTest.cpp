// The platform stand-ins drive mapping goes through: share names as gio URIs, shell execution
// and the program runner under it.
#include "platform/CNetworkDrive.h"
#include "platform/CShellExecute.h"
#include "platform/CShellProcess.h"
#include "tests/drive/CDriveTestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tavik::platform;
using tavik::test::CDriveTestEnvironment;

namespace {

std::string waitForLine(const std::string& path) {
    std::string content;
    for (int i = 0; i < 2000; ++i) {
        content = CDriveTestEnvironment::readText(path);
        if (!content.empty() && content.back() == '\n') {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return content;
}

} // namespace

TEST(NetworkDrive, ShareNamesBecomeSmbAddresses) {
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\tavik1\\kim"), "smb://tavik1/kim");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\192.0.2.7\\kim@tavik.example"),
              "smb://192.0.2.7/kim%40tavik.example");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\192.0.2.7\\\uAE40 x"), "smb://192.0.2.7/%EA%B9%80%20x");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\fe80::1\\kim\\sub"), "smb://[fe80::1]/kim/sub");
    // No host, no share, or not a share name at all.
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\\\kim"), "");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\host"), "");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\host\\"), "");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\host\\kim"), "");
    EXPECT_EQ(CNetworkDrive::shareUri(u"\\\\ho:st\\kim"), "");
}

TEST(NetworkDrive, LineBreaksInCredentialsAreRefusedWhenGioIsThere) {
    CDriveTestEnvironment world;
    EXPECT_EQ(CNetworkDrive::addConnection(u"Z:", u"\\\\h\\kim", u"pw", u"kim"), 50u);
    world.addProgram("gio", "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(CNetworkDrive::addConnection(u"Z:", u"\\\\h\\kim", u"pw", u"kim\nroot"), 87u);
    EXPECT_EQ(CNetworkDrive::addConnection(u"Z:", u"\\\\h\\kim", u"p\rw", u"kim"), 87u);
    EXPECT_EQ(CNetworkDrive::addConnection(u"Z:", u"\\\\\\kim", u"pw", u"kim"), 67u);
    // "already mounted" counts as connected.
    world.addProgram("gio", "#!/bin/sh\necho 'gio: smb://h/kim/: Location is already mounted' "
                            ">&2\nexit 2\n");
    EXPECT_EQ(CNetworkDrive::addConnection(u"Z:", u"\\\\h\\kim", u"pw", u"kim"), 0u);
}

TEST(ShellExecute, ProgramsStartWithTheirParametersAndAbsentOnesAreReported) {
    CDriveTestEnvironment world;
    std::string log = world.folder() + "/args.log";
    world.addProgram("tool.exe", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + log +
                                     "'\nprintf '%s\\n' \"$PWD\" >> '" + log + "'\n");
    EXPECT_EQ(CShellExecute::execute(u"open", u"tool.exe", u"/n, \"two words\"  last", u"\\Windows",
                                     CShellExecute::kShowNormal),
              0u);
    EXPECT_EQ(waitForLine(log), "/n,|two words|last|" + world.root() + "/Windows\n");

    EXPECT_EQ(CShellExecute::execute(u"open", u"explorer.exe", u"/n, /e, Z:", u"", 5), 2u);
    EXPECT_EQ(CShellExecute::execute(u"print", u"tool.exe", u"", u"", 5), 1155u);
    // A document without xdg-open has no association.
    EXPECT_EQ(CShellExecute::execute(u"open", u"\\My Documents\\a.txt", u"", u"", 5), 1155u);
}

TEST(ShellExecute, DocumentsGoToXdgOpenWithTheirHostPath) {
    CDriveTestEnvironment world;
    std::string log = world.folder() + "/open.log";
    world.addProgram("xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" > '" + log + "'\n");
    EXPECT_EQ(CShellExecute::execute(u"", u"\\My Documents\\a.txt", u"ignored", u"", 5), 0u);
    EXPECT_EQ(waitForLine(log), world.root() + "/My Documents/a.txt\n");
    EXPECT_EQ(CShellExecute::execute(u"open", u"https://example.com/x", u"", u"", 5), 0u);
}

TEST(ShellProcess, RunCollectsOutputAndStatusAndStopsAProgramThatHangs) {
    CDriveTestEnvironment world;
    world.addProgram("echoer", "#!/bin/sh\nread -r first\nprintf 'got %s\\n' \"$first\"\n"
                               "printf 'err\\n' >&2\nexit 3\n");
    std::string echoer = CShellProcess::findProgram("echoer");
    ASSERT_EQ(echoer, world.folder() + "/bin/echoer");
    CShellProcess::Outcome outcome = CShellProcess::run(echoer, {}, "hello\n", 60000);
    EXPECT_TRUE(outcome.started);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitStatus, 3);
    EXPECT_EQ(outcome.output, "got hello\nerr\n");

    world.addProgram("hang", "#!/bin/sh\nwhile :; do :; done\n");
    outcome = CShellProcess::run(CShellProcess::findProgram("hang"), {}, "", 300);
    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_EQ(outcome.exitStatus, -1);

    // A program that ignores its input entirely does not hurt the caller.
    world.addProgram("deaf", "#!/bin/sh\nexit 0\n");
    outcome = CShellProcess::run(CShellProcess::findProgram("deaf"), {}, std::string(1 << 20, 'x'),
                                 60000);
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(CShellProcess::findProgram("absent"), "");
}
