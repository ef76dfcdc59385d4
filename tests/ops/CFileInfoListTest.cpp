// How a "getfileinfo" reply becomes a list, without a server: the reply's entry count is kept as
// sent, while records are allocated only as far as the reply backs them.
#include "sdk/ops/CFileInfoList.h"

#include <gtest/gtest.h>

#include <climits>

namespace tavik {
namespace {

struct CountRow {
    const char* name;
    int32_t num;         // the reply's "num"; INT_MIN for none
    int32_t infotype;    // what the list reads
    int32_t wantCount;   // the count the caller receives
    int32_t wantRecords; // nCount: records allocated
};

// Every reply carries "p1", "p2", "s1" and "t3" besides its "num".
const CountRow kRows[] = {
    {"within the items: taken as it stands", 3, TAVIK_INFO_PATH, 3, 3},
    {"above the items: records end at the last entry carried", INT_MAX,
     TAVIK_INFO_SIZE | TAVIK_INFO_TYPE, INT_MAX, 3},
    {"count-only reply (no field asked): the count, no records", 250000, TAVIK_INFO_FILES, 250000,
     0},
    {"no fields asked, count within the items", 2, TAVIK_INFO_FILES, 2, 2},
    {"negative: nothing", -3, TAVIK_INFO_PATH, 0, 0},
    {"absent: nothing", INT_MIN, TAVIK_INFO_PATH, 0, 0},
};

TEST(CFileInfoListTest, CountIsTheRepliesAndRecordsAreBounded) {
    for (const CountRow& row : kRows) {
        SCOPED_TRACE(row.name);
        CPacket reply;
        if (row.num != INT_MIN) {
            reply.SetInt("num", row.num);
        }
        reply.SetString("p1", "/a");
        reply.SetString("p2", "/b");
        reply.SetInt("s1", 5);
        reply.SetInt("t3", 1);
        auto list = CFileInfoList::fromReply(reply, row.infotype);
        EXPECT_EQ(list->count(), row.wantCount);
        ASSERT_EQ(list->handle()->nCount, row.wantRecords);
        EXPECT_EQ(list->entry(row.wantRecords), nullptr);
        if (row.wantRecords > 0) {
            EXPECT_EQ(list->handle()->pInfo, list->entry(0));
        }
        if (row.wantRecords >= 3 && (row.infotype & TAVIK_INFO_PATH) != 0) {
            EXPECT_EQ(std::u16string(list->entry(1)->pszName), u"/b");
            EXPECT_EQ(list->entry(2)->pszName, nullptr); // the third entry carries no path
        }
        if (row.wantRecords >= 3 && (row.infotype & TAVIK_INFO_SIZE) != 0) {
            EXPECT_EQ(list->entry(0)->dwSize, 5u);
            EXPECT_EQ(list->entry(2)->dwType, 1u);
        }
    }
}

} // namespace
} // namespace tavik
