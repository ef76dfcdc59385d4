#include "tls/SelfSignedPair.h"

#include "tls/CTlsContext.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavik::tls {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using File = std::unique_ptr<FILE, FileClose>;
using Bio = std::unique_ptr<BIO, BioFree>;

std::string textOf(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? std::string(data, static_cast<size_t>(length)) : std::string();
}

constexpr long kValidSeconds = 10L * 366 * 24 * 3600;

bool isIpLiteral(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

bool addAltNames(X509* certificate, const std::vector<std::string>& hosts) {
    std::string value;
    for (const std::string& host : hosts) {
        value +=
            (value.empty() ? "" : ",") + std::string(isIpLiteral(host) ? "IP:" : "DNS:") + host;
    }
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, value.c_str());
    if (extension == nullptr) {
        return false;
    }
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

Certificate makeCertificate(EVP_PKEY* key, const std::vector<std::string>& hosts) {
    Certificate certificate(X509_new());
    if (!certificate) {
        return nullptr;
    }
    X509* c = certificate.get();
    // The serial only has to differ between certificates of this issuer: a random one does.
    BIGNUM* number = BN_new();
    const bool ok = number != nullptr &&
                    BN_rand(number, 120, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) &&
                    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(c)) != nullptr;
    BN_free(number);
    X509_NAME* name = X509_get_subject_name(c);
    const std::string commonName = hosts.front().substr(0, 64);
    if (!ok || X509_set_version(c, 2) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(c), -3600) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(c), kValidSeconds) == nullptr ||
        X509_set_pubkey(c, key) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) != 1 ||
        X509_set_issuer_name(c, name) != 1 || !addAltNames(c, hosts) ||
        X509_sign(c, key, EVP_sha256()) == 0) {
        return nullptr;
    }
    return certificate;
}

// A new file with the given mode from the start (O_EXCL: an existing one is never replaced).
File createFile(const std::string& path, mode_t mode, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    ::fchmod(fd, mode); // the umask may have taken bits the certificate should have
    File file(::fdopen(fd, "w"));
    if (!file) {
        ::close(fd);
        error = "cannot write " + path;
    }
    return file;
}

bool writeAll(File file, const std::string& text, const std::string& path, std::string& error) {
    const bool flushed = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                         std::fflush(file.get()) == 0 && ::fsync(::fileno(file.get())) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!flushed || !closed) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace

std::optional<PemPair> makeSelfSignedPair(const std::vector<std::string>& hosts,
                                          std::string& error) {
    for (const std::string& host : hosts) {
        if (host.empty() || host.find_first_of(",\n") != std::string::npos) {
            error = "not a host name: \"" + host + "\"";
            return std::nullopt;
        }
    }
    if (hosts.empty()) {
        error = "no host name given";
        return std::nullopt;
    }
    Key key(EVP_EC_gen("P-256"));
    Certificate certificate = key ? makeCertificate(key.get(), hosts) : nullptr;
    if (!certificate) {
        error = lastTlsError("cannot make the certificate");
        return std::nullopt;
    }
    Bio keyOut(BIO_new(BIO_s_mem()));
    Bio certificateOut(BIO_new(BIO_s_mem()));
    if (!keyOut || !certificateOut ||
        PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        PEM_write_bio_X509(certificateOut.get(), certificate.get()) != 1) {
        error = lastTlsError("cannot encode the certificate");
        return std::nullopt;
    }
    return PemPair{textOf(certificateOut.get()), textOf(keyOut.get())};
}

bool writeSelfSignedPair(const std::vector<std::string>& hosts, const std::string& certificateFile,
                         const std::string& keyFile, std::string& error) {
    const std::optional<PemPair> pair = makeSelfSignedPair(hosts, error);
    if (!pair) {
        return false;
    }
    File keyOut = createFile(keyFile, 0600, error);
    if (!keyOut || !writeAll(std::move(keyOut), pair->key, keyFile, error)) {
        return false;
    }
    File certificateOut = createFile(certificateFile, 0644, error);
    return certificateOut &&
           writeAll(std::move(certificateOut), pair->certificate, certificateFile, error);
}

} // namespace tavik::tls
