// The configuration file's lookup rules and the trace settings, gate and sink.
#include "sdk/core/CConfigFile.h"
#include "sdk/core/CConnection.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "sdk/core/CTrace.h"
#include "sdk/core/LibraryEntry.h"
#include "tests/support/CFakeDiskServer.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <unistd.h>

namespace tavik {
namespace {

using test::CTempFolder;

std::optional<std::u16string> find(const std::u16string& text, const char16_t* key) {
    CConfigFile file;
    file.SetText(text);
    return file.Find(key);
}

TEST(CConfigFile, PathIsBesideTheExecutable) {
    EXPECT_EQ(CConfigFile::PathBeside("/opt/tavik/bin/explorer"), "/opt/tavik/bin/tavik2.ini");
    EXPECT_EQ(CConfigFile::PathBeside("/explorer"), "/tavik2.ini");
    EXPECT_EQ(CConfigFile::PathBeside("explorer"), "explorer/tavik2.ini");

    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string folder(self);
    folder.resize(folder.rfind('/'));
    EXPECT_EQ(CConfigFile::PathBesideExecutable(), folder + "/tavik2.ini");
}

TEST(CConfigFile, TokensAreSplitAtSpacesEqualsAndTabs) {
    EXPECT_EQ(find(u"TRACE_BL_LOG=\\Temp\\trace%d.txt", u"TRACE_BL_LOG"), u"\\Temp\\trace%d.txt");
    EXPECT_EQ(find(u"  \t=KEY \t= = value rest", u"KEY"), u"value");
    EXPECT_EQ(find(u"TRACE_BL_LOG \\My Documents\\t.log", u"TRACE_BL_LOG"), u"\\My");
    EXPECT_EQ(find(u"KEY", u"KEY"), u"");
    EXPECT_EQ(find(u"KEY = \t", u"KEY"), u"");
    EXPECT_EQ(find(u"key 1", u"KEY"), std::nullopt);
    EXPECT_EQ(find(u"KEYS 1", u"KEY"), std::nullopt);
    EXPECT_EQ(find(u"X KEY 1", u"KEY"), std::nullopt);
    EXPECT_EQ(find(u"", u"KEY"), std::nullopt);
}

TEST(CConfigFile, FirstMatchingLineWinsWhateverTheLineEnds) {
    EXPECT_EQ(find(u"KEY 1\nKEY 2", u"KEY"), u"1");
    EXPECT_EQ(find(u"A 1\r\nKEY 2\r\nKEY 3", u"KEY"), u"2");
    EXPECT_EQ(find(u"\n\n\r\nKEY 4\n", u"KEY"), u"4");
    // A lone CR ends a line without eating the next line's first character.
    EXPECT_EQ(find(u"A 1\rKEY 5", u"KEY"), u"5");
    EXPECT_EQ(find(u"A 1\r\rKEY 6", u"KEY"), u"6");
}

TEST(CConfigFile, ReadConfigTextAndIntFromAFile) {
    CTempFolder folder;
    ASSERT_TRUE(folder.write("tavik2.ini", "NAME abcdefgh\nNUM 42xyz\nBAD abc\nNEG -17\n"));
    std::string path = folder.file("tavik2.ini");

    char16_t buffer[5] = {u'#', u'#', u'#', u'#', u'#'};
    ASSERT_TRUE(ReadConfigText(u"NAME", buffer, 5, path.c_str()));
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    char16_t one[1] = {u'#'};
    ASSERT_TRUE(ReadConfigText(u"NAME", one, 1, path.c_str()));
    EXPECT_EQ(one[0], u'\0');
    EXPECT_FALSE(ReadConfigText(u"NONE", buffer, 5, path.c_str()));
    EXPECT_FALSE(ReadConfigText(u"NAME", buffer, 5, folder.file("missing.ini").c_str()));
    EXPECT_FALSE(ReadConfigText(u"NAME", buffer, 0, path.c_str()));

    int32_t value = -1;
    ASSERT_TRUE(ReadConfigInt(u"NUM", &value, path.c_str()));
    EXPECT_EQ(value, 42);
    ASSERT_TRUE(ReadConfigInt(u"BAD", &value, path.c_str()));
    EXPECT_EQ(value, 0);
    ASSERT_TRUE(ReadConfigInt(u"NEG", &value, path.c_str()));
    EXPECT_EQ(value, -17);
    value = 9;
    EXPECT_FALSE(ReadConfigInt(u"NONE", &value, path.c_str()));
    EXPECT_EQ(value, 9);
}

TEST(CConfigFile, AnOversizedFileOrADeviceIsNotRead) {
    CTempFolder folder;
    std::string text = "NAME v\n";
    ASSERT_TRUE(folder.write("small.ini", text + std::string(CConfigFile::kMaxFileBytes - 7, ' ')));
    ASSERT_TRUE(folder.write("large.ini", text + std::string(CConfigFile::kMaxFileBytes, ' ')));
    char16_t buffer[4];
    EXPECT_TRUE(ReadConfigText(u"NAME", buffer, 4, folder.file("small.ini").c_str()));
    EXPECT_FALSE(ReadConfigText(u"NAME", buffer, 4, folder.file("large.ini").c_str()));
    // An endless source ends the read instead of the program.
    EXPECT_FALSE(ReadConfigText(u"NAME", buffer, 4, "/dev/zero"));
    EXPECT_FALSE(ReadConfigText(u"NAME", buffer, 4, folder.path().c_str()));
}

TEST(CConfigFile, DecimalParsingFollowsTheRuntimeRules) {
    EXPECT_EQ(ParseDecimal(u"  +12"), 12);
    EXPECT_EQ(ParseDecimal(u"-"), 0);
    EXPECT_EQ(ParseDecimal(u"99999999999999"), INT32_MAX);
    EXPECT_EQ(ParseDecimal(u"-99999999999999"), INT32_MIN);
    EXPECT_EQ(ParseDecimal(u"-2147483648"), INT32_MIN);
}

TEST(CConfigFile, FileTextIsReadInTheAnsiCodePage) {
    CTempFolder folder;
    // "TRACE_BL_LOG \로그" with the Hangul syllable in CP949.
    ASSERT_TRUE(folder.write("tavik2.ini", "TRACE_BL_LOG \\\xB7\xCE\xB1\xD7\n"));
    char16_t buffer[16];
    ASSERT_TRUE(ReadConfigText(u"TRACE_BL_LOG", buffer, 16, folder.file("tavik2.ini").c_str()));
    EXPECT_EQ(std::u16string(buffer), u"\\\uB85C\uADF8");
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { CTrace::instance().Reset(); }
    void TearDown() override { CTrace::instance().Reset(); }
    void load(const std::string& text) {
        ASSERT_TRUE(folder.write("tavik2.ini", text));
        CTrace::instance().LoadTraceSettings(folder.file("tavik2.ini").c_str());
    }
    CTrace& trace = CTrace::instance();
    CTempFolder folder;
};

TEST_F(TraceTest, WithoutAFileTracingStaysOff) {
    trace.LoadTraceSettings(folder.file("tavik2.ini").c_str());
    trace.LoadTraceSettings(nullptr);
    EXPECT_EQ(trace.level(), -1);
    EXPECT_FALSE(trace.TraceEnabled(0, u"connect"));
    EXPECT_TRUE(trace.TraceEnabled(-1, u"connect"));
    EXPECT_TRUE(trace.logPath().empty());

    // The load-time entry finds no file beside the test program either.
    if (::access(CConfigFile::PathBesideExecutable().c_str(), F_OK) != 0) {
        InitializeLibrary();
        EXPECT_EQ(trace.level(), -1);
    }
}

TEST_F(TraceTest, SettingsAreReadFromTheFile) {
    load("TRACE_BL_LEVEL 3\nTRACE_BL_LOG=\\Temp\\sdk%d-%d.log\nTRACE_BL_KEY a;b\n"
         "TRACE_BL_FLAG line,time\n");
    EXPECT_EQ(trace.level(), 3);
    EXPECT_TRUE(std::regex_match(std::string(trace.logPath().begin(), trace.logPath().end()),
                                 std::regex(R"(\\Temp\\sdk(\d{6})-\1\.log)")));
    EXPECT_EQ(trace.keys(), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_TRUE(trace.lineFlag());
    EXPECT_TRUE(trace.timeFlag());

    EXPECT_TRUE(trace.TraceEnabled(3, u"a"));
    EXPECT_TRUE(trace.TraceEnabled(0, u"\"a\""));
    EXPECT_TRUE(trace.TraceEnabled(1, u"b"));
    EXPECT_FALSE(trace.TraceEnabled(4, u"a"));
    EXPECT_FALSE(trace.TraceEnabled(0, u"c"));
    EXPECT_FALSE(trace.TraceEnabled(0, u"A"));
    EXPECT_FALSE(trace.TraceEnabled(0, u"ab"));

    // A later load without some keys keeps what the earlier one set.
    load("TRACE_BL_LEVEL x\nTRACE_BL_FLAG Line\n");
    EXPECT_EQ(trace.level(), 0);
    EXPECT_FALSE(trace.lineFlag());
    EXPECT_FALSE(trace.timeFlag());
    EXPECT_EQ(trace.keys().size(), 2u);
    EXPECT_FALSE(trace.logPath().empty());
}

TEST_F(TraceTest, ListsSplitAtEverySeparatorRun) {
    EXPECT_EQ(CTrace::SplitList(u"::a;;b, c..d "),
              (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
    EXPECT_TRUE(CTrace::SplitList(u"").empty());
    load("TRACE_BL_FLAG time:line\n");
    EXPECT_TRUE(trace.lineFlag() && trace.timeFlag());
}

TEST_F(TraceTest, DateReplacementAndLengthLimits) {
    std::tm date{};
    date.tm_year = 103; // 2003
    date.tm_mon = 2;
    date.tm_mday = 31;
    EXPECT_EQ(CTrace::ExpandDate(u"\\Temp\\sdk%d.log", date), u"\\Temp\\sdk030331.log");
    EXPECT_EQ(CTrace::ExpandDate(u"%%d%", date), u"%030331%");
    date.tm_year = 100;
    date.tm_mon = 0;
    date.tm_mday = 9;
    EXPECT_EQ(CTrace::ExpandDate(u"%d", date), u"000109");
    // Each "%d" grows by four characters; the result stays within 255.
    std::u16string many;
    for (int i = 0; i < 100; ++i) {
        many += u"%d";
    }
    EXPECT_EQ(CTrace::ExpandDate(many, date).size(), 255u);

    load("TRACE_BL_LOG " + std::string(300, 'L') + "\nTRACE_BL_KEY " + std::string(200, 'k') +
         "\n");
    EXPECT_EQ(trace.logPath(), std::u16string(255, u'L'));
    EXPECT_EQ(trace.keys(), (std::vector<std::u16string>{std::u16string(127, u'k')}));
}

TEST_F(TraceTest, LinesGoToTheLogFileInTheirLayout) {
    std::string log = folder.file("trace.log");
    load("TRACE_BL_LEVEL 2\nTRACE_BL_LOG " + log + "\nTRACE_BL_FLAG line,time\n");
    TAVIK_TRACE(1, u"connect", std::string("host:1 connected"));
    TAVIK_TRACE(3, u"packet", std::string("not written"));
    trace.Write(2, u"command", std::u16string_view(u"\uB85C ok"));
    std::string text = folder.read("trace.log");
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(#\d{5} \d\d:\d\d:\d\d\.\d{3} connect\(1\): )"
                                                  R"(host:1 connected\n)"
                                                  R"(#\d{5} \d\d:\d\d:\d\d\.\d{3} command\(2\): )"
                                                  "\xB7\xCE"
                                                  R"( ok\n)")))
        << text;

    // Without flags a line is just key, level and text; an over-long one is cut but ends whole.
    load("TRACE_BL_FLAG none\n");
    trace.Write(0, u"x", std::string(1000, 'y'));
    std::string cut = folder.read("trace.log").substr(text.size());
    EXPECT_EQ(cut, "x(0): " + std::string(512 - 7, 'y') + "\n");
}

TEST_F(TraceTest, KeyListFiltersWrittenLines) {
    std::string log = folder.file("keys.log");
    load("TRACE_BL_LEVEL 9\nTRACE_BL_LOG " + log + "\nTRACE_BL_KEY login\n");
    trace.Write(1, u"connect", std::string("dropped"));
    trace.Write(1, u"login", std::string("kept"));
    EXPECT_EQ(folder.read("keys.log"), "login(1): kept\n");
}

TEST_F(TraceTest, AnUnopenableLogLosesTheLineQuietly) {
    load("TRACE_BL_LEVEL 1\nTRACE_BL_LOG " + folder.file("no/such/folder/t.log") + "\n");
    trace.Write(1, u"connect", std::string("lost"));
    EXPECT_EQ(folder.read("no/such/folder/t.log"), "");
}

TEST_F(TraceTest, TheLibraryTracesConnectsAndCommands) {
    std::string log = folder.file("sdk.log");
    load("TRACE_BL_LEVEL 2\nTRACE_BL_LOG " + log + "\n");
    test::CFakeDiskServer server;
    server.expect("getquota").reply({{"error", 22004}}).start();
    CSession session;
    session.timeout = 3000;
    ASSERT_TRUE(session.connection.Connect("127.0.0.1", server.port(), true));
    CPacket request(2);
    request.SetString("_cmd", "getquota");
    CPacket reply(2);
    ASSERT_TRUE(Exchange(session, request, reply));
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(folder.read("sdk.log"), "connect(1): 127.0.0.1:" + std::to_string(server.port()) +
                                          " connected\ncommand(2): getquota: error 22004\n");
}

} // namespace
} // namespace tavik
