// One TLS connection over a socket pair, both ends in this thread: how much a write and a read
// move in one call, bytes received along with the handshake, and writes that the socket takes
// only in part.
#include "tls/CTlsChannel.h"
#include "tls/SelfSignedPair.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavik::test {
namespace {

using tls::CTlsChannel;

std::shared_ptr<const tls::CTlsContext> serverContext() {
    static const std::shared_ptr<const tls::CTlsContext> context = [] {
        std::string error;
        const auto pair = tls::makeSelfSignedPair({"localhost"}, error);
        return pair ? std::shared_ptr<const tls::CTlsContext>(
                          tls::CTlsContext::forServerPem(pair->certificate, pair->key, error))
                    : nullptr;
    }();
    return context;
}

std::shared_ptr<const tls::CTlsContext> clientContext() {
    static const std::shared_ptr<const tls::CTlsContext> context = [] {
        std::string error;
        return std::shared_ptr<const tls::CTlsContext>(tls::CTlsContext::forClient("", error));
    }();
    return context;
}

std::vector<uint8_t> pattern(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
}

// A client and a server channel over a non-blocking socket pair. The handshake runs in steps
// that never wait, each side in turn, so that the order of the bytes is known.
class TlsChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverContext() && clientContext());
        int fds[2] = {-1, -1};
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        clientFd_ = fds[0];
        serverFd_ = fds[1];
        client_ = CTlsChannel::open(clientContext(), clientFd_);
        server_ = CTlsChannel::open(serverContext(), serverFd_);
        ASSERT_TRUE(client_ && server_);
    }
    void TearDown() override {
        client_.reset();
        server_.reset();
        ::close(clientFd_);
        ::close(serverFd_);
    }
    void setBuffers(int bytes) {
        for (int fd : {clientFd_, serverFd_}) {
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
        }
    }
    // The client's flight, the server's, the client's last: true when both are done.
    bool shakeHands(const std::vector<uint8_t>& clientSendsAtOnce = {}) {
        const auto clientFirst = client_->handshake(0);
        const auto serverFirst = server_->handshake(0);
        if (clientFirst != CTlsChannel::Handshake::Timeout ||
            serverFirst != CTlsChannel::Handshake::Timeout ||
            client_->handshake(0) != CTlsChannel::Handshake::Done) {
            return false;
        }
        if (!clientSendsAtOnce.empty()) {
            const auto step = client_->write(clientSendsAtOnce.data(), clientSendsAtOnce.size());
            if (step.status != CTlsChannel::Status::Done ||
                step.count != clientSendsAtOnce.size()) {
                return false;
            }
        }
        return server_->handshake(0) == CTlsChannel::Handshake::Done;
    }
    // Everything the server can read now.
    std::vector<uint8_t> drainServer() {
        std::vector<uint8_t> got;
        uint8_t chunk[7000];
        for (;;) {
            const auto step = server_->read(chunk, sizeof chunk);
            if (step.status != CTlsChannel::Status::Done) {
                return got;
            }
            got.insert(got.end(), chunk, chunk + step.count);
        }
    }

    int clientFd_ = -1;
    int serverFd_ = -1;
    std::unique_ptr<CTlsChannel> client_;
    std::unique_ptr<CTlsChannel> server_;
};

// Bulk transfers spend most of their time in the cipher: both ends settle on AES-128-GCM, also
// with a peer whose own list puts the slower AES-256-GCM first, as OpenSSL's default does.
TEST_F(TlsChannelTest, HandshakesSettleOnTheFasterSuite) {
    ASSERT_TRUE(shakeHands());
    EXPECT_EQ(client_->cipherSuite(), "TLS_AES_128_GCM_SHA256");
    EXPECT_EQ(server_->cipherSuite(), "TLS_AES_128_GCM_SHA256");

    // A fresh server end, and a client of OpenSSL's defaults on the other socket of a new pair.
    int fds[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> defaults(
        SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    const std::unique_ptr<SSL, decltype(&SSL_free)> other(SSL_new(defaults.get()), SSL_free);
    ASSERT_TRUE(other && SSL_set_fd(other.get(), fds[0]) == 1);
    SSL_set_connect_state(other.get());
    auto server = CTlsChannel::open(serverContext(), fds[1]);
    ASSERT_TRUE(server);
    auto serverStep = CTlsChannel::Handshake::Timeout;
    for (int round = 0; round < 10 && serverStep == CTlsChannel::Handshake::Timeout; ++round) {
        SSL_do_handshake(other.get());
        serverStep = server->handshake(0);
    }
    EXPECT_EQ(serverStep, CTlsChannel::Handshake::Done);
    EXPECT_EQ(server->cipherSuite(), "TLS_AES_128_GCM_SHA256");
    server.reset();
    ::close(fds[0]);
    ::close(fds[1]);
}

// A transfer block costs one call on either side when the socket has room, as in plain, and
// not one per 16 KiB record.
TEST_F(TlsChannelTest, OneCallMovesAWholeBlockEachWay) {
    ASSERT_TRUE(shakeHands());
    for (const size_t size : {size_t{1}, size_t{16384}, size_t{16385}, size_t{65536}}) {
        SCOPED_TRACE(size);
        const auto sent = pattern(size, static_cast<uint32_t>(size));
        const auto wrote = client_->write(sent.data(), sent.size());
        ASSERT_EQ(wrote.status, CTlsChannel::Status::Done);
        EXPECT_EQ(wrote.count, size);
        std::vector<uint8_t> got(size + 100);
        const auto read = server_->read(got.data(), got.size());
        ASSERT_EQ(read.status, CTlsChannel::Status::Done);
        EXPECT_EQ(read.count, size);
        got.resize(read.count);
        EXPECT_EQ(got, std::vector<uint8_t>(sent.begin(), sent.begin() + read.count));
        EXPECT_EQ(server_->read(got.data(), got.size()).status, CTlsChannel::Status::WantRead);
    }
}

// Bytes that came in one receive with the end of the handshake are inside the channel, not on
// the socket: a server that waited for the socket would wait for ever.
TEST_F(TlsChannelTest, BytesThatCameWithTheHandshakeAreSeenAsPending) {
    const auto hello = pattern(300, 7);
    ASSERT_TRUE(shakeHands(hello));
    EXPECT_TRUE(readable(serverFd_) || server_->hasPending());
    EXPECT_EQ(drainServer(), hello);
    EXPECT_FALSE(server_->hasPending());
}

// Through socket buffers far smaller than a write, with the reader taking a little at a time:
// every byte arrives once and in order, whether the writer passes the bytes not taken from
// the same place, from a fresh copy, or (as the server's file sending does) leaves the ones
// the channel holds unread.
TEST_F(TlsChannelTest, WritesTakenInPartsDeliverEveryByteOnce) {
    enum class Writer { SamePlace, FreshCopy, HeldLeftUnread };
    setBuffers(4096);
    ASSERT_TRUE(shakeHands());
    const auto all = pattern(600 * 1024, 99);
    std::vector<uint8_t> received;
    size_t sent = 0;
    int stalls = 0;
    const Writer writers[] = {Writer::SamePlace, Writer::FreshCopy, Writer::HeldLeftUnread};
    for (int round = 0; sent < all.size() && round < 20000; ++round) {
        const Writer writer = writers[round % 3];
        // Each call offers up to 100 KiB more than last time's remainder.
        const size_t offer = std::min(all.size() - sent, size_t{100 * 1024});
        std::vector<uint8_t> copy(all.begin() + static_cast<long>(sent),
                                  all.begin() + static_cast<long>(sent + offer));
        if (writer == Writer::HeldLeftUnread) {
            std::fill(copy.begin(), copy.begin() + static_cast<long>(client_->retained()), 0xEE);
        }
        const uint8_t* from = writer == Writer::SamePlace ? all.data() + sent : copy.data();
        const auto step = client_->write(from, offer);
        if (step.status == CTlsChannel::Status::Done) {
            sent += step.count;
        } else {
            ASSERT_EQ(step.status, CTlsChannel::Status::WantWrite);
            ++stalls;
        }
        const auto more = drainServer();
        received.insert(received.end(), more.begin(), more.end());
    }
    const auto rest = drainServer();
    received.insert(received.end(), rest.begin(), rest.end());
    EXPECT_GT(stalls, 0); // the buffers were small enough to make the writer repeat itself
    EXPECT_EQ(sent, all.size());
    EXPECT_EQ(client_->retained(), 0u);
    EXPECT_EQ(received, all);
}

// A repeated write that offers fewer bytes than the channel already encrypted from the last one
// would lose them: it fails instead.
TEST_F(TlsChannelTest, AShorterRepeatOfAHeldWriteFails) {
    setBuffers(4096);
    ASSERT_TRUE(shakeHands());
    const auto block = pattern(256 * 1024, 3);
    const auto first = client_->write(block.data(), block.size());
    ASSERT_TRUE(first.status == CTlsChannel::Status::Done ||
                first.status == CTlsChannel::Status::WantWrite);
    const size_t taken = first.status == CTlsChannel::Status::Done ? first.count : 0;
    ASSERT_GT(client_->retained(), 1u);
    const auto shorter = client_->write(block.data() + taken, client_->retained() - 1);
    EXPECT_EQ(shorter.status, CTlsChannel::Status::Failed);
}

} // namespace
} // namespace tavik::test
