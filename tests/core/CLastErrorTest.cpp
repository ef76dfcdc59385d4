// The last-error exports: the stored code and text, errno mirroring and the shared format buffer.
#include "sdk/include/TavikErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

std::u16string text(LPCWSTR value) {
    return value == nullptr ? u"<null>" : value;
}

TEST(CLastError, FormatMessageTexts) {
    EXPECT_EQ(text(tavik_FormatMessage(-1)), u"unknown error");
    EXPECT_EQ(text(tavik_FormatMessage(0)), u"no error");
    EXPECT_EQ(text(tavik_FormatMessage(21002)), u"socket error");
    EXPECT_EQ(text(tavik_FormatMessage(23004)), u"get disk infomation fail");
    // Codes without a text: 22003 lies in the account range but has none.
    EXPECT_EQ(text(tavik_FormatMessage(22003)), u"");
    EXPECT_EQ(text(tavik_FormatMessage(12345)), u"");
}

TEST(CLastError, FormatMessageBufferIsSharedAndOverwritten) {
    // The longest text first, so that the later, shorter one is written into the same storage.
    LPCWSTR first = tavik_FormatMessage(23006);
    ASSERT_EQ(text(first), u"file or directory not exist");
    LPCWSTR second = tavik_FormatMessage(21001);
    EXPECT_EQ(first, second);
    EXPECT_EQ(text(first), u"connect fail");
    // Short text first, then the longest: the earlier pointer must still be readable.
    LPCWSTR shortText = tavik_FormatMessage(0);
    LPCWSTR longText = tavik_FormatMessage(23001);
    EXPECT_EQ(shortText, longText);
    EXPECT_EQ(text(shortText), u"remote file operate error");
}

TEST(CLastError, CodeAndTextAreIndependent) {
    tavik_SetLastErrStr(u"server said no");
    tavik_SetLastError(22002);
    EXPECT_EQ(tavik_GetLastError(), 22002);
    EXPECT_EQ(text(tavik_GetLastErrStr()), u"server said no");

    tavik_SetLastErrStr(u"other text");
    EXPECT_EQ(tavik_GetLastError(), 22002);
    EXPECT_EQ(text(tavik_GetLastErrStr()), u"other text");

    // A null text is ignored.
    tavik_SetLastErrStr(nullptr);
    EXPECT_EQ(text(tavik_GetLastErrStr()), u"other text");

    // Formatting neither reads nor changes the store.
    tavik_FormatMessage(21003);
    EXPECT_EQ(tavik_GetLastError(), 22002);
    EXPECT_EQ(text(tavik_GetLastErrStr()), u"other text");

    tavik_SetLastError(0);
    tavik_SetLastErrStr(u"");
}

TEST(CLastError, SetLastErrorAlsoSetsErrno) {
    errno = 0;
    tavik_SetLastError(21004);
    EXPECT_EQ(errno, 21004);
    tavik_SetLastError(0);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(tavik_GetLastError(), 0);
}

} // namespace
