#include "cli/core/CErrorReport.h"
#include "cli/core/CListing.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

std::vector<RemoteEntry> sample() {
    return {
        {"/d/zeta.txt", 5, false, "2026-12-01 10:00"},
        {"/d/beta", 0, true, "2026-11-30 09:00"},
        {"/d/alpha.bin", 123456, false, "2026-12-02 11:30"},
        {"/d/가나다", 0, true, ""},
    };
}

TEST(ListingTest, FoldersFirstThenFilesEachByName) {
    auto entries = sample();
    CListing::sort(entries);
    EXPECT_EQ(CListing::render(entries, false), "beta/\n가나다/\nalpha.bin\nzeta.txt\n");
}

TEST(ListingTest, LongFormAlignsSizesAndDates) {
    auto entries = sample();
    CListing::sort(entries);
    EXPECT_EQ(CListing::render(entries, true), "d      0  2026-11-30 09:00  beta/\n"
                                               "d      0                    가나다/\n"
                                               "- 123456  2026-12-02 11:30  alpha.bin\n"
                                               "-      5  2026-12-01 10:00  zeta.txt\n");
    EXPECT_EQ(CListing::render({}, true), "");
}

TEST(ListingTest, Describe) {
    EXPECT_EQ(CListing::describe({"/d/a.txt", 42, false, "2026-12-01 10:00"}),
              "Path: /d/a.txt\nType: file\nSize: 42\nDate: 2026-12-01 10:00\n");
}

// Names and dates come from the server: a terminal must get no control character of theirs,
// and an escaped name must not read like another name.
TEST(ListingTest, ControlCharactersFromTheServerAreShownEscaped) {
    struct Row {
        const char* name;
        std::string remoteName;
        std::string shown;
    };
    const Row rows[] = {
        {"escape sequence", "a\x1b[2Jb", "a\\x1b[2Jb"},
        {"ESC and BEL",
         "a\x1b]0;title\x07"
         "b",
         "a\\x1b]0;title\\x07b"},
        {"CR and LF", "ok.txt\r\nfake.txt", "ok.txt\\r\\nfake.txt"},
        {"tab and DEL", "a\tb\x7f", "a\\tb\\x7f"},
        {"C1 control (CSI) in UTF-8",
         "a\xc2\x9b"
         "2Jb",
         "a\\u009b2Jb"},
        {"a backslash is doubled", "a\\nb", "a\\\\nb"},
        {"Korean and other text pass", "가나 다.txt", "가나 다.txt"},
    };
    for (const Row& row : rows) {
        const RemoteEntry entry{"/d/" + row.remoteName, 1, false, "2026-12-01\r10:00"};
        EXPECT_EQ(CListing::render({entry}, false), row.shown + "\n") << row.name;
        EXPECT_EQ(CListing::render({entry}, true), "- 1  2026-12-01\\r10:00  " + row.shown + "\n")
            << row.name;
        EXPECT_EQ(CListing::describe(entry),
                  "Path: /d/" + row.shown + "\nType: file\nSize: 1\nDate: 2026-12-01\\r10:00\n")
            << row.name;
    }
}

// What failed, in plain words, with the code after it; the library's terse text is not what a
// person reads, and the server's own words come last when they add something.
TEST(ErrorReportTest, PlainWordsThenTheCode) {
    struct Row {
        const char* context;
        int code;
        const char* library;
        const char* server;
        const char* expected;
    };
    const Row rows[] = {
        {"get: remote file /a", 23006, "file or directory not exist", "",
         "tavik: get: remote file /a: does not exist (23006)"},
        {"ls: remote folder /x", 23009, "permission deny", "",
         "tavik: ls: remote folder /x: the server does not allow it (23009)"},
        {"log in", 22001, "wrong id", "no such disk: x",
         "tavik: log in: the server has no disk of that ID (22001): no such disk: x"},
        {"log in", 22002, "wrong passwd", "", "tavik: log in: wrong password (22002)"},
        // The library's filler after its own text adds nothing.
        {"log in to h:1", 21001, "connect fail", "connect fail..",
         "tavik: log in to h:1: cannot connect to the server (21001)"},
        {"rm: remote folder /d", 23003, "not empty directory", "",
         "tavik: rm: remote folder /d: the folder is not empty (-r deletes it with everything in "
         "it) (23003)"},
        // A code the table does not know keeps the library's text, or its number alone.
        {"df", 22099, "odd", "", "tavik: df: odd (22099)"},
        {"", 22003, "", "", "tavik: error 22003"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CErrorReport::compose(row.context, row.code, row.library, row.server),
                  row.expected);
    }
}

} // namespace
} // namespace tavik::cli
