#include "tests/support/CFakeDiskServer.h"

#include "sdk/core/PacketWire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::test {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits until the socket has the event or the deadline passes; errors and hang-ups count as
// ready so that the following call reports them.
bool waitFor(int socket, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{socket, events, 0};
        int n = ::poll(&p, 1, msLeft(deadline));
        if (n > 0) {
            return true;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

std::string hexPrefix(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < 24; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return bytes.size() > 24 ? out + "..." : out;
}

} // namespace

CFakeDiskServer::CFakeDiskServer(int stepTimeoutMs) : stepTimeoutMs_(stepTimeoutMs) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        failure_ = "socket() failed";
        return;
    }
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        failure_ = "cannot listen on 127.0.0.1";
        ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
}

CFakeDiskServer::~CFakeDiskServer() {
    if (thread_.joinable()) {
        thread_.join();
    }
    closeConnection(false);
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

CFakeDiskServer& CFakeDiskServer::add(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

CFakeDiskServer& CFakeDiskServer::expect(std::string cmd) {
    return add({Kind::Expect, std::move(cmd), {}, {}, 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::reply(std::vector<FakeItem> items) {
    return replyFlags(2, std::move(items));
}

CFakeDiskServer& CFakeDiskServer::replyFlags(uint32_t flags, std::vector<FakeItem> items) {
    CFakePacket packet(flags, std::move(items));
    return add({Kind::Send, {}, packet.encode(), "send " + packet.describe(), 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::sendRaw(std::vector<uint8_t> bytes) {
    std::string text = "send raw " + std::to_string(bytes.size()) + " bytes " + hexPrefix(bytes);
    return add({Kind::Send, {}, std::move(bytes), std::move(text), 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::recvRaw(size_t count) {
    return add({Kind::RecvRaw, {}, {}, {}, count, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::stall(int ms) {
    return add({Kind::Stall, {}, {}, {}, 0, ms, {}});
}

CFakeDiskServer& CFakeDiskServer::expectClosed() {
    return add({Kind::ExpectClosed, {}, {}, {}, 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::close() {
    return add({Kind::Close, {}, {}, {}, 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::reset() {
    return add({Kind::Reset, {}, {}, {}, 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::acceptNext() {
    return add({Kind::AcceptNext, {}, {}, {}, 0, 0, {}});
}

CFakeDiskServer& CFakeDiskServer::expectLogin(std::string path, int32_t mode) {
    return expect("setuser").reply({{"error", 0}, {"path", path}, {"mode", mode}});
}

CFakeDiskServer& CFakeDiskServer::custom(std::string label,
                                         std::function<bool(int, std::string&)> fn) {
    return add({Kind::Custom, std::move(label), {}, {}, 0, 0, std::move(fn)});
}

CFakeDiskServer& CFakeDiskServer::start() {
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { run(); });
    }
    return *this;
}

::testing::AssertionResult CFakeDiskServer::finish() {
    start();
    if (thread_.joinable()) {
        thread_.join();
    }
    finished_ = true;
    std::string transcript;
    for (const std::string& line : log_) {
        transcript += "\n  " + line;
    }
    if (!failure_.empty()) {
        return ::testing::AssertionFailure()
               << "fake disk server: " << failure_ << "\nsteps done:" << transcript;
    }
    return ::testing::AssertionSuccess() << "fake disk server script done:" << transcript;
}

const CFakePacket& CFakeDiskServer::packet(size_t index) const {
    static const CFakePacket none;
    if (index >= packets_.size()) {
        ADD_FAILURE() << "fake disk server received only " << packets_.size() << " packets";
        return none;
    }
    return packets_[index];
}

void CFakeDiskServer::run() {
    if (failure_.empty()) {
        for (size_t i = 0; i < steps_.size(); ++i) {
            if (!runStep(steps_[i])) {
                failure_ = "step " + std::to_string(i + 1) + ": " + failure_;
                break;
            }
        }
    }
    closeConnection(false);
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

bool CFakeDiskServer::failStep(std::string why) {
    failure_ = std::move(why);
    log_.push_back("FAILED: " + failure_);
    return false;
}

bool CFakeDiskServer::runStep(const Step& step) {
    switch (step.kind) {
    case Kind::Expect:
        return ensureConnection() && stepExpect(step);
    case Kind::Send:
        if (!ensureConnection()) {
            return false;
        }
        log_.push_back(step.describe);
        if (!sendAll(connection_, step.bytes.data(), step.bytes.size(), stepTimeoutMs_)) {
            return failStep("sending " + std::to_string(step.bytes.size()) + " bytes failed");
        }
        return true;
    case Kind::RecvRaw:
        return ensureConnection() && stepRecvRaw(step);
    case Kind::Stall:
        log_.push_back("stall " + std::to_string(step.ms) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        return true;
    case Kind::ExpectClosed:
        return ensureConnection() && stepExpectClosed();
    case Kind::Close:
    case Kind::Reset:
        // Like every step, it works on a connection: with none yet, it takes the next one.
        if (!ensureConnection()) {
            return false;
        }
        log_.push_back(step.kind == Kind::Close ? "close" : "reset");
        closeConnection(step.kind == Kind::Reset);
        return true;
    case Kind::AcceptNext:
        closeConnection(false);
        return acceptConnection();
    case Kind::Custom: {
        if (!ensureConnection()) {
            return false;
        }
        log_.push_back("custom " + step.text);
        std::string why;
        return step.fn(connection_, why) || failStep(step.text + ": " + why);
    }
    }
    return false;
}

bool CFakeDiskServer::ensureConnection() {
    return connection_ >= 0 || acceptConnection();
}

bool CFakeDiskServer::acceptConnection() {
    if (listener_ < 0) {
        return failStep("not listening");
    }
    if (!waitFor(listener_, POLLIN, Clock::now() + std::chrono::milliseconds(stepTimeoutMs_))) {
        return failStep("no client connected within " + std::to_string(stepTimeoutMs_) + " ms");
    }
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection_ < 0) {
        return failStep("accept failed");
    }
    ++accepted_;
    log_.push_back("accept #" + std::to_string(accepted_));
    return true;
}

void CFakeDiskServer::closeConnection(bool reset) {
    if (connection_ < 0) {
        return;
    }
    if (reset) {
        linger hard{1, 0};
        ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(connection_);
    connection_ = -1;
}

bool CFakeDiskServer::stepExpect(const Step& step) {
    std::vector<uint8_t> bytes(wire::kHeaderSize);
    bool closed = false;
    if (!recvExactly(connection_, bytes.data(), bytes.size(), stepTimeoutMs_, &closed)) {
        clientClosed_ = clientClosed_ || closed;
        return failStep(std::string("no packet header from the client (") +
                        (closed ? "closed" : "time-out or error") + ")");
    }
    int32_t length = static_cast<int32_t>(bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) |
                                          (static_cast<uint32_t>(bytes[11]) << 24));
    if (length < 0 || length > wire::kMaxBodyLength) {
        return failStep("client announced a body of " + std::to_string(length) + " bytes");
    }
    bytes.resize(wire::kHeaderSize + static_cast<size_t>(length));
    if (!recvExactly(connection_, bytes.data() + wire::kHeaderSize, static_cast<size_t>(length),
                     stepTimeoutMs_, &closed)) {
        clientClosed_ = clientClosed_ || closed;
        return failStep("packet body incomplete");
    }
    std::string why;
    std::optional<CFakePacket> packet = CFakePacket::decode(bytes, &why);
    if (!packet) {
        return failStep("client packet does not decode: " + why + " " + hexPrefix(bytes));
    }
    log_.push_back("recv " + packet->describe());
    packets_.push_back(*packet);
    if (!step.text.empty() && packet->cmd() != step.text) {
        return failStep("expected \"_cmd\" \"" + step.text + "\", got \"" + packet->cmd() + "\"");
    }
    return true;
}

bool CFakeDiskServer::stepRecvRaw(const Step& step) {
    std::vector<uint8_t> bytes(step.count);
    bool closed = false;
    bool whole = recvExactly(connection_, bytes.data(), bytes.size(), stepTimeoutMs_, &closed);
    clientClosed_ = clientClosed_ || closed;
    log_.push_back("recv raw " + std::to_string(step.count) + " bytes " + hexPrefix(bytes));
    if (!whole) {
        return failStep("raw receive of " + std::to_string(step.count) + " bytes incomplete");
    }
    raw_.push_back(std::move(bytes));
    return true;
}

bool CFakeDiskServer::stepExpectClosed() {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(stepTimeoutMs_);
    uint8_t scratch[4096];
    while (waitFor(connection_, POLLIN, deadline)) {
        ssize_t n = ::recv(connection_, scratch, sizeof scratch, 0);
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            clientClosed_ = true;
            clientReset_ = n < 0 && errno == ECONNRESET;
            log_.push_back(clientReset_ ? "client reset the connection" : "client closed");
            return true;
        }
    }
    return failStep("the client did not close the connection");
}

bool CFakeDiskServer::sendAll(int socket, const uint8_t* bytes, size_t count, int timeoutMs) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < count) {
        if (!waitFor(socket, POLLOUT, deadline)) {
            return false;
        }
        ssize_t n = ::send(socket, bytes + done, count - done, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

bool CFakeDiskServer::recvExactly(int socket, uint8_t* buffer, size_t count, int timeoutMs,
                                  bool* closed) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    if (closed != nullptr) {
        *closed = false;
    }
    while (done < count) {
        if (!waitFor(socket, POLLIN, deadline)) {
            return false;
        }
        ssize_t n = ::recv(socket, buffer + done, count - done, 0);
        if (n == 0) {
            if (closed != nullptr) {
                *closed = true;
            }
            return false;
        }
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

} // namespace tavik::test
