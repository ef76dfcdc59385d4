#include "server/CCopyClient.h"

#include "sdk/core/CPacket.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <string>

namespace tavik::server {

namespace {

constexpr uint32_t kScrambledBinary = 2;
constexpr int32_t kLoginTimeoutItem = 60000;

} // namespace

int32_t CCopyClient::connect(const CopyTarget& target, const CopySecurity& security,
                             int timeoutMs) {
    if (!CSocketStream::connectTo(target.ip, target.port, timeoutMs, stream_)) {
        return TAVIK_ERR_CONNECT_FAIL;
    }
    if (security.mode == CopySecurity::Mode::Off) {
        return 0;
    }
    std::string reason;
    switch (stream_.startTls(tls::CTlsContext::systemClient(), target.ip, timeoutMs, reason)) {
    case CSocketStream::TlsStart::Secure:
        if (trusted(security, reason)) {
            return 0;
        }
        stream_.close();
        break;
    case CSocketStream::TlsStart::NotOffered:
        if (security.mode == CopySecurity::Mode::Preferred) {
            return CSocketStream::connectTo(target.ip, target.port, timeoutMs, stream_)
                       ? 0
                       : TAVIK_ERR_CONNECT_FAIL;
        }
        reason = "it does not speak TLS, and copy_tls is \"required\"";
        break;
    case CSocketStream::TlsStart::Failed:
        break;
    }
    failure_ = reason;
    return TAVIK_ERR_CONNECT_FAIL;
}

bool CCopyClient::trusted(const CopySecurity& security, std::string& reason) const {
    const tls::CTlsChannel& channel = *stream_.tlsChannel();
    if (security.fingerprints.empty()) {
        return channel.checkPeer("", reason);
    }
    const std::string seen = channel.peerFingerprint();
    if (std::find(security.fingerprints.begin(), security.fingerprints.end(), seen) !=
        security.fingerprints.end()) {
        return true;
    }
    reason = "its certificate fingerprint " + seen + " is not in copy_fingerprints";
    return false;
}

int32_t CCopyClient::exchange(CPacket& request, CPacket& reply, int timeoutMs) {
    if (!stream_.sendPacket(request, timeoutMs) ||
        stream_.receivePacket(reply, timeoutMs, timeoutMs) != CSocketStream::Receive::Ok) {
        stream_.close();
        return TAVIK_ERR_SOCKET;
    }
    return reply.GetInt("error", 0);
}

int32_t CCopyClient::open(const CopyTarget& target, const CopySecurity& security, uint64_t start,
                          uint64_t end, int timeoutMs) {
    failure_.clear();
    int32_t error = connect(target, security, timeoutMs);
    if (error != 0) {
        return error;
    }
    CPacket login(kScrambledBinary);
    login.SetString("_cmd", "setuser");
    login.SetString("id", target.id.c_str());
    login.SetString("pass", target.password.c_str());
    login.SetInt("timeout", kLoginTimeoutItem);
    login.SetString("version", kClientVersion);
    login.SetString("authtype", "");
    login.SetInt(largefile::kOfferItem, largefile::kOfferVersion);
    CPacket loginReply;
    error = exchange(login, loginReply, timeoutMs);
    if (error != 0) {
        return error;
    }
    if (*loginReply.GetString("authtype", "") != '\0') {
        stream_.close();
        return TAVIK_ERR_SERVER_OPERATION;
    }
    const bool agreed = loginReply.GetInt(largefile::kOfferItem, 0) == largefile::kOfferVersion;
    if (!agreed && end > largefile::kClamped32) {
        stream_.close();
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    CPacket upload(kScrambledBinary);
    upload.SetString("_cmd", "upload");
    upload.SetString("path", target.path.c_str());
    upload.SetInt("startpos", static_cast<int32_t>(largefile::clamp32(start)));
    upload.SetInt("endpos", static_cast<int32_t>(largefile::clamp32(end)));
    if (agreed) {
        largefile::setU64(upload, largefile::kStartItem, start);
        largefile::setU64(upload, largefile::kEndItem, end);
    }
    upload.SetInt("istrunc", target.truncate);
    CPacket uploadReply;
    error = exchange(upload, uploadReply, timeoutMs);
    if (error != 0) {
        stream_.close();
    }
    return error;
}

bool CCopyClient::send(const void* bytes, size_t count, int timeoutMs) {
    return stream_.sendAll(bytes, count, timeoutMs);
}

int32_t CCopyClient::finish(int timeoutMs) {
    CPacket reply;
    if (stream_.receivePacket(reply, timeoutMs, timeoutMs) != CSocketStream::Receive::Ok) {
        stream_.close();
        return TAVIK_ERR_SOCKET;
    }
    return reply.GetInt("error", 0);
}

} // namespace tavik::server
