// Benchmark of the service servers, each figure beside a reference from the same run:
//   - logins per second (node query + password login on a fresh connection, the account's hash
//     made with the cost tavik-server hash-password uses) against bare argon2id checks per
//     second of the same hash: the key derivation should dominate;
//   - GetDiskInfo per second (one connection, a 10-disk account) against raw loopback
//     request/reply round trips of the same sizes;
//   - the stores: logins per second (with session keys, so that the store's work shows rather
//     than the key derivation) and GetDiskInfo per second, four clients at once, on the embedded
//     store and, given --postgresql URI (an empty database the benchmark may fill), on the
//     PostgreSQL store with one and with two replicas.
//   tavik-service-bench [--logins N] [--lists N] [--postgresql URI]
#include "bench/BenchSupport.h"
#include "codec/CFormFramer.h"
#include "codec/CMsgPacket.h"
#include "server/CPasswordHash.h"
#include "server/CServiceServers.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
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

bool login(uint16_t port, const char16_t* user = u"bench@tavik.local",
           const std::u16string& sessionKey = u"") {
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
        body.SetString(u"userid", user);
        if (sessionKey.empty()) {
            body.SetString(u"passwd", u"bench password");
        } else {
            body.SetString(u"brelo_sessionkey", sessionKey);
        }
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
bool listDisks(uint16_t port, int count, size_t& requestBytes, size_t& replyBytes,
               const char16_t* user = u"bench@tavik.local") {
    using namespace tavik::app;
    const int fd = connectTo(port);
    CFormMessage request;
    request.SetValue(u"cmd", u"GetDiskInfo");
    request.SetValue(u"username", user);
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

constexpr int kClients = 4;

// Runs perClient calls of work(port) on each of kClients threads, clients spread over the ports;
// calls per second, or 0 when one failed.
template <class Work>
double rateOf(const std::vector<uint16_t>& ports, int perClient, const Work& work) {
    std::atomic<bool> ok{true};
    const uint64_t start = bench::nowNs();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            const uint16_t port = ports[static_cast<size_t>(c) % ports.size()];
            for (int i = 0; i < perClient && ok; ++i) {
                ok = ok && work(port);
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    return ok ? kClients * perClient / bench::secondsSince(start) : 0.0;
}

// Logins and disk lists per second on one store layout: replicas service servers, each with
// its own connection to the store.
bool measureStore(const char* label, const tavik::server::CServerConfig& base, int replicas,
                  int logins, int lists) {
    using namespace tavik::server;
    std::deque<CServerConfig> configs(static_cast<size_t>(replicas), base);
    std::deque<CServiceServers> servers;
    std::vector<uint16_t> authPorts;
    std::vector<uint16_t> listPorts;
    for (CServerConfig& config : configs) {
        std::string error;
        if (!servers.emplace_back(config).start(error)) {
            std::fprintf(stderr, "%s: %s\n", label, error.c_str());
            return false;
        }
        authPorts.push_back(servers.back().authPort());
        listPorts.push_back(servers.back().diskInfoPort());
    }
    // Logins with session keys: no key derivation, only the store's work (the key spent, the
    // throttle asked and told, the login recorded). The keys are made beforehand.
    std::vector<std::u16string> keys;
    const int64_t now = static_cast<int64_t>(::time(nullptr));
    for (int i = 0; i <= logins; ++i) {
        const auto key = servers.front().store()->issueSessionKey("quick@tavik.local",
                                                                  std::chrono::hours(1), now);
        if (!key) {
            std::fprintf(stderr, "%s: %s\n", label, key.error().c_str());
            return false;
        }
        keys.emplace_back(key->begin(), key->end());
    }
    std::atomic<size_t> nextKey{0};
    // One login per address first, so that the address rule answers the lists.
    if (!login(authPorts.front(), u"quick@tavik.local", keys[nextKey++])) {
        std::fprintf(stderr, "%s: login failed\n", label);
        return false;
    }
    const double loginRate = rateOf(authPorts, logins / kClients, [&](uint16_t port) {
        return login(port, u"quick@tavik.local", keys[nextKey++]);
    });
    const double listRate =
        rateOf(listPorts, 1,
               [&](uint16_t port) {
                   size_t request = 0;
                   size_t reply = 0;
                   return listDisks(port, lists / kClients, request, reply, u"quick@tavik.local");
               }) *
        (lists / kClients);
    std::printf("%-28s logins %8.1f /s   GetDiskInfo %8.0f /s\n", label, loginRate, listRate);
    for (CServiceServers& server : servers) {
        server.stop();
    }
    return loginRate > 0 && listRate > 0;
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
    AccountConfig quick = account;
    quick.user = "quick";
    config.service.accounts.push_back(quick);
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

    // The stores, each layout in the same run.
    const int storeLogins = argument(argc, argv, "--store-logins", 400);
    const int storeLists = argument(argc, argv, "--store-lists", 8000);
    bool measured = measureStore("embedded store", config, 1, storeLogins, storeLists);
    if (const char* uri = bench::option(argc, argv, "--postgresql")) {
        CServerConfig shared = config;
        shared.service.postgresql = uri;
        measured = measureStore("PostgreSQL, one replica", shared, 1, storeLogins, storeLists) &&
                   measureStore("PostgreSQL, two replicas", shared, 2, storeLogins, storeLists) &&
                   measured;
    }
    return measured ? 0 : 1;
}
