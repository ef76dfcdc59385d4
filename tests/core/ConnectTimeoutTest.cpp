// The bound on making a session's connection: a server that drops connection attempts (here a
// listener whose queue of waiting connections is full, so the kernel drops further attempts)
// fails creation with "connect fail.." once the bound has passed; an ordinary server still
// connects, and the setting is process-wide until changed back.
#include "sdk/include/TavikSDK.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tavik {
namespace {

using test::CFakeDiskServer;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    int get() const { return fd_; }

private:
    int fd_;
};

// A loopback listener that never accepts, with its queue filled by connections of its own.
class FullListener {
public:
    FullListener() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_.get(), 0) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            Descriptor filler(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(filler.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers_.push_back(std::move(filler));
        }
    }
    int port() const { return port_; }

private:
    Descriptor listener_;
    std::vector<Descriptor> fillers_;
    int port_ = 0;
};

class ConnectTimeoutTest : public ::testing::Test {
protected:
    void TearDown() override { tavik_SetConnectTimeout(-1); }
};

TEST_F(ConnectTimeoutTest, ADroppedConnectFailsOnceTheBoundHasPassed) {
    FullListener dead;
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
