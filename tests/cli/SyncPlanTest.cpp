#include "cli/core/CSyncPlan.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

using List = std::vector<std::string>;

SyncEntry file(uint64_t size, const char* minute = "2026-01-01 10:00") {
    return SyncEntry{false, size, minute};
}
const SyncEntry kFolder{true, 0, ""};

TEST(SyncPlanTest, WhatEachDifferenceBecomes) {
    const SyncTree source = {
        {"same.txt", file(3)},
        {"bigger.txt", file(9)},
        {"newer.txt", file(3, "2026-01-01 10:05")},
        {"new.txt", file(1)},
        {"dir", kFolder},
        {"dir/inner.txt", file(2)},
        {"logs", kFolder},
        {"logs/a.log", file(1)},
        {"logs/keep.tmp", file(1)},
        {".x.tavik-part", file(5)}, // a transfer's own temporary file
    };
    const SyncTree destination = {
        {"same.txt", file(3)},      {"bigger.txt", file(4)},      {"newer.txt", file(3)},
        {"gone.txt", file(1)},      {"oldfolder", kFolder},       {"oldfolder/a", file(1)},
        {"oldfolder/sub", kFolder}, {"oldfolder/sub/b", file(1)}, {"logs", kFolder},
        {"logs/old.tmp", file(1)}, // excluded: never deleted
        {".y.tavik-part", file(5)},
    };
    const std::vector<SyncFilter> filters = {{true, "keep.tmp"}, {false, "*.tmp"}};
    struct Row {
        const char* name;
        bool checksum;
        bool remove;
        List makeFolders, copy, compare, removed;
        size_t unchanged;
    };
    const Row rows[] = {
        {"plain",
         false,
         false,
         {"dir"},
         {"bigger.txt", "dir/inner.txt", "logs/a.log", "logs/keep.tmp", "new.txt", "newer.txt"},
         {},
         {},
         1},
        {"--checksum compares what looks the same",
         true,
         false,
         {"dir"},
         {"bigger.txt", "dir/inner.txt", "logs/a.log", "logs/keep.tmp", "new.txt", "newer.txt"},
         {"same.txt"},
         {},
         0},
        {"--delete removes what the source lacks, deepest first, a folder once",
         false,
         true,
         {"dir"},
         {"bigger.txt", "dir/inner.txt", "logs/a.log", "logs/keep.tmp", "new.txt", "newer.txt"},
         {},
         {"gone.txt", "oldfolder"},
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SyncPlan plan =
            CSyncPlan::make(source, destination, filters, row.checksum, row.remove);
        EXPECT_EQ(plan.makeFolders, row.makeFolders);
        EXPECT_EQ(plan.copy, row.copy);
        EXPECT_EQ(plan.compareBytes, row.compare);
        EXPECT_EQ(plan.remove, row.removed);
        EXPECT_EQ(plan.unchanged, row.unchanged);
    }
}

TEST(SyncPlanTest, FirstMatchingFilterWins) {
    struct Row {
        const char* path;
        std::vector<SyncFilter> filters;
        bool included;
    };
    const Row rows[] = {
        {"a.log", {}, true},
        {"a.log", {{false, "*.log"}}, false},
        {"a.log", {{true, "a.*"}, {false, "*.log"}}, true},
        {"a.log", {{false, "*.log"}, {true, "a.*"}}, false},
        {"build/x.o", {{false, "build"}}, false},  // inside an excluded folder
        {"src/build.c", {{false, "build"}}, true}, // a name, not a part of one
        {"src/x.c", {{false, "src/*.c"}}, false},  // with "/": the whole path
        {"lib/src/x.c", {{false, "src/*.c"}}, true},
        {"d/.f.tavik-part", {}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CSyncPlan::included(row.path, row.filters), row.included) << row.path;
    }
}

} // namespace
} // namespace tavik::cli
