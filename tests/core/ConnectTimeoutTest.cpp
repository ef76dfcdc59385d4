// The bound on making a session's connection: a server that drops connection attempts (here a
// listener whose queue of waiting connections is full, so the kernel drops further attempts)
// fails creation with "connect fail.." once the bound has passed; an ordinary server still
// connects, and the setting is process-wide until changed back.
#include "sdk/include/TavikSDK.h"
#include "tests/support/CDroppingListener.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik {
namespace {

using test::CDroppingListener;
using test::CFakeDiskServer;

class ConnectTimeoutTest : public ::testing::Test {
protected:
    void TearDown() override { tavik_SetConnectTimeout(-1); }
};

TEST_F(ConnectTimeoutTest, ADroppedConnectFailsOnceTheBoundHasPassed) {
    CDroppingListener dead;
    ASSERT_NE(dead.port(), 0);
    EXPECT_EQ(tavik_SetConnectTimeout(300), -1) << "no bound by default";
    for (int attempt = 0; attempt < 2; ++attempt) {
        tavik_SetLastError(0);
        EXPECT_EQ(tavik_CreateSession(u"127.0.0.1", dead.port(), u"u", nullptr, 1000), nullptr);
        EXPECT_EQ(tavik_GetLastError(), 21001);
        EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"connect fail..");
    }
}

TEST_F(ConnectTimeoutTest, AnOrdinaryServerConnectsAndARefusalFailsAtOnce) {
    EXPECT_EQ(tavik_SetConnectTimeout(2000), -1);
    EXPECT_EQ(tavik_SetConnectTimeout(5000), 2000);
    CFakeDiskServer server;
    server.expectLogin("/disk", 1).start();
    TAVIK_SESSION session = tavik_CreateSession(server.host(), server.port(), u"u", nullptr, 3000);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(std::u16string(tavik_GetSessionPath(session)), u"/disk");
    tavik_DestroySession(session);
    ASSERT_TRUE(server.finish());

    CFakeDiskServer gone;
    gone.stall(1).start();
    ASSERT_TRUE(gone.finish());
    EXPECT_EQ(tavik_CreateSession(gone.host(), gone.port(), u"u", nullptr, 3000), nullptr);
    EXPECT_EQ(tavik_GetLastError(), 21001);
}

} // namespace
} // namespace tavik
