// The service socket layer against a scripted loopback peer: framing of
// received bytes into service messages, connect outcomes, protocol errors,
// sending, the poll thread's lifetime and the blocking client.
#include "app/socket/CSockHandler.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CHostResolver.h"
#include "app/socket/CPollThread.h"
#include "app/socket/CTcpClient.h"
#include "app/socket/SocketEvents.h"
#include "codec/CMsgPacket.h"
#include "platform/WinsockError.h"
#include "tests/support/CFakeDiskServer.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tavik::app {
namespace {

using Bytes = std::vector<uint8_t>;
using test::CFakeDiskServer;

constexpr int kWaitMs = 10000; // bound on every wait; a working layer needs milliseconds

void putBigEndian(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// A service message frame written out by hand: magic, T - 8, H, header, B,
// body.
Bytes Frame(const std::string& header, const std::string& body = {}) {
    Bytes frame = {0x01, 0x31, 0x30, 0xF2};
    putBigEndian(frame, static_cast<uint32_t>(header.size() + body.size() + 8));
    putBigEndian(frame, static_cast<uint32_t>(header.size()));
    frame.insert(frame.end(), header.begin(), header.end());
    putBigEndian(frame, static_cast<uint32_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

Bytes Join(const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(std::min(to, bytes.size())));
}

class CRecordingHandler : public CSockHandler {
public:
    struct Message {
        int event; // how many receive events had arrived when it was dispatched
        Bytes bytes;
    };
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_SOCKEVENT && wParam == kSockEventReceive) {
            ++receiveEvents;
        }
        return CSockHandler::windowProc(msg, wParam, lParam);
    }
    void OnConnect(int code, LPARAM socket) override {
        ++connects;
        CSockHandler::OnConnect(code, socket);
    }
    void OnClose(int code, LPARAM socket) override {
        ++closes;
        closeCodes.push_back(code);
        CSockHandler::OnClose(code, socket);
    }
    void OnMessage(CMsgPacket& packet) override {
        messages.push_back(
            {receiveEvents.load(), Bytes(packet.GetBytes().begin(), packet.GetBytes().end())});
    }

    std::atomic<int> receiveEvents{0};
    int connects = 0;
    int closes = 0;
    std::vector<int> closeCodes;
    std::vector<Message> messages;
};

// A script step that holds the peer until the program has handled `count`
// receive events, so that each piece sent before it arrives as an event of its
// own.
std::function<bool(int, std::string&)> AwaitReceiveEvents(CRecordingHandler& handler, int count) {
    return [&handler, count](int, std::string& why) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (handler.receiveEvents.load() < count) {
            if (std::chrono::steady_clock::now() > deadline) {
                why = "the program did not receive";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    };
}

class SockHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousLookup_ = CHostResolver::SetLookup([](const std::string& name) {
            if (name == "svc.test") {
                return std::vector<std::string>{"127.0.0.1"};
            }
            // Both families, the first refusing: IPv6 loopback, where the fake peer does not
            // listen.
            if (name == "dual.test") {
                return std::vector<std::string>{"::1", "127.0.0.1"};
            }
            return std::vector<std::string>{};
        });
        ASSERT_EQ(CPollThread::Instance().LiveSockets(), 0);
    }
    void TearDown() override {
        CHostResolver::SetLookup(std::move(previousLookup_));
        // The last socket gone, the poll thread has ended (its destructor joined
        // it).
        EXPECT_EQ(CPollThread::Instance().LiveSockets(), 0);
        EXPECT_FALSE(CPollThread::Instance().IsRunning());
    }

    static bool WaitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kWaitMs);
    }
    // Connects a created handler to the peer and waits for OnConnect.
    static void ConnectTo(CRecordingHandler& handler, const CFakeDiskServer& server) {
        ASSERT_TRUE(handler.Create());
        ASSERT_TRUE(handler.Connect(server.host(), server.port()));
        ASSERT_TRUE(WaitFor([&] { return handler.IsConnected(); }));
    }

    CHostResolver::Lookup previousLookup_;
};

TEST_F(SockHandlerTest, ReceivedBytesAreFramedIntoMessagesInOrder) {
    const Bytes first = Frame("ctrl=general&general=queryNode&bodytype=0");
    const Bytes second = Frame("to=n1&from=auth&bodytype=0", "inform=auth&result=0");
    const Bytes third = Frame("bodytype=0", std::string(5000, 'x')); // more than one read
    struct Row {
        const char* name;
        std::vector<Bytes> pieces; // each sent after the program handled the one before
        std::vector<CRecordingHandler::Message> expected;
    };
    const std::vector<Row> rows = {
        {"two messages in one segment", {Join(first, second)}, {{1, first}, {1, second}}},
        {"one message in three pieces",
         {Slice(second, 0, 3), Slice(second, 3, 20), Slice(second, 20, second.size())},
         {{3, second}}},
        {"one and a half, then the rest",
         {Join(first, Slice(second, 0, 10)), Slice(second, 10, second.size())},
         {{1, first}, {2, second}}},
        {"a message longer than one read", {third}, {{0, third}}}, // 0: any event
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CRecordingHandler handler;
        CFakeDiskServer server;
        for (size_t i = 0; i < row.pieces.size(); ++i) {
            server.sendRaw(row.pieces[i]);
            server.custom("await", AwaitReceiveEvents(handler, static_cast<int>(i + 1)));
        }
        server.close(); // the peer closes: exactly one OnClose follows
        server.start();
        ConnectTo(handler, server);
        ASSERT_TRUE(WaitFor([&] { return handler.closes > 0; }));
        ASSERT_TRUE(server.finish());
        QTest::qWait(50); // let any stray event arrive before counting
        ASSERT_EQ(handler.messages.size(), row.expected.size());
        for (size_t i = 0; i < row.expected.size(); ++i) {
            EXPECT_EQ(handler.messages[i].bytes, row.expected[i].bytes) << i;
            if (row.expected[i].event > 0) {
                EXPECT_EQ(handler.messages[i].event, row.expected[i].event) << i;
            }
        }
        EXPECT_EQ(handler.connects, 1);
        EXPECT_EQ(handler.closeCodes, std::vector<int>{200});
        EXPECT_FALSE(handler.IsConnected());
        EXPECT_EQ(handler.Socket()->Handle(), CPollSocket::kInvalidHandle);
    }
}

TEST_F(SockHandlerTest, BytesThatAreNoMessageCloseTheConnectionOnce) {
    const Bytes good = Frame("bodytype=0", "a=1");
    Bytes oversized = {0x01, 0x31, 0x30, 0xF2, 0, 0, 0, 0};
    putBigEndian(oversized,
                 2u << 20); // a header of 2 MiB: beyond any frame we take
    oversized.resize(oversized.size() + (1u << 20) + 100, 'h');
    const struct {
        const char* name;
        Bytes sent;
        size_t messages;
    } rows[] = {
        {"no magic", Bytes{'G', 'E', 'T', ' ', '/', '\r', '\n', '\r', '\n'}, 0},
        {"a message, then no magic", Join(good, Bytes{0x01, 0x31, 0x30, 0x00, 0, 0, 0, 0}), 1},
        {"one byte of a wrong magic", Bytes{0x02}, 0},
        {"a frame larger than 1 MiB", oversized, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CRecordingHandler handler;
        CFakeDiskServer server;
        server.sendRaw(row.sent).expectClosed().start();
        ConnectTo(handler, server);
        ASSERT_TRUE(WaitFor([&] { return handler.closes > 0; }));
        ASSERT_TRUE(server.finish()); // the program, not the peer, closed the connection
        QTest::qWait(50);
        EXPECT_EQ(handler.messages.size(), row.messages);
        EXPECT_EQ(handler.closeCodes, std::vector<int>{200});
    }
}

TEST_F(SockHandlerTest, ConnectOutcomes) {
    // A port where nobody listens: bound once on loopback, then released.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const uint16_t closedPort = ntohs(address.sin_port);
    close(probe);

    const struct {
        const char16_t* host;
        bool usePeer; // connect to the scripted peer, else to the closed port
        uint64_t lookups;
        bool started;
        bool connected;
        size_t boxes;
    } rows[] = {
        {u"127.0.0.1", true, 0, true, true, 0},      // dotted: no name lookup
        {u"svc.test", true, 1, true, true, 0},       // a name: one lookup
        {u"unknown.test", true, 1, false, false, 1}, // no such name: the box
        {u"127.0.0.1", false, 0, true, false, 0},    // refused: one OnClose, no OnConnect
        {u"dual.test", true, 1, true, true, 0},      // ::1 refuses, then 127.0.0.1 answers
        {u"dual.test", false, 1, true, false, 0},    // both refuse: still one OnClose
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(QString::fromStdU16String(row.host).toStdString() +
                     (row.usePeer ? " (peer)" : " (closed port)"));
        CMessageBox::Recorder boxes;
        CFakeDiskServer server;
        if (row.connected) {
            server.expectClosed().start();
        }
        CRecordingHandler handler;
        ASSERT_TRUE(handler.Create());
        const uint64_t lookupsBefore = CHostResolver::LookupCount();
        EXPECT_EQ(handler.Connect(row.host, row.usePeer ? server.port() : closedPort), row.started);
        EXPECT_EQ(CHostResolver::LookupCount() - lookupsBefore, row.lookups);
        EXPECT_EQ(handler.Host(), row.host);
        if (row.connected) {
            ASSERT_TRUE(WaitFor([&] { return handler.IsConnected(); }));
            handler.Disconnect(); // the peer sees the close
            EXPECT_TRUE(server.finish());
        } else if (row.started) {
            ASSERT_TRUE(WaitFor([&] { return handler.closes > 0; }));
            QTest::qWait(50);
            EXPECT_EQ(handler.closeCodes, std::vector<int>{200});
            EXPECT_EQ(handler.connects, 0);
        } else {
            EXPECT_EQ(handler.Socket(), nullptr);
        }
        ASSERT_EQ(boxes.Boxes().size(), row.boxes);
        if (row.boxes > 0) {
            EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("연결 실패!"));
            EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("TAVIK"));
            EXPECT_EQ(boxes.Boxes()[0].Icon(), MB_ICONERROR);
        }
    }
}

TEST_F(SockHandlerTest, SendDeliversWholeMessagesAndFlushWaitsForTheSlowPeer) {
    const Bytes message = Frame("ctrl=general&general=queryNode&bodytype=0");
    // Far more than loopback's socket buffers, so the flush meets a full window
    // and must wait.
    Bytes bulk(24u << 20);
    for (size_t i = 0; i < bulk.size(); ++i) {
        bulk[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
    }
    CRecordingHandler handler;
    CFakeDiskServer server(30000);
    server.recvRaw(message.size()).stall(200).recvRaw(bulk.size()).start();
    ConnectTo(handler, server);

    CMsgPacket packet;
    ASSERT_EQ(packet.Attach(message, true), message.size());
    EXPECT_TRUE(handler.Send(packet));
    ASSERT_TRUE(handler.Socket()->Queue(bulk.data(), bulk.size()));
    EXPECT_EQ(handler.Socket()->Flush(), static_cast<int64_t>(bulk.size()));
    EXPECT_EQ(handler.Socket()->QueuedBytes(), 0u);
    ASSERT_TRUE(server.finish());
    ASSERT_EQ(server.rawReceived().size(), 2u);
    EXPECT_EQ(server.rawReceived()[0], message);
    EXPECT_TRUE(server.rawReceived()[1] == bulk);

    // Without a socket there is nothing to send on.
    handler.Disconnect();
    EXPECT_FALSE(handler.Send(packet));
}

TEST_F(SockHandlerTest, PollThreadRunsOnlyWhileSocketsLive) {
    CFakeDiskServer first;
    CFakeDiskServer second;
    first.expectClosed().start();
    second.expectClosed().start();
    {
        CRecordingHandler a;
        CRecordingHandler b;
        ConnectTo(a, first);
        ConnectTo(b, second);
        EXPECT_TRUE(CPollThread::Instance().IsRunning());
        EXPECT_EQ(CPollThread::Instance().LiveSockets(), 2);
        a.Destroy();
        EXPECT_TRUE(CPollThread::Instance().IsRunning()); // b still lives
        EXPECT_TRUE(b.IsConnected());
    } // b's socket is the last: its destruction joins the poll thread
    EXPECT_FALSE(CPollThread::Instance().IsRunning());
    EXPECT_TRUE(first.finish());
    EXPECT_TRUE(second.finish());
}

TEST_F(SockHandlerTest, BlockingClientExchangesAndFails) {
    Bytes request(3000);
    for (size_t i = 0; i < request.size(); ++i) {
        request[i] = static_cast<uint8_t>(i);
    }
    const Bytes reply = {'o', 'k', 0, 1, 2};
    CFakeDiskServer server;
    server.recvRaw(request.size()).sendRaw(reply).close().start();

    CTcpClient client;
    ASSERT_EQ(client.Create(1), 0);
    // A time-out set before the connect survives the fresh sockets that the name's addresses
    // (::1 refusing first, then 127.0.0.1) are tried on.
    const timeval limit{7, 0};
    ASSERT_EQ(client.SetOption(SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    ASSERT_EQ(client.Connect(u"dual.test", server.port()), 0);
    timeval kept{};
    unsigned size = sizeof kept;
    ASSERT_EQ(client.GetOption(SOL_SOCKET, SO_RCVTIMEO, &kept, &size), 0);
    EXPECT_EQ(kept.tv_sec, 7);
    std::string peer;
    uint16_t peerPort = 0;
    ASSERT_TRUE(client.GetPeerName(peer, peerPort));
    EXPECT_EQ(peer, "127.0.0.1");
    EXPECT_EQ(peerPort, server.port());
    ASSERT_EQ(client.SendAll(request.data(), static_cast<int>(request.size())), 0);
    Bytes received;
    uint8_t buffer[2];
    for (int count; (count = client.Recv(buffer, sizeof buffer)) > 0;) {
        received.insert(received.end(), buffer, buffer + count);
    }
    EXPECT_EQ(received, reply);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.rawReceived()[0], request);

    CTcpClient unknown;
    ASSERT_EQ(unknown.Create(1), 0);
    EXPECT_EQ(unknown.Connect(u"unknown.test", 1), -1);
    EXPECT_EQ(platform::WSAGetLastError(), 10022);
}

} // namespace
} // namespace tavik::app
