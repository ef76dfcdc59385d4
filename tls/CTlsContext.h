// One TLS 1.3 configuration (an OpenSSL SSL_CTX), shared by the connections made with it.
//
// A server context holds the certificate chain and key read from PEM files and asks the kernel
// to take over encryption where it can (kernel TLS), so that file data can still be sent with
// sendfile(). A client context trusts the system's CA store, or one PEM file of CAs; whether a
// peer is trusted is decided per connection (CTlsChannel::checkPeer), so that a pinned
// fingerprint can stand in for a CA. Immutable after creation: any thread may use it.
#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

namespace tavik::tls {

class CTlsContext {
public:
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    // Null with error ("cannot read the certificate FILE: reason", "the key does not match the
    // certificate", ...) when the files are missing, unreadable or do not belong together.
    static std::shared_ptr<CTlsContext> forServer(const std::string& certificateFile,
                                                  const std::string& keyFile, std::string& error);
    // The same from PEM text in memory (a pair made at start that never touches the disk).
    static std::shared_ptr<CTlsContext> forServerPem(const std::string& certificatePem,
                                                     const std::string& keyPem, std::string& error);
    // caFile empty: the system's CA store. Null with error when the store cannot be set up.
    static std::shared_ptr<CTlsContext> forClient(const std::string& caFile, std::string& error);
    // One client context of the system's CA store for the whole process (the store is read
    // once); null when it cannot be set up. Thread-safe.
    static std::shared_ptr<const CTlsContext> systemClient();

    SSL_CTX* get() const { return context_; }
    bool server() const { return server_; }
    // A server context's own certificate fingerprint (see Fingerprint.h); empty for a client.
    const std::string& fingerprint() const { return fingerprint_; }

private:
    CTlsContext(SSL_CTX* context, bool server) : context_(context), server_(server) {}
    static std::shared_ptr<CTlsContext> newServer(std::string& error);
    // Checks that the key fits the certificate and finishes a server context; null with error.
    static std::shared_ptr<CTlsContext> finishServer(std::shared_ptr<CTlsContext> context,
                                                     std::string& error);

    SSL_CTX* context_;
    bool server_;
    std::string fingerprint_;
};

// The reason of the most recent OpenSSL failure of this thread (and clears its queue), or
// fallback when it has none.
std::string lastTlsError(const std::string& fallback);

} // namespace tavik::tls
