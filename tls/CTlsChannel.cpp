#include "tls/CTlsChannel.h"

#include "tls/Fingerprint.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <poll.h>
#include <string>

namespace tavik::tls {

namespace {

bool isIpLiteral(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Waits for the socket as the handshake asks; false on time-out or failure.
bool waitSocket(int fd, short events, std::chrono::steady_clock::time_point deadline,
                bool limited) {
    for (;;) {
        int wait = -1;
        if (limited) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                return false;
            }
            wait = static_cast<int>(left);
        }
        pollfd entry{fd, events, 0};
        const int n = ::poll(&entry, 1, wait);
        if (n > 0) {
            return true;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Whether the kernel offers TLS on TCP sockets (its "tls" upper-layer protocol is loaded). Looked
// at once: a module loaded later is used by the next start.
bool kernelHasTls() {
    static const bool has = [] {
        std::ifstream in("/proc/sys/net/ipv4/tcp_available_ulp");
        std::string name;
        while (in >> name) {
            if (name == "tls") {
                return true;
            }
        }
        return false;
    }();
    return has;
}

} // namespace

bool startsTlsHandshake(const unsigned char* bytes, size_t count) {
    return count >= 3 && bytes[0] == 22 && bytes[1] == 3 && bytes[2] <= 4;
}

std::unique_ptr<CTlsChannel> CTlsChannel::open(std::shared_ptr<const CTlsContext> context, int fd) {
    if (!context) {
        return nullptr;
    }
    SSL* ssl = SSL_new(context->get());
    if (ssl == nullptr) {
        ERR_clear_error();
        return nullptr;
    }
    std::unique_ptr<CTlsChannel> channel(new CTlsChannel(context, ssl, fd));
    if (!channel->attachSocket()) {
        ERR_clear_error();
        return nullptr;
    }
    if (context->server()) {
        SSL_set_accept_state(ssl);
    } else {
        SSL_set_connect_state(ssl);
    }
    return channel;
}

CTlsChannel::~CTlsChannel() {
    SSL_free(ssl_);
}

bool CTlsChannel::attachSocket() {
    // Only a server sends with kernel TLS (SSL_OP_ENABLE_KTLS), and only through OpenSSL's own
    // socket BIO.
    if (context_->server() && kernelHasTls()) {
        return SSL_set_fd(ssl_, fd_) == 1;
    }
    BIO* in = BIO_new_socket(fd_, BIO_NOCLOSE);
    gathered_ = std::make_unique<CGatheredSends>(fd_);
    BIO* out = gathered_->newBio();
    if (in == nullptr || out == nullptr) {
        BIO_free(in);
        BIO_free(out);
        return false;
    }
    SSL_set_bio(ssl_, in, out); // both owned by ssl_ from here on
    return true;
}

bool CTlsChannel::expectHost(const std::string& given) {
    std::string host = given;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    bool ok = false;
    if (isIpLiteral(host)) {
        ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) == 1;
    } else {
        ok = SSL_set1_host(ssl_, host.c_str()) == 1 &&
             SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1;
    }
    ERR_clear_error();
    return ok;
}

CTlsChannel::Handshake CTlsChannel::handshake(int timeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        if (result == 1) {
            return Handshake::Done;
        }
        const int error = SSL_get_error(ssl_, result);
        short events = 0;
        if (error == SSL_ERROR_WANT_READ) {
            events = POLLIN;
        } else if (error == SSL_ERROR_WANT_WRITE) {
            events = POLLOUT;
        } else {
            failure_ = error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN
                           ? "the peer closed the connection during the TLS handshake"
                           : lastTlsError("TLS handshake failed");
            const bool plainPeer =
                SSL_is_server(ssl_) == 0 && SSL_get0_peer_certificate(ssl_) == nullptr;
            return plainPeer ? Handshake::NotTls : Handshake::Failed;
        }
        if (!waitSocket(fd_, events, deadline, timeoutMs >= 0)) {
            failure_ = "no TLS handshake within the time-out";
            return Handshake::Timeout;
        }
    }
}

CTlsChannel::Step CTlsChannel::stepFrom(int result, size_t done) {
    if (result == 1) {
        return {Status::Done, done};
    }
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
        return {Status::WantRead, 0};
    case SSL_ERROR_WANT_WRITE:
        return {Status::WantWrite, 0};
    case SSL_ERROR_ZERO_RETURN:
        return {Status::Closed, 0};
    case SSL_ERROR_SYSCALL:
        // An end of the stream without close_notify reads as a close; a real failure as one.
        ERR_clear_error();
        return {errno == 0 ? Status::Closed : Status::Failed, 0};
    default:
        ERR_clear_error();
        return {Status::Failed, 0};
    }
}

CTlsChannel::Step CTlsChannel::read(void* buffer, size_t count) {
    if (deferred_) {
        const Step step = *deferred_;
        deferred_.reset();
        return step;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    for (;;) {
        ERR_clear_error();
        errno = 0;
        size_t n = 0;
        const int result = SSL_read_ex(ssl_, bytes + got, count - got, &n);
        if (result != 1) {
            const Step step = stepFrom(result, 0);
            readMayHaveMore_ = false;
            if (got == 0) {
                return step;
            }
            if (step.status != Status::WantRead) {
                deferred_ = step;
            }
            return {Status::Done, got};
        }
        got += n;
        readMayHaveMore_ = true;
        // One record at a time comes out of OpenSSL: go on while more have arrived, so that a
        // transfer block costs one call, as it does in plain.
        if (got >= count || SSL_has_pending(ssl_) != 1) {
            return {Status::Done, got};
        }
    }
}

CTlsChannel::Step CTlsChannel::write(const void* bytes, size_t count) {
    const auto* data = static_cast<const uint8_t*>(bytes);
    if (!gathered_) {
        return writeDirect(data, count);
    }
    if (count == 0) {
        return {Status::Done, 0};
    }
    if (count < retained_) {
        return {Status::Failed, 0}; // the bytes held would be lost
    }
    Step stop{Status::Done, 0};
    for (;;) {
        stop = encryptMore(data, count);
        const bool flushed = gathered_->flush();
        if (!flushed && errno != EAGAIN && errno != EWOULDBLOCK) {
            stop = {Status::Failed, 0};
        }
        if (!flushed || stop.status != Status::Done || retained_ == count) {
            break;
        }
    }
    const size_t sent = takeSentRecords();
    if (sent > 0) {
        return {Status::Done, sent};
    }
    return stop.status != Status::Done ? stop : Step{Status::WantWrite, 0};
}

CTlsChannel::Step CTlsChannel::encryptMore(const uint8_t* bytes, size_t count) {
    while (retained_ < count && gathered_->waiting() < CGatheredSends::kBurstBytes) {
        ERR_clear_error();
        errno = 0;
        size_t took = 0;
        const int result = SSL_write_ex(ssl_, bytes + retained_, count - retained_, &took);
        if (result != 1) {
            return stepFrom(result, 0);
        }
        records_.push_back({gathered_->appended(), took});
        retained_ += took;
    }
    return {Status::Done, 0};
}

size_t CTlsChannel::takeSentRecords() {
    size_t plain = 0;
    while (!records_.empty() && records_.front().end <= gathered_->sent()) {
        plain += records_.front().plain;
        records_.pop_front();
    }
    retained_ -= plain;
    return plain;
}

CTlsChannel::Step CTlsChannel::writeDirect(const uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ERR_clear_error();
        errno = 0;
        size_t sent = 0;
        const int result = SSL_write_ex(ssl_, bytes + done, count - done, &sent);
        if (result != 1) {
            // What has gone is reported; the reason to stop shows again on the next write.
            return done > 0 ? Step{Status::Done, done} : stepFrom(result, 0);
        }
        done += sent;
    }
    return {Status::Done, done};
}

bool CTlsChannel::hasPending() const {
    return SSL_pending(ssl_) > 0 || (readMayHaveMore_ && SSL_has_pending(ssl_) == 1);
}

bool CTlsChannel::kernelSends() const {
    return BIO_get_ktls_send(SSL_get_wbio(ssl_)) != 0;
}

long CTlsChannel::sendFile(int fileFd, off_t& offset, size_t count) {
    ERR_clear_error();
    errno = 0;
    const ossl_ssize_t n = SSL_sendfile(ssl_, fileFd, offset, count, 0);
    if (n > 0) {
        offset += n;
        return static_cast<long>(n);
    }
    const int error = SSL_get_error(ssl_, static_cast<int>(n));
    ERR_clear_error();
    if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
        errno = EAGAIN;
    } else if (errno == 0) {
        errno = EIO;
    }
    return -1;
}

std::string CTlsChannel::cipherSuite() const {
    const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl_);
    const char* name = cipher != nullptr ? SSL_CIPHER_standard_name(cipher) : nullptr;
    return name != nullptr ? name : "";
}

std::string CTlsChannel::peerFingerprint() const {
    return fingerprintOf(SSL_get0_peer_certificate(ssl_));
}

bool CTlsChannel::checkPeer(const std::string& pinnedFingerprint, std::string& reason) const {
    const std::string seen = peerFingerprint();
    if (seen.empty()) {
        reason = "the server showed no certificate";
        return false;
    }
    if (!pinnedFingerprint.empty()) {
        const std::string pin = parseFingerprint(pinnedFingerprint).value_or(pinnedFingerprint);
        if (seen == pin) {
            return true;
        }
        reason = "the server's certificate fingerprint " + seen + " is not the expected " + pin;
        return false;
    }
    const long verdict = SSL_get_verify_result(ssl_);
    if (verdict == X509_V_OK) {
        return true;
    }
    reason = std::string("the server's certificate is not trusted: ") +
             X509_verify_cert_error_string(verdict);
    return false;
}

void CTlsChannel::closeNotify() {
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
    if (gathered_) {
        gathered_->flush();
    }
}

} // namespace tavik::tls
