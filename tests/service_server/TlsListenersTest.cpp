// Every listener (disk, authentication, disk information) on one port serves clients that open
// with a TLS handshake over TLS and the rest in plain, and refuses plain when TLS is required.
// Clients here check the server as the library and the programs do: a pinned fingerprint, or a
// CA and the host name.
#include "tests/service_server/CServiceHarness.h"
#include "tests/support/CTempFolder.h"
#include "tests/support/LoopbackFrom.h"

#include "sdk/core/CPacket.h"
#include "sdk/core/PacketWire.h"
#include "server/CWireText.h"
#include "tls/CTlsChannel.h"
#include "tls/SelfSignedPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavik::test {
namespace {

constexpr int kWaitMs = 10000;

// One client connection, plain or TLS, with blocking-style helpers over a non-blocking socket.
class CLink {
public:
    ~CLink() {
        channel_.reset();
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool connect(uint16_t port) {
        fd_ = connectLoopbackFrom("127.0.0.1", port, kWaitMs);
        return fd_ >= 0;
    }
    // TLS trusting by a pinned fingerprint, or (pin empty) by the CA in caFile and host.
    bool startTls(const std::string& caFile, const std::string& host, const std::string& pin,
                  std::string& reason) {
        std::string error;
        auto context = tls::CTlsContext::forClient(caFile, error);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        auto channel = context ? tls::CTlsChannel::open(context, fd_) : nullptr;
        if (!channel || !channel->expectHost(host) ||
            channel->handshake(kWaitMs) != tls::CTlsChannel::Handshake::Done) {
            reason = channel ? channel->failure() : error;
            return false;
        }
        if (!channel->checkPeer(pin, reason)) {
            return false;
        }
        channel_ = std::move(channel);
        return true;
    }
    bool send(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const long n =
                channel_ ? step(channel_->write(bytes.data() + done, bytes.size() - done))
                         : ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 || (n == 0 && !wait(POLLOUT))) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool readExact(Bytes& out, size_t count) {
        const size_t start = out.size();
        out.resize(start + count);
        size_t done = 0;
        while (done < count) {
            long n = 0;
            if (channel_) {
                n = step(channel_->read(out.data() + start + done, count - done));
            } else if (wait(POLLIN)) {
                n = ::recv(fd_, out.data() + start + done, count - done, 0);
                n = n == 0 ? -1 : n;
            }
            if (n < 0 || (n == 0 && !wait(POLLIN))) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // True when the server ends the connection without a byte of reply.
    bool closedWithoutReply() {
        if (!wait(POLLIN)) {
            return false;
        }
        char byte = 0;
        return ::recv(fd_, &byte, 1, 0) <= 0;
    }

private:
    // A TLS step as a count: 0 to wait, -1 for an end.
    static long step(const tls::CTlsChannel::Step& s) {
        switch (s.status) {
        case tls::CTlsChannel::Status::Done:
            return static_cast<long>(s.count);
        case tls::CTlsChannel::Status::WantRead:
        case tls::CTlsChannel::Status::WantWrite:
            return 0;
        default:
            return -1;
        }
    }
    bool wait(short events) {
        pollfd entry{fd_, static_cast<short>(events | POLLIN), 0};
        return ::poll(&entry, 1, kWaitMs) == 1;
    }

    int fd_ = -1;
    std::unique_ptr<tls::CTlsChannel> channel_;
};

// One request and its reply in each protocol; true when the reply is the expected one.
bool diskLogin(CLink& link) {
    CPacket request(2);
    request.SetString("_cmd", "setuser");
    request.SetString("id", "demo");
    request.SetString("pass", "");
    Bytes bytes(static_cast<size_t>(request.SizeBound()));
    bytes.resize(
        static_cast<size_t>(request.Serialize(bytes.data(), static_cast<int>(bytes.size()))));
    Bytes reply;
    if (!link.send(bytes) || !link.readExact(reply, wire::kHeaderSize)) {
        return false;
    }
    const uint32_t body = reply[8] | (uint32_t{reply[9]} << 8) | (uint32_t{reply[10]} << 16) |
                          (uint32_t{reply[11]} << 24);
    CPacket answer(2);
    return body < (1u << 20) && link.readExact(reply, body) &&
           answer.ParseInPlace(reply.data(), static_cast<int>(reply.size())) >= 0 &&
           answer.GetInt("error", -1) == 0;
}

bool authQueryNode(CLink& link) {
    Bytes frame;
    if (!link.send(CHandFrames::message("ctrl=general&general=queryNode&bodytype=0", "")) ||
        !link.readExact(frame, 12)) {
        return false;
    }
    const uint32_t header = (uint32_t{frame[8]} << 24) | (uint32_t{frame[9]} << 16) |
                            (uint32_t{frame[10]} << 8) | frame[11];
    if (header > (1u << 20) || !link.readExact(frame, header + 4)) {
        return false;
    }
    const size_t at = 12 + header;
    const uint32_t body = (uint32_t{frame[at]} << 24) | (uint32_t{frame[at + 1]} << 16) |
                          (uint32_t{frame[at + 2]} << 8) | frame[at + 3];
    std::string headerText;
    std::string bodyText;
    return body <= (1u << 20) && link.readExact(frame, body) &&
           CHandFrames::messageTexts(frame, headerText, bodyText) &&
           !CHandFrames::pairs(headerText)["yournodeaddr"].empty();
}

bool diskInfoQuery(CLink& link) {
    Bytes reply;
    if (!link.send(CHandFrames::form("&cmd=GetDiskInfo&username=alice%40tavik.local"
                                     "&serviceType=")) ||
        !link.readExact(reply, 8)) {
        return false;
    }
    const uint32_t total = reply[0] | (uint32_t{reply[1]} << 8) | (uint32_t{reply[2]} << 16) |
                           (uint32_t{reply[3]} << 24);
    // Not logged in through the authentication server: the answer is the error form.
    return total >= 8 && total <= 65536 && link.readExact(reply, total - 8) &&
           CHandFrames::pairs(CHandFrames::formText(reply))["errorcode"] == "101";
}

struct Protocol {
    const char* name;
    uint16_t (*port)(CServiceHarness&);
    bool (*exchange)(CLink&);
};

const Protocol kProtocols[] = {
    {"disk", [](CServiceHarness& h) { return h.diskPort(); }, diskLogin},
    {"authentication", [](CServiceHarness& h) { return h.authPort(); }, authQueryNode},
    {"disk information", [](CServiceHarness& h) { return h.diskInfoPort(); }, diskInfoQuery},
};

// One certificate for "localhost" for every test, and two servers: TLS offered, TLS required.
class TlsListenersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new CTempFolder;
        std::string error;
        ASSERT_TRUE(tls::writeSelfSignedPair({"localhost"}, folder->file("server.crt"),
                                             folder->file("server.key"), error))
            << error;
        context = tls::CTlsContext::forServer(folder->file("server.crt"),
                                              folder->file("server.key"), error);
        ASSERT_TRUE(context) << error;
        offered = new CServiceHarness([](server::CServerConfig& c) { c.tls = context; });
        required = new CServiceHarness([](server::CServerConfig& c) {
            c.tls = context;
            c.requireTls = true;
        });
    }
    static void TearDownTestSuite() {
        delete offered;
        delete required;
        delete folder;
        context.reset();
    }

    static CTempFolder* folder;
    static std::shared_ptr<const tls::CTlsContext> context;
    static CServiceHarness* offered;
    static CServiceHarness* required;
};

CTempFolder* TlsListenersTest::folder = nullptr;
std::shared_ptr<const tls::CTlsContext> TlsListenersTest::context;
CServiceHarness* TlsListenersTest::offered = nullptr;
CServiceHarness* TlsListenersTest::required = nullptr;

TEST_F(TlsListenersTest, TlsAndPlainShareEachPort) {
    ASSERT_TRUE(offered->running());
    for (const Protocol& protocol : kProtocols) {
        SCOPED_TRACE(protocol.name);
        CLink plain;
        ASSERT_TRUE(plain.connect(protocol.port(*offered)));
        EXPECT_TRUE(protocol.exchange(plain));

        CLink secure;
        std::string reason;
        ASSERT_TRUE(secure.connect(protocol.port(*offered)));
        ASSERT_TRUE(secure.startTls("", "localhost", context->fingerprint(), reason)) << reason;
        EXPECT_TRUE(protocol.exchange(secure));
    }
}

TEST_F(TlsListenersTest, OnlyAServerThatProvesItselfIsTrusted) {
    // The same certificate with another fingerprint: one byte of the real one changed.
    std::string changed = context->fingerprint();
    changed[0] = changed[0] == 'A' ? 'B' : 'A';
    struct Row {
        const char* what;
        std::string caFile;
        std::string host;
        std::string pin;
        bool trusted;
    };
    const Row rows[] = {
        {"pinned fingerprint", "", "anything.example", context->fingerprint(), true},
        {"pinned fingerprint without ':'", "", "x",
         "sha256:" +
             [] {
                 std::string hex = context->fingerprint();
                 std::erase(hex, ':');
                 return hex;
             }(),
         true},
        {"changed fingerprint", "", "localhost", changed, false},
        {"CA and host name", folder->file("server.crt"), "localhost", "", true},
        {"CA, wrong host name", folder->file("server.crt"), "other.example", "", false},
        {"CA, wrong address", folder->file("server.crt"), "127.0.0.1", "", false},
        {"unknown CA (system store)", "", "localhost", "", false},
    };
    for (const Protocol& protocol : kProtocols) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(protocol.name) + ": " + row.what);
            CLink link;
            std::string reason;
            ASSERT_TRUE(link.connect(protocol.port(*offered)));
            const bool trusted = link.startTls(row.caFile, row.host, row.pin, reason);
            EXPECT_EQ(trusted, row.trusted) << reason;
            if (trusted) {
                EXPECT_TRUE(protocol.exchange(link));
            }
        }
    }
}

TEST_F(TlsListenersTest, KeysAreTheirOwnersAndNeverReplaced) {
    struct stat key {};
    ASSERT_EQ(::stat(folder->file("server.key").c_str(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600u);
    std::string error;
    EXPECT_FALSE(tls::writeSelfSignedPair({"localhost"}, folder->file("new.crt"),
                                          folder->file("server.key"), error));
    EXPECT_NE(error.find("server.key"), std::string::npos) << error;
    // The server's context is still the one made from the files.
    EXPECT_EQ(
        tls::CTlsContext::forServer(folder->file("server.crt"), folder->file("server.key"), error)
            ->fingerprint(),
        context->fingerprint());
    // A certificate with another's key is refused at start.
    ASSERT_TRUE(tls::writeSelfSignedPair({"localhost"}, folder->file("other.crt"),
                                         folder->file("other.key"), error));
    EXPECT_EQ(
        tls::CTlsContext::forServer(folder->file("server.crt"), folder->file("other.key"), error),
        nullptr);
    EXPECT_NE(error.find("other.key"), std::string::npos) << error;
}

TEST_F(TlsListenersTest, RequiredTlsRefusesPlainButServesTls) {
    ASSERT_TRUE(required->running());
    for (const Protocol& protocol : kProtocols) {
        SCOPED_TRACE(protocol.name);
        CLink plain;
        ASSERT_TRUE(plain.connect(protocol.port(*required)));
        ASSERT_TRUE(plain.send({'T', 'K', 0, 0}));
        EXPECT_TRUE(plain.closedWithoutReply());

        CLink secure;
        std::string reason;
        ASSERT_TRUE(secure.connect(protocol.port(*required)));
        ASSERT_TRUE(secure.startTls("", "localhost", context->fingerprint(), reason)) << reason;
        EXPECT_TRUE(protocol.exchange(secure));
    }
}

} // namespace
} // namespace tavik::test
