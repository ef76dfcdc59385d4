#include "tls/CTlsContext.h"

#include "tls/Fingerprint.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstddef>

namespace tavik::tls {

std::string lastTlsError(const std::string& fallback) {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) {
        return fallback;
    }
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : fallback;
}

namespace {

// Room for eight whole records, so that one receive brings a transfer block and more.
constexpr size_t kReadBufferBytes = 8 * (16384 + 256);

SSL_CTX* newContext(bool server) {
    SSL_CTX* context = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
    if (context == nullptr) {
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
    // AES-128-GCM first: it is TLS 1.3's mandatory suite and half again as fast as AES-256-GCM,
    // which OpenSSL would otherwise pick, and bulk transfers spend most of their time in it. A
    // server keeps to this order whatever a client lists first; the others stay on offer.
    SSL_CTX_set_ciphersuites(
        context, "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256");
    if (server) {
        SSL_CTX_set_options(context, SSL_OP_CIPHER_SERVER_PREFERENCE);
    }
    // Writes are retried with what is left, possibly from another place in the same buffer.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Either side reads whatever has arrived, several records in one receive, instead of a
    // record header and then its body. Callers read before they wait (see
    // CTlsChannel::hasPending).
    SSL_CTX_set_read_ahead(context, 1);
    SSL_CTX_set_default_read_buffer_len(context, kReadBufferBytes);
    return context;
}

} // namespace

CTlsContext::~CTlsContext() {
    SSL_CTX_free(context_);
}

std::shared_ptr<CTlsContext> CTlsContext::newServer(std::string& error) {
    SSL_CTX* raw = newContext(true);
    if (raw == nullptr) {
        error = lastTlsError("cannot set up TLS");
        return nullptr;
    }
    return std::shared_ptr<CTlsContext>(new CTlsContext(raw, true));
}

std::shared_ptr<CTlsContext> CTlsContext::finishServer(std::shared_ptr<CTlsContext> context,
                                                       std::string& error) {
    SSL_CTX* raw = context->context_;
    if (SSL_CTX_check_private_key(raw) != 1) {
        ERR_clear_error();
        error = "the key does not belong to the certificate";
        return nullptr;
    }
    // Downloads go out with sendfile() when the kernel can encrypt; otherwise nothing changes.
    SSL_CTX_set_options(raw, SSL_OP_ENABLE_KTLS);
    // Every connection is new: no tickets to resume with, so none to steal either.
    SSL_CTX_set_num_tickets(raw, 0);
    // An idle connection gives its read buffer (room for eight records) back until it reads
    // again, so that many idle clients cost little.
    SSL_CTX_set_mode(raw, SSL_MODE_RELEASE_BUFFERS);
    context->fingerprint_ = fingerprintOf(SSL_CTX_get0_certificate(raw));
    return context;
}

std::shared_ptr<CTlsContext> CTlsContext::forServer(const std::string& certificateFile,
                                                    const std::string& keyFile,
                                                    std::string& error) {
    auto context = newServer(error);
    if (!context) {
        return nullptr;
    }
    if (SSL_CTX_use_certificate_chain_file(context->context_, certificateFile.c_str()) != 1) {
        error = "cannot read the certificate " + certificateFile + ": " +
                lastTlsError("not a PEM certificate");
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(context->context_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot read the key " + keyFile + ": " + lastTlsError("not a PEM key");
        return nullptr;
    }
    auto finished = finishServer(std::move(context), error);
    if (!finished) {
        error = "the key " + keyFile + " does not belong to the certificate " + certificateFile;
    }
    return finished;
}

std::shared_ptr<CTlsContext> CTlsContext::forServerPem(const std::string& certificatePem,
                                                       const std::string& keyPem,
                                                       std::string& error) {
    auto context = newServer(error);
    if (!context) {
        return nullptr;
    }
    BIO* certificateIn =
        BIO_new_mem_buf(certificatePem.data(), static_cast<int>(certificatePem.size()));
    BIO* keyIn = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
    X509* certificate =
        certificateIn ? PEM_read_bio_X509(certificateIn, nullptr, nullptr, nullptr) : nullptr;
    EVP_PKEY* key = keyIn ? PEM_read_bio_PrivateKey(keyIn, nullptr, nullptr, nullptr) : nullptr;
    const bool used = certificate != nullptr && key != nullptr &&
                      SSL_CTX_use_certificate(context->context_, certificate) == 1 &&
                      SSL_CTX_use_PrivateKey(context->context_, key) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    BIO_free(certificateIn);
    BIO_free(keyIn);
    if (!used) {
        error = lastTlsError("not a PEM certificate and key");
        return nullptr;
    }
    return finishServer(std::move(context), error);
}

std::shared_ptr<const CTlsContext> CTlsContext::systemClient() {
    static const std::shared_ptr<const CTlsContext> context = [] {
        std::string error;
        return std::shared_ptr<const CTlsContext>(forClient("", error));
    }();
    return context;
}

std::shared_ptr<CTlsContext> CTlsContext::forClient(const std::string& caFile, std::string& error) {
    SSL_CTX* raw = newContext(false);
    if (raw == nullptr) {
        error = lastTlsError("cannot set up TLS");
        return nullptr;
    }
    std::shared_ptr<CTlsContext> context(new CTlsContext(raw, false));
    const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(raw)
                                      : SSL_CTX_load_verify_locations(raw, caFile.c_str(), nullptr);
    if (loaded != 1) {
        error = "cannot read the certificate authorities" +
                (caFile.empty() ? std::string() : " in " + caFile) + ": " +
                lastTlsError("unknown reason");
        return nullptr;
    }
    // The chain is checked during the handshake but judged after it (CTlsChannel::checkPeer),
    // so that a pinned fingerprint can trust a certificate no CA signed.
    SSL_CTX_set_verify(raw, SSL_VERIFY_NONE, nullptr);
    return context;
}

} // namespace tavik::tls
