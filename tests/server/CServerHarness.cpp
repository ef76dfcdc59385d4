#include "tests/server/CServerHarness.h"
#include "tests/support/LoopbackFrom.h"

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace tavik::test {

CServerHarness::CServerHarness(const std::function<void(server::CServerConfig&)>& tweak,
                               const std::string& address)
    : address_(address) {
    std::filesystem::create_directories(folder_.file("disk"));
    std::string error;
    auto config = server::CServerConfig::demo(folder_.file("disk"), "demo", error);
    if (!config) {
        return;
    }
    config->addresses = {address};
    config->port = 0;
    config->logCommands = false;
    if (tweak) {
        tweak(*config);
    }
    config_ = *config;
    server_ = std::make_unique<server::CServer>(std::move(*config));
    running_ = server_->start(error);
}

bool CServerHarness::restart() {
    if (!config_ || !server_) {
        return false;
    }
    config_->port = server_->port();
    server_->stop();
    server_ = std::make_unique<server::CServer>(*config_);
    std::string error;
    running_ = server_->start(error);
    return running_;
}

CServerHarness::~CServerHarness() {
    if (server_) {
        server_->stop();
    }
}

std::string CServerHarness::disk(const std::string& relative) const {
    return relative.empty() ? folder_.file("disk") : folder_.file("disk/" + relative);
}

bool CTestClient::connect(uint16_t port, const std::string& host) {
    return server::CSocketStream::connectTo(host, port, kTimeoutMs, stream_);
}

bool CTestClient::connectFrom(uint16_t port, const std::string& source) {
    // Connected while still blocking; the stream then takes the socket over.
    const int fd = connectLoopbackFrom(source, port);
    if (fd < 0) {
        return false;
    }
    stream_ = server::CSocketStream(fd);
    return true;
}

std::unique_ptr<CPacket> CTestClient::request(const char* command) {
    auto packet = std::make_unique<CPacket>(2);
    packet->SetString("_cmd", command);
    return packet;
}

int32_t CTestClient::call(CPacket& request, CPacket& reply) {
    if (!stream_.sendPacket(request, kTimeoutMs) || !receive(reply)) {
        return kNoReply;
    }
    return reply.GetInt("error", 0);
}

int32_t CTestClient::call(CPacket& request) {
    CPacket reply;
    return call(request, reply);
}

int32_t CTestClient::login(const std::string& id, const std::string& pass) {
    auto packet = request("setuser");
    packet->SetString("id", id.c_str());
    packet->SetString("pass", pass.c_str());
    packet->SetInt("timeout", 60000);
    packet->SetString("version", "2.12.06.1");
    packet->SetString("authtype", "");
    return call(*packet);
}

bool CTestClient::sendRaw(const std::string& bytes) {
    return stream_.sendAll(bytes.data(), bytes.size(), kTimeoutMs);
}

bool CTestClient::recvRaw(std::string& bytes, size_t count) {
    bytes.assign(count, '\0');
    return stream_.recvExact(bytes.data(), count, kTimeoutMs) == server::CSocketStream::Receive::Ok;
}

bool CTestClient::receive(CPacket& reply) {
    return stream_.receivePacket(reply, kTimeoutMs, kTimeoutMs) ==
           server::CSocketStream::Receive::Ok;
}

bool CTestClient::closedByPeer() {
    char byte = 0;
    return stream_.recvSome(&byte, 1, kTimeoutMs) < 0;
}

} // namespace tavik::test
