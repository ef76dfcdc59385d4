// How a "getfileinfo" reply becomes a list, without a server: the untrusted entry count.
#include "sdk/ops/CFileInfoList.h"

#include <gtest/gtest.h>

#include <climits>

namespace tavik {
namespace {

TEST(CFileInfoListTest, CountWithinTheItemsIsTakenAsItStands) {
    CPacket reply;
    reply.SetInt("num", 3);
    reply.SetString("p1", "/a");
    reply.SetString("p2", "/b");
    reply.SetInt("s9", 1);
    auto list = CFileInfoList::fromReply(reply, TAVIK_INFO_PATH);
    ASSERT_EQ(list->count(), 3); // the third entry carries nothing, but num is plausible
    EXPECT_EQ(list->entry(2)->pszName, nullptr);
    EXPECT_EQ(list->handle()->pInfo, list->entry(0));
}

TEST(CFileInfoListTest, CountAboveTheItemsEndsAtTheLastEntryCarried) {
    CPacket reply;
    reply.SetInt("num", INT_MAX);
    reply.SetInt("s1", 5);
    reply.SetInt("t3", 1);
    reply.SetString("p7", "/far"); // beyond what the item count allows: ignored
    auto list = CFileInfoList::fromReply(reply, TAVIK_INFO_SIZE | TAVIK_INFO_TYPE);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->entry(0)->dwSize, 5u);
    EXPECT_EQ(list->entry(2)->dwType, 1u);

    // Nothing asked for: nothing can back the claim.
    EXPECT_EQ(CFileInfoList::fromReply(reply, TAVIK_INFO_FILES)->count(), 0);
}

} // namespace
} // namespace tavik
