// How long the explorer's disk sessions may keep the window waiting: connecting to a server that
// drops connection attempts, and a command that the server never answers, both end with the
// library's error, and the disk can be disconnected and connected again afterwards. The bounds
// are shortened for the tests.
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/RemoteListing.h"
#include "sdk/include/TavikSDK.h"
#include "tests/support/CDroppingListener.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik::app {
namespace {

using test::CDroppingListener;
using test::CFakeDiskServer;

constexpr int kConnectMs = 300;
constexpr int kCommandMs = 500;

std::vector<DiskEntry> OneDisk(int port) {
    DiskEntry disk;
    disk.diskId = u"d1";
    disk.diskName = u"disk";
    disk.serverAddress = u"127.0.0.1:" + QString::number(port).toStdU16String();
    return {disk};
}

class SessionWaitsTest : public ::testing::Test {
protected:
    void SetUp() override { document_.SetWaits(kConnectMs, kCommandMs); }
    CTavikPDADoc document_;
};

TEST_F(SessionWaitsTest, ConnectingToAServerThatDropsAttemptsFailsWithTheLibrarysError) {
    CDroppingListener dead;
    ASSERT_NE(dead.port(), 0);
    document_.TakeDiskList(OneDisk(dead.port()));
    EXPECT_FALSE(document_.Connect(QStringLiteral("disk")));
    EXPECT_EQ(tavik_GetLastError(), 21001);
    EXPECT_EQ(std::u16string(tavik_GetLastErrStr()), u"connect fail..");
    EXPECT_EQ(document_.CurrentSession(), nullptr);
    EXPECT_FALSE(document_.IsConnected(QStringLiteral("disk")));
}

TEST_F(SessionWaitsTest, ACommandTheServerNeverAnswersEndsAndTheDiskStaysUsable) {
    CFakeDiskServer peer(15000);
    // The listing is left unanswered; its time-out bounds the whole command, so no re-login
    // follows it. Then a new connection after the disconnect.
    peer.expectLogin("/disk", 1)
        .expect("getfileinfo")
        .expectClosed()
        .acceptNext()
        .expectLogin("/disk", 1)
        .start();
    document_.TakeDiskList(OneDisk(peer.port()));
    ASSERT_TRUE(document_.Connect(QStringLiteral("disk")));

    RemoteListing listing = ListRemoteFolder(document_.CurrentSession(), QStringLiteral("/disk"));
    EXPECT_FALSE(listing.ok);
    EXPECT_EQ(listing.errorCode, 21002);
    EXPECT_EQ(listing.errorText, QStringLiteral("socket error"));

    EXPECT_EQ(document_.Disconnect(QStringLiteral("disk")),
              CTavikPDADoc::DisconnectResult::Disconnected);
    EXPECT_TRUE(document_.Connect(QStringLiteral("disk")));
    document_.CloseAllSessions();
    ASSERT_TRUE(peer.finish());
}

} // namespace
} // namespace tavik::app
