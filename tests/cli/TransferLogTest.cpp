#include "cli/core/CTransferLog.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

TEST(TransferLogTest, CountsCompleteSkippedAndIncompleteFiles) {
    CTransferLog log;
    log.beginFile("a", 100, false); // complete in two reports
    log.progress(0, 100, 0);
    log.progress(100, 100, 0);
    log.beginFile("b", 5, true);   // skipped by the confirmation
    log.beginFile("c", 50, false); // failed before any data: no report at all
    log.beginFile("d", 50, false); // broken off with an error
    log.progress(0, 50, 0);
    log.progress(20, 50, 21002);
    log.beginFile("e", 0, false); // empty file: one report at its end
    log.progress(0, 0, 0);
    log.beginFile("f", 30, false); // resumed from 10
    log.progress(10, 30, 0);
    log.progress(30, 30, 0);
    log.beginFile("g", 30, false); // cancelled: the last report stops short without an error
    log.progress(0, 30, 0);
    log.progress(8, 30, 0);
    log.finish();
    log.finish(); // twice is harmless

    EXPECT_EQ(log.transferred(), 3);
    EXPECT_EQ(log.skipped(), 1);
    EXPECT_EQ(log.bytes(), 100u + 0u + 20u);
    EXPECT_EQ(log.incomplete(), (std::vector<std::string>{"c", "d", "g"}));
}

TEST(TransferLogTest, ErrorAtTheEndStillCountsAsFailed) {
    // An upload's last report carries the server's final error.
    CTransferLog log;
    log.beginFile("x", 10, false);
    log.progress(10, 10, 0);
    log.progress(10, 10, 23007);
    log.finish();
    EXPECT_EQ(log.transferred(), 0);
    EXPECT_EQ(log.incomplete(), std::vector<std::string>{"x"});
}

TEST(TransferLogTest, ReportsOutsideAFileAreIgnored) {
    CTransferLog log;
    log.progress(5, 5, 0);
    log.finish();
    EXPECT_EQ(log.transferred(), 0);
    EXPECT_TRUE(log.incomplete().empty());
}

} // namespace
} // namespace tavik::cli
