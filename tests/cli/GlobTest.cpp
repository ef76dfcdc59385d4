#include "cli/core/CGlob.h"
#include "cli/core/CRate.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

TEST(GlobTest, MatchesAndNonMatches) {
    struct Row {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Row rows[] = {
        {"*.log", "a.log", true},    {"*.log", ".log", true},
        {"*.log", "a.log.1", false}, {"*", "", true},
        {"a*b*c", "aXbYbZc", true},  {"a*b*c", "aXbYbZ", false},
        {"?.txt", "a.txt", true},    {"?.txt", "ab.txt", false},
        {"?.txt", "가.txt", true}, // one code point, three bytes
        {"??", "가", false},         {"[ab]1", "b1", true},
        {"[ab]1", "c1", false},      {"[a-c]x", "bx", true},
        {"[a-c]x", "dx", false},     {"[!a-c]x", "dx", true},
        {"[^a-c]x", "ax", false},    {"[]]", "]", true}, // a "]" first in the set is a member
        {"[가-힣]", "한", true},     {"[a", "[a", true}, // no closing "]": literal
        {"\\*", "*", true},          {"\\*", "a", false},
        {"log*", "LOG1", false}, // case counts, as on the server's disk
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CGlob::matches(row.pattern, row.name), row.match)
            << row.pattern << " against " << row.name;
    }
}

TEST(GlobTest, WhatCountsAsAPattern) {
    for (const char* text : {"*.txt", "a?", "[ab]", "x[0-9]y"}) {
        EXPECT_TRUE(CGlob::isPattern(text)) << text;
    }
    for (const char* text : {"plain.txt", "a]b", "", "\\*", "한글"}) {
        EXPECT_FALSE(CGlob::isPattern(text)) << text;
    }
}

TEST(RateTest, BytesPerSecond) {
    struct Row {
        const char* text;
        std::optional<uint64_t> rate;
    };
    const Row rows[] = {
        {"1048576", 1048576}, {"500K", 512000},    {"10M", 10485760},     {"1.5M", 1572864},
        {"2G", 2147483648},   {"10MB", 10485760},  {"10M/s", 10485760},   {"64k", 65536},
        {"0", std::nullopt},  {"", std::nullopt},  {"ten", std::nullopt}, {"-5M", std::nullopt},
        {"5T", std::nullopt}, {".", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CRate::parse(row.text), row.rate) << row.text;
    }
}

} // namespace
} // namespace tavik::cli
