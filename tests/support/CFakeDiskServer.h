// A scripted disk server inside the test process, for exact-byte tests of the client side.
//
// It listens on 127.0.0.1 at an ephemeral port from construction on (so a client can connect at
// once) and runs its script on one thread after start(). The script is a list of steps, each
// bounded in time (the step time-out, 5 s unless given), so a client that misbehaves makes the
// script fail instead of hanging the test. The first step that needs a connection accepts one;
// acceptNext() moves on to the next connection. When the script ends, or a step fails, the server
// closes its connection and stops listening, so a client never waits on it for ever.
//
//   CFakeDiskServer server;
//   server.expectLogin("/disk", 1)                        // "setuser", then a success reply
//       .expect("getquota")                               // one packet; "_cmd" must match
//       .reply({{"error", 0}, {"block", 4096}, {"free", 10}, {"total", 20}})
//       .start();
//   ... run the client against server.host() / server.port() ...
//   ASSERT_TRUE(server.finish());                         // joins; explains any failed step
//   EXPECT_EQ(server.packet(1).str("id"), "bob");         // the second received packet
//
// Steps:
//   expect(cmd)         receive one whole packet (header, then the announced body), decode and
//                       record it; with a non-empty cmd its "_cmd" must equal it
//   reply(items)        send a packet with these items (flags 2: binary, scrambled)
//   replyFlags(f, its)  the same with other header flags (bit 0 text body, bit 1 scrambled)
//   sendRaw(bytes)      send bytes as they are (hand-made headers, part of a packet, file data)
//   recvRaw(n)          receive exactly n bytes and record them (upload data phases)
//   stall(ms)           do nothing for ms
//   expectClosed()      wait until the client closes its end (reading and dropping any bytes);
//                       clientReset() then tells a reset from an orderly close
//   close()             close the connection (orderly FIN); like every step that works on a
//                       connection, it first accepts one when there is none yet
//   reset()             close the connection with a reset (RST)
//   acceptNext()        close the current connection, if any, and accept the next one
//   expectLogin(p, m)   expect("setuser") + reply error 0, "path" p, "mode" m
//   custom(label, fn)   run fn(socket, why) on the connection; false fails the step with *why
//
// Threading: script steps are added on the test's thread before start(); the recorded packets,
// raw receipts, log and failure may be read only after finish(). finish() and the destructor
// wait for the script thread, which ends within the sum of the step time-outs.
#pragma once

#include "tests/support/CFakePacket.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tavik::test {

class CFakeDiskServer {
public:
    explicit CFakeDiskServer(int stepTimeoutMs = 5000);
    ~CFakeDiskServer();
    CFakeDiskServer(const CFakeDiskServer&) = delete;
    CFakeDiskServer& operator=(const CFakeDiskServer&) = delete;

    uint16_t port() const { return port_; }
    const char16_t* host() const { return u"127.0.0.1"; }

    CFakeDiskServer& expect(std::string cmd = {});
    CFakeDiskServer& reply(std::vector<FakeItem> items);
    CFakeDiskServer& replyFlags(uint32_t flags, std::vector<FakeItem> items);
    CFakeDiskServer& sendRaw(std::vector<uint8_t> bytes);
    CFakeDiskServer& recvRaw(size_t count);
    CFakeDiskServer& stall(int ms);
    CFakeDiskServer& expectClosed();
    CFakeDiskServer& close();
    CFakeDiskServer& reset();
    CFakeDiskServer& acceptNext();
    CFakeDiskServer& expectLogin(std::string path = "/disk", int32_t mode = 1);
    CFakeDiskServer& custom(std::string label,
                            std::function<bool(int socket, std::string& why)> fn);

    // Starts the script thread. Add no steps afterwards.
    CFakeDiskServer& start();
    // Waits for the script to end; success when every step ran and none failed. Starts the
    // script first if start() was not called.
    ::testing::AssertionResult finish();

    // After finish(): the packets received by expect steps, in order.
    const std::vector<CFakePacket>& packets() const { return packets_; }
    const CFakePacket& packet(size_t index) const;
    // After finish(): the bytes of each recvRaw step, in order.
    const std::vector<std::vector<uint8_t>>& rawReceived() const { return raw_; }
    // After finish(): one line per step done ("accept #1", "recv {...}", "send {...}", ...).
    const std::vector<std::string>& log() const { return log_; }
    int connectionsAccepted() const { return accepted_; }
    // Set when the client closed its end during a step that wanted more bytes.
    bool clientClosed() const { return clientClosed_; }
    // Set when expectClosed() saw a reset instead of an orderly close: on Linux a client that
    // closes its socket with bytes still unread sends a reset, so this tells whether the client
    // read everything the server had sent.
    bool clientReset() const { return clientReset_; }

    // Helpers for custom steps: whole sends and receives within a time-out.
    static bool sendAll(int socket, const uint8_t* bytes, size_t count, int timeoutMs);
    // False on time-out, error or end of stream; *closed tells the last apart.
    static bool recvExactly(int socket, uint8_t* buffer, size_t count, int timeoutMs,
                            bool* closed = nullptr);

private:
    enum class Kind {
        Expect,
        Send,
        RecvRaw,
        Stall,
        ExpectClosed,
        Close,
        Reset,
        AcceptNext,
        Custom
    };
    struct Step {
        Kind kind;
        std::string text; // expected "_cmd", or the custom step's label
        std::vector<uint8_t> bytes;
        std::string describe; // what a Send step sends, for the log
        size_t count = 0;
        int ms = 0;
        std::function<bool(int, std::string&)> fn;
    };

    CFakeDiskServer& add(Step step);
    void run();
    bool runStep(const Step& step);
    bool ensureConnection();
    bool acceptConnection();
    void closeConnection(bool reset);
    bool stepExpect(const Step& step);
    bool stepRecvRaw(const Step& step);
    bool stepExpectClosed();
    bool failStep(std::string why);

    int stepTimeoutMs_;
    int listener_ = -1;
    int connection_ = -1;
    uint16_t port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    bool started_ = false;
    bool finished_ = false;

    std::vector<CFakePacket> packets_;
    std::vector<std::vector<uint8_t>> raw_;
    std::vector<std::string> log_;
    std::string failure_;
    int accepted_ = 0;
    bool clientClosed_ = false;
    bool clientReset_ = false;
};

} // namespace tavik::test
