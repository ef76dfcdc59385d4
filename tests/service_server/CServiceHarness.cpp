#include "tests/service_server/CServiceHarness.h"
#include "tests/support/LoopbackFrom.h"

#include "server/CWireText.h"

#include <arpa/inet.h>
#include <cctype>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::test {

std::string fastHash(const std::string& password) {
    char hash[crypto_pwhash_STRBYTES] = {};
    if (sodium_init() < 0 ||
        crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_MIN,
                          crypto_pwhash_MEMLIMIT_MIN) != 0) {
        return "";
    }
    return hash;
}

namespace {

server::AccountConfig account(const std::string& user, const std::string& password,
                              int64_t number) {
    server::AccountConfig result;
    result.user = user;
    result.domain = "tavik.local";
    result.passwordHash = fastHash(password);
    result.displayName = user + " 님";
    result.userNumber = number;
    return result;
}

} // namespace

CServiceHarness::CServiceHarness(const std::function<void(server::CServerConfig&)>& tweak) {
    std::filesystem::create_directories(folder_.file("demo"));
    std::filesystem::create_directories(folder_.file("vault"));
    std::string error;
    auto config = server::CServerConfig::demo(folder_.file("demo"), "demo", error);
    if (!config) {
        return;
    }
    server::DiskConfig vault = config->disks.front();
    vault.id = "vault";
    vault.root = std::filesystem::canonical(folder_.file("vault"));
    vault.capabilityOnly = true;
    config->disks.push_back(vault);
    config->port = 0;
    config->logCommands = false;
    config->capabilityKey = server::CDiskCapability::randomKey();

    server::ServiceConfig& service = config->service;
    service.authPort = 0;
    service.diskInfoPort = 0;
    service.stateDatabase = folder_.file("state.db");
    service.idleTimeoutMs = 3000;
    service.frameTimeoutMs = 1500;
    service.maxPerAddress = 16;
    auto alice = account("alice", kAlicePassword, 1001);
    alice.disks = {{"demo", "데모 디스크", "127.0.0.1"}, {"vault", "금고", "127.0.0.1"}};
    auto many = account("many", kBobPassword, 1003);
    auto huge = account("huge", kBobPassword, 1004);
    for (int i = 0; i < 200; ++i) {
        many.disks.push_back({"d" + std::to_string(i), "디스크 " + std::to_string(i), "127.0.0.2"});
    }
    for (int i = 0; i < 2000; ++i) {
        huge.disks.push_back({"d" + std::to_string(i), "disk " + std::to_string(i), "127.0.0.2"});
    }
    service.accounts = {alice, account("bob", kBobPassword, 1002), many, huge};
    if (tweak) {
        tweak(*config);
    }
    config_ = std::move(config);
    disk_ = std::make_unique<server::CServer>(*config_);
    // Started first: the service servers keep to the share of descriptors it leaves them.
    running_ = disk_->start(error);
    services_ = std::make_unique<server::CServiceServers>(disk_->config());
    running_ = running_ && services_->start(error);
}

CServiceHarness::~CServiceHarness() {
    if (services_) {
        services_->stop();
    }
    if (disk_) {
        disk_->stop();
    }
}

CRawClient::~CRawClient() {
    close();
}

void CRawClient::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool CRawClient::connect(uint16_t port, const std::string& sourceAddress) {
    close();
    fd_ = connectLoopbackFrom(sourceAddress, port, kTimeoutMs);
    if (fd_ < 0) {
        return false;
    }
    timeval timeout{kTimeoutMs / 1000, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return true;
}

bool CRawClient::send(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CRawClient::readExact(Bytes& out, size_t count) {
    const size_t start = out.size();
    out.resize(start + count);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::recv(fd_, out.data() + start + done, count - done, 0);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CRawClient::readMessage(Bytes& frame) {
    frame.clear();
    if (!readExact(frame, 12)) {
        return false;
    }
    const uint32_t header = (uint32_t{frame[8]} << 24) | (uint32_t{frame[9]} << 16) |
                            (uint32_t{frame[10]} << 8) | frame[11];
    if (header > (1u << 20) || !readExact(frame, header + 4)) {
        return false;
    }
    const size_t at = 12 + header;
    const uint32_t body = (uint32_t{frame[at]} << 24) | (uint32_t{frame[at + 1]} << 16) |
                          (uint32_t{frame[at + 2]} << 8) | frame[at + 3];
    return body <= (1u << 20) && readExact(frame, body);
}

bool CRawClient::readForm(Bytes& frame) {
    frame.clear();
    if (!readExact(frame, 8)) {
        return false;
    }
    const uint32_t total = frame[0] | (uint32_t{frame[1]} << 8) | (uint32_t{frame[2]} << 16) |
                           (uint32_t{frame[3]} << 24);
    return total >= 8 && total <= 65536 && readExact(frame, total - 8);
}

bool CRawClient::closedByPeer(int timeoutMs) {
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) != 1) {
        return false;
    }
    char byte = 0;
    return ::recv(fd_, &byte, 1, MSG_DONTWAIT) <= 0;
}

bool CRawClient::silentFor(int waitMs) {
    pollfd entry{fd_, POLLIN, 0};
    return ::poll(&entry, 1, waitMs) == 0;
}

TextPairs handLogin(CRawClient& client, const std::string& userId, const std::string& password,
                    const std::string& sessionKey) {
    Bytes frame;
    std::string header;
    std::string body;
    if (!client.send(CHandFrames::message("ctrl=general&general=queryNode&bodytype=0", "")) ||
        !client.readMessage(frame) || !CHandFrames::messageTexts(frame, header, body)) {
        return {};
    }
    const std::string node = CHandFrames::pairs(header)["yournodeaddr"];
    const std::string hub = node.substr(0, node.find('/'));
    std::vector<std::pair<std::string, std::string>> entries;
    // Wire text is in the ANSI code page (CP949 in the tests).
    if (!sessionKey.empty()) {
        entries.emplace_back("brelo_sessionkey", server::CWireText::toWire(sessionKey));
    }
    entries.emplace_back("cmd", "auth");
    entries.emplace_back("passwd", server::CWireText::toWire(password));
    entries.emplace_back("userid", server::CWireText::toWire(userId));
    const std::string request = "from=" + node + "&to=" + hub + "&svc=authsvr&bodytype=1";
    if (!client.send(CHandFrames::message(request, CHandFrames::clearTypedBody(entries))) ||
        !client.readMessage(frame) || !CHandFrames::messageTexts(frame, header, body)) {
        return {};
    }
    TextPairs reply = CHandFrames::pairs(server::CWireText::toHost(body));
    const TextPairs headerPairs = CHandFrames::pairs(header);
    reply["(to)"] = headerPairs.count("to") ? headerPairs.at("to") : "";
    reply["(node)"] = node;
    return reply;
}

// The client's form encoding: letters and digits pass, a space is "+", the rest "%XX".
std::string formEncode(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte)) {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 15];
        }
    }
    return out;
}

TextPairs handDiskInfo(uint16_t port, const std::string& userName, const std::string& sourceAddress,
                       const std::string& ticket) {
    CRawClient client;
    Bytes reply;
    std::string text =
        "&cmd=GetDiskInfo&username=" + formEncode(server::CWireText::toWire(userName)) +
        "&serviceType=";
    if (!ticket.empty()) {
        text += "&ticket=" + formEncode(ticket);
    }
    if (!client.connect(port, sourceAddress) || !client.send(CHandFrames::form(text)) ||
        !client.readForm(reply)) {
        return {};
    }
    TextPairs pairs = CHandFrames::pairs(CHandFrames::formText(reply));
    for (auto& [key, value] : pairs) {
        value = server::CWireText::toHost(value);
    }
    pairs["(frame bytes)"] = std::to_string(reply.size());
    return pairs;
}

} // namespace tavik::test
