// errno to Winsock code mapping and the per-thread last socket error.
#include "platform/WinsockError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace tavik::platform {
namespace {

TEST(WinsockError, MapsErrnoValues) {
    EXPECT_EQ(wsaErrorFromErrno(0), 0);
    EXPECT_EQ(wsaErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(wsaErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(wsaErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(wsaErrorFromErrno(EPIPE), 10054);
    EXPECT_EQ(wsaErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(wsaErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(wsaErrorFromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(wsaErrorFromErrno(ENOTCONN), 10057);
    EXPECT_EQ(wsaErrorFromErrno(EHOSTUNREACH), 10065);
    // Without a counterpart the code is still a failure.
    EXPECT_EQ(wsaErrorFromErrno(ENOENT), 10000 + ENOENT);
}

TEST(WinsockError, LastErrorIsPerThread) {
    WSASetLastError(10054);
    int other = -1;
    std::thread([&other] {
        other = WSAGetLastError();
        WSASetLastError(10060);
    }).join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(WSAGetLastError(), 10054);
    WSASetLastError(0);
}

} // namespace
} // namespace tavik::platform
