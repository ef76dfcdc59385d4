// The hosts-file step: the walk over the lines, and the file as it is read and appended to.
#include "sdk/drive/CHostsFile.h"
#include "tests/drive/CDriveTestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

using tavik::drive::CHostsFile;
using tavik::drive::HostsScan;
using tavik::test::CDriveTestEnvironment;

namespace {

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(HostsScan, FindsTheAddressAndRemembersTheLastNumber) {
    std::u16string text = u"10.0.0.1\t\ttavik3\r\n"
                          u"10.0.0.2 tavik7\r\n"
                          u"10.0.0.3  tavik5 # trailing words do not matter\r\n";
    HostsScan found = CHostsFile::scan(text, u"10.0.0.2");
    EXPECT_TRUE(found.matched);
    EXPECT_EQ(found.matchedNumber, 7);

    HostsScan missing = CHostsFile::scan(text, u"10.0.0.9");
    EXPECT_FALSE(missing.matched);
    EXPECT_EQ(missing.lastNumber, 5); // the last seen, as the file lists them

    // The address is compared exactly; a prefix is no match.
    EXPECT_FALSE(CHostsFile::scan(text, u"10.0.0.").matched);
    EXPECT_FALSE(CHostsFile::scan(u"", u"10.0.0.1").matched);
}

TEST(HostsScan, SkipsCommentsOtherNamesAndLinesWithoutAHostField) {
    std::u16string text = u"# 10.0.0.1 tavik9\r\n"
                          u"10.0.0.1 server\r\n"
                          u"10.0.0.1 tavik\r\n"
                          u"lonely\r\n"
                          u"   \r\n"
                          u"10.0.0.4 tavikx\r\n";
    HostsScan found = CHostsFile::scan(text, u"10.0.0.1");
    EXPECT_FALSE(found.matched);
    // "tavikx" carries no digits: its number reads as 0, and it is the last seen.
    EXPECT_EQ(found.lastNumber, 0);
    HostsScan zero = CHostsFile::scan(text, u"10.0.0.4");
    EXPECT_TRUE(zero.matched);
    EXPECT_EQ(zero.matchedNumber, 0);
    // "#" counts only at the start of the first field.
    EXPECT_TRUE(CHostsFile::scan(u"1.2.3.4 tavik2 #x\n", u"1.2.3.4").matched);
}

TEST(HostsScan, AShortLineEndsTheWalk) {
    std::u16string text = u"10.0.0.1 tavik2\r\n"
                          u"\r\n"
                          u"10.0.0.5 tavik6\r\n";
    HostsScan found = CHostsFile::scan(text, u"10.0.0.5");
    EXPECT_FALSE(found.matched);
    EXPECT_EQ(found.lastNumber, 2);
    // A bare LF or a two-character line ends it too; three characters do not.
    EXPECT_EQ(CHostsFile::scan(u"a tavik1\n\nb tavik4\n", u"x").lastNumber, 1);
    EXPECT_EQ(CHostsFile::scan(u"a tavik1\nx\nb tavik4\n", u"x").lastNumber, 1);
    EXPECT_EQ(CHostsFile::scan(u"a tavik1\nxy\nb tavik4\n", u"x").lastNumber, 4);
}

TEST(HostsScan, LongLinesAndFieldsAreExaminedWhole) {
    // Beyond the 127 characters of a line and the 63 of a field the old buffers held.
    std::u16string longAddress(100, u'7');
    std::u16string text = u"10.0.0.1" + std::u16string(300, u' ') + u"tavik4\r\n" + longAddress +
                          u"\ttavik" + std::u16string(80, u'0') + u"12\r\n" + u"10.0.0.8 tavik" +
                          std::u16string(100, u'9') + u"\r\n";
    HostsScan first = CHostsFile::scan(text, u"10.0.0.1");
    EXPECT_TRUE(first.matched);
    EXPECT_EQ(first.matchedNumber, 4);
    HostsScan second = CHostsFile::scan(text, longAddress);
    EXPECT_TRUE(second.matched);
    EXPECT_EQ(second.matchedNumber, 12);
    // A number too large to be followed by another is no entry at all.
    HostsScan huge = CHostsFile::scan(text, u"10.0.0.8");
    EXPECT_FALSE(huge.matched);
    EXPECT_EQ(huge.lastNumber, 12);
    EXPECT_EQ(CHostsFile::scan(u"a tavik999999999\r\n", u"b").lastNumber, 999999999);
    EXPECT_EQ(CHostsFile::scan(u"a tavik1000000000\r\n", u"b").lastNumber, 0);
}

TEST(HostsFile, DecodesUtf16LittleEndianWithOrWithoutAByteOrderMark) {
    EXPECT_EQ(CHostsFile::decode({'a', 0, 0x00, 0xAC, 'b'}), u"a\uAC00");
    EXPECT_EQ(CHostsFile::decode({0xFF, 0xFE, 'a', 0}), u"a");
    EXPECT_EQ(CHostsFile::decode({}), u"");
}

TEST(HostsFile, AnExistingLineForTheAddressIsReusedAndNothingIsAppended) {
    CDriveTestEnvironment world;
    std::string hosts = world.windowsFile("lmhosts");
    std::vector<uint8_t> before =
        CDriveTestEnvironment::utf16le(u"10.0.0.1\t\ttavik3\r\n10.0.0.2\t\ttavik7\r\n");
    CDriveTestEnvironment::writeBytes(hosts, before);
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.1"), 3);
    EXPECT_EQ(CDriveTestEnvironment::readBytes(hosts), before);
}

TEST(HostsFile, ANewAddressGetsTheLastNumberPlusOneInUtf16) {
    CDriveTestEnvironment world;
    std::string hosts = world.windowsFile("lmhosts");
    std::vector<uint8_t> before =
        CDriveTestEnvironment::utf16le(u"10.0.0.1\t\ttavik3\r\n10.0.0.2\t\ttavik7\r\n");
    CDriveTestEnvironment::writeBytes(hosts, before);
    EXPECT_EQ(CHostsFile::registerHost(u"b.c"), 8);
    // "b.c\t\ttavik8\r\n", UTF-16LE, written out by hand.
    std::vector<uint8_t> line = {'b', 0, '.', 0, 'c', 0, '\t', 0, '\t', 0, 't',  0, 'a', 0,
                                 'v', 0, 'i', 0, 'k', 0, '8',  0, '\r', 0, '\n', 0};
    EXPECT_EQ(CDriveTestEnvironment::readBytes(hosts), before + line);
    // The next call finds the line it wrote.
    EXPECT_EQ(CHostsFile::registerHost(u"b.c"), 8);
    EXPECT_EQ(CDriveTestEnvironment::readBytes(hosts), before + line);
}

TEST(HostsFile, AMissingFileIsCreatedWithTheFirstNumber) {
    CDriveTestEnvironment world;
    EXPECT_EQ(CHostsFile::registerHost(u"a"), 1);
    EXPECT_EQ(CDriveTestEnvironment::readBytes(world.windowsFile("lmhosts")),
              (std::vector<uint8_t>{'a', 0,   '\t', 0,   '\t', 0,   't', 0,    'a', 0,    'v',
                                    0,   'i', 0,    'k', 0,    '1', 0,   '\r', 0,   '\n', 0}));
}

TEST(HostsFile, ALastLineWithoutItsBreakIsNotRunIntoTheNewEntry) {
    CDriveTestEnvironment world;
    std::string hosts = world.windowsFile("lmhosts");
    CDriveTestEnvironment::writeBytes(hosts, CDriveTestEnvironment::utf16le(u"10.0.0.1 tavik4"));
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.2"), 5);
    EXPECT_EQ(CHostsFile::decode(CDriveTestEnvironment::readBytes(hosts)),
              u"10.0.0.1 tavik4\r\n10.0.0.2\t\ttavik5\r\n");
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.1"), 4);
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.2"), 5);

    // A stray odd byte stays on the old last line; the new entry starts on a unit boundary.
    std::vector<uint8_t> odd = CDriveTestEnvironment::utf16le(u"10.0.0.1 tavik4\r\n");
    odd.push_back('z');
    CDriveTestEnvironment::writeBytes(hosts, odd);
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.3"), 5);
    EXPECT_EQ(CHostsFile::decode(CDriveTestEnvironment::readBytes(hosts)),
              u"10.0.0.1 tavik4\r\nz\r\n10.0.0.3\t\ttavik5\r\n");
}

TEST(HostsFile, EntriesBehindABlankLineAreNeitherMatchedNorCounted) {
    CDriveTestEnvironment world;
    std::string hosts = world.windowsFile("lmhosts");
    CDriveTestEnvironment::writeBytes(
        hosts, CDriveTestEnvironment::utf16le(u"10.0.0.1 tavik2\r\n\r\n10.0.0.9 tavik6\r\n"));
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.9"), 3);
}

TEST(HostsFile, AnAddressThatWouldSpoilTheFileIsNotWritten) {
    CDriveTestEnvironment world;
    std::string hosts = world.windowsFile("lmhosts");
    std::vector<uint8_t> before = CDriveTestEnvironment::utf16le(u"10.0.0.1 tavik2\r\n");
    CDriveTestEnvironment::writeBytes(hosts, before);
    for (std::u16string bad : {u"", u"#1.2.3.4", u"1.2.3.4 tavik9", u"1.2.3.4\r\n5.6.7.8"}) {
        EXPECT_EQ(CHostsFile::registerHost(bad), -1);
    }
    EXPECT_EQ(CDriveTestEnvironment::readBytes(hosts), before);
}

TEST(HostsFile, NoNumberIsGivenPastTheLargestOne) {
    CDriveTestEnvironment world;
    std::string hosts = world.windowsFile("lmhosts");
    std::vector<uint8_t> before = CDriveTestEnvironment::utf16le(u"10.0.0.1 tavik999999999\r\n");
    CDriveTestEnvironment::writeBytes(hosts, before);
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.1"), 999999999);
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.2"), -1);
    EXPECT_EQ(CDriveTestEnvironment::readBytes(hosts), before);
}

TEST(HostsFile, WithoutTheWindowsFolderTheStepGivesNoNumber) {
    CDriveTestEnvironment world;
    std::filesystem::remove_all(world.root() + "/Windows");
    EXPECT_EQ(CHostsFile::registerHost(u"10.0.0.1"), -1);
    EXPECT_FALSE(std::filesystem::exists(world.root() + "/Windows"));
}
