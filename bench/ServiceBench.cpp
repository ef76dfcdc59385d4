// Benchmark of the service servers, each figure beside a reference from the same run:
//   - logins per second (node query + password login on a fresh connection, the account's hash
//     made with the cost tavik-server hash-password uses) against bare argon2id checks per
//     second of the same hash: the key derivation should dominate;
//   - GetDiskInfo per second (one connection, a 10-disk account) against raw loopback
//     request/reply round trips of the same sizes.
//   tavik-service-bench [--logins N] [--lists N]
#include "bench/BenchSupport.h"
#include "codec/CFormFramer.h"
#include "codec/CMsgPacket.h"
#include "server/CPasswordHash.h"
#include "server/CServiceServers.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kPassword[] = "bench password";

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Receives until check says a whole frame is buffered; its length, or 0.
template <class Check> size_t receiveFrame(int fd, std::vector<uint8_t>& buffer, Check check) {
    buffer.clear();
    uint8_t chunk[8192];
    for (;;) {
        const size_t length = check(buffer);
        if (length > 0) {
            return length;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return 0;
        }
        buffer.insert(buffer.end(), chunk, chunk + n);
    }
}

size_t messageLength(const std::vector<uint8_t>& buffer) {
    const auto check = tavik::app::CMsgPacket::Check(buffer);
    return check.status == tavik::app::MsgFrameCheck::kComplete ? check.length : 0;
}

bool login(uint16_t port) {
    using namespace tavik::app;
    const int fd = connectTo(port);
    std::vector<uint8_t> buffer;
    CMsgTextMap header;
    header.SetValue(u"ctrl", u"general");
    header.SetValue(u"general", u"queryNode");
    CMsgPacket query;
    query.BuildTextBody(header, CMsgTextMap());
    CMsgPacket answer;
    CMsgTextMap answerHeader;
    std::u16string node;
    bool ok = fd >= 0 && sendAll(fd, query.GetBytes()) &&
              receiveFrame(fd, buffer, messageLength) > 0 && answer.Attach(buffer) > 0 &&
              answer.GetHeader(answerHeader) && answerHeader.GetValue(u"yourNodeAddr", node);
    if (ok) {
        CMsgTextMap request;
        request.SetValue(u"from", node);
        request.SetValue(u"to", node.substr(0, node.find(u'/')));
        request.SetValue(u"svc", u"authsvr");
        CMsgTypedBody body;
        body.SetString(u"cmd", u"auth");
        body.SetString(u"userid", u"bench@tavik.local");
        body.SetString(u"passwd", u"bench password");
        CMsgPacket auth;
        CMsgPacket reply;
        CMsgTextMap replyBody;
        std::u16string result;
        ok = auth.BuildTypedBody(request, body, true) && sendAll(fd, auth.GetBytes()) &&
             receiveFrame(fd, buffer, messageLength) > 0 && reply.Attach(buffer) > 0 &&
             reply.GetTextBody(replyBody) && replyBody.GetValue(u"result", result) &&
             result == u"0";
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

// Runs count GetDiskInfo exchanges on one connection; the reply size through replyBytes.
bool listDisks(uint16_t port, int count, size_t& requestBytes, size_t& replyBytes) {
    using namespace tavik::app;
    const int fd = connectTo(port);
    CFormMessage request;
    request.SetValue(u"cmd", u"GetDiskInfo");
    request.SetValue(u"username", u"bench@tavik.local");
    request.SetValue(u"serviceType", u"");
    CFormFramer out(true, true);
    out.Append(request);
    requestBytes = out.Size();
    std::vector<uint8_t> buffer;
    const auto formLength = [](const std::vector<uint8_t>& held) -> size_t {
        CFormFramer framer(true, true);
        return framer.Feed(held) == CFormFramer::kComplete ? framer.FrameLength() : 0;
    };
    bool ok = fd >= 0;
    for (int i = 0; ok && i < count; ++i) {
        replyBytes = 0;
        ok = sendAll(fd, out.Bytes()) && (replyBytes = receiveFrame(fd, buffer, formLength)) > 0;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

int argument(int argc, char** argv, const char* name, int fallback) {
    const char* value = bench::option(argc, argv, name);
    return value != nullptr ? std::atoi(value) : fallback;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tavik::server;
    const int logins = argument(argc, argv, "--logins", 40);
    const int lists = argument(argc, argv, "--lists", 20000);
    const auto hash = CPasswordHash::hash(kPassword);
    if (!hash) {
        std::fprintf(stderr, "cannot hash\n");
        return 1;
    }
    CServerConfig config;
    config.port = 0;
    config.logCommands = false;
    config.capabilityKey = CDiskCapability::randomKey();
    config.service.authPort = 0;
    config.service.diskInfoPort = 0;
    config.service.stateDatabase = ":memory:";
    // The lists are asked for many times after one login: no one-time ticket, the address rule.
    config.service.diskInfoAddressRule = true;
    AccountConfig account;
    account.user = "bench";
    account.domain = "tavik.local";
    account.passwordHash = *hash;
    account.displayName = "Bench";
    for (int i = 0; i < 10; ++i) {
        account.disks.push_back(
            {"disk" + std::to_string(i), "디스크 " + std::to_string(i), "127.0.0.1"});
    }
    config.service.accounts.push_back(account);
    CServiceServers servers(config);
    std::string error;
    if (!servers.start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    const auto stored = CPasswordHash::fromHash(*hash);
    uint64_t start = bench::nowNs();
    for (int i = 0; i < logins; ++i) {
        if (!stored->matches(kPassword)) {
            return 1;
        }
    }
    const double kdfRate = logins / bench::secondsSince(start);
    start = bench::nowNs();
    for (int i = 0; i < logins; ++i) {
        if (!login(servers.authPort())) {
            std::fprintf(stderr, "login failed\n");
            return 1;
        }
    }
    const double loginRate = logins / bench::secondsSince(start);
    std::printf("logins:      %8.1f /s   argon2id checks alone: %8.1f /s   ratio %.2f\n", loginRate,
                kdfRate, loginRate / kdfRate);

    size_t requestBytes = 0;
    size_t replyBytes = 0;
    start = bench::nowNs();
    if (!listDisks(servers.diskInfoPort(), lists, requestBytes, replyBytes)) {
        std::fprintf(stderr, "GetDiskInfo failed\n");
        return 1;
    }
    const double listRate = lists / bench::secondsSince(start);
    const double echoRate = bench::rawPingPongRate(static_cast<int>(requestBytes),
                                                   static_cast<int>(replyBytes), lists, false);
    std::printf("GetDiskInfo: %8.0f /s   raw %zu/%zu-byte round trips: %8.0f /s   ratio %.2f\n",
                listRate, requestBytes, replyBytes, echoRate, listRate / echoRate);
    servers.stop();
    return 0;
}
