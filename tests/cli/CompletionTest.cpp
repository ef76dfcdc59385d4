// What the completion offers for a few prefixes: commands, options, profile names, and the
// remote folder a profile's path needs listed.
#include "cli/core/CCompletion.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

using List = std::vector<std::string>;

TEST(CompletionTest, OffersForPrefixes) {
    const std::map<std::string, CProfile> profiles = {{"work", {}}, {"home", {}}};
    struct Row {
        List words; // after "tavik"; the last is the word being typed
        List candidates;
        bool files;
        const char* remoteProfile; // "" for no remote listing
        const char* remoteTyped;
    };
    const Row rows[] = {
        {{""},
         {"cat", "config", "cp", "df", "get", "info", "ls", "mkdir", "mv", "put", "rename", "rm",
          "stat", "sync"},
         false,
         "",
         ""},
        {{"s"}, {"stat", "sync"}, false, "", ""},
        {{"-r", ""}, {"home", "work"}, false, "", ""},
        {{"--profile", "w"}, {"work"}, false, "", ""},
        {{"sync", "--d"}, {"--delete", "--disk", "--dry-run"}, false, "", ""},
        {{"rm", "-r", "--r"}, {"--recursive"}, false, "", ""},
        {{"config", ""}, {"list", "show"}, false, "", ""},
        {{"config", "show", "h"}, {"home"}, false, "", ""},
        {{"put", "fi"}, {}, true, "", ""},
        {{"get", "w"}, {"work:"}, true, "", ""},
        {{"get", "work:/docs/a"}, {}, false, "work", "/docs/a"},
        {{"-r", "home", "ls", "pic"}, {}, false, "home", "pic"},
        {{"-r", "home", "put", "pic"}, {}, true, "", ""}, // put's sources are local
        {{"--server", ""}, {}, false, "", ""},            // a value is the user's to type
    };
    for (const Row& row : rows) {
        const Completion got = CCompletion::complete(row.words, profiles);
        const std::string where = row.words.front() + " ... " + row.words.back();
        EXPECT_EQ(got.candidates, row.candidates) << where;
        EXPECT_EQ(got.files, row.files) << where;
        EXPECT_EQ(got.remote ? got.remote->profile : "", row.remoteProfile) << where;
        EXPECT_EQ(got.remote ? got.remote->typed : "", row.remoteTyped) << where;
    }
}

TEST(CompletionTest, RemoteNamesKeepWhatWasTyped) {
    const Completion::Remote remote{"work", "work:", "/docs/re"};
    EXPECT_EQ(
        CCompletion::remoteCandidates(remote, {"report.txt", "old", "res"}, {false, false, true}),
        (List{"work:/docs/report.txt", "work:/docs/res/"}));
}

} // namespace
} // namespace tavik::cli
