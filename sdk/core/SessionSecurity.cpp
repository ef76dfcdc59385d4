#include "sdk/core/SessionSecurity.h"

#include "platform/AnsiCodePage.h"
#include "sdk/core/CTrace.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikSession.h"

#include <mutex>

namespace tavik {

namespace {

std::mutex& defaultLock() {
    static std::mutex lock;
    return lock;
}

SessionSecurity& defaultSecurity() {
    static SessionSecurity security;
    return security;
}

std::u16string& lastFingerprint() {
    thread_local std::u16string fingerprint;
    return fingerprint;
}

} // namespace

SessionSecurity SetDefaultSecurity(SessionSecurity security) {
    std::lock_guard<std::mutex> hold(defaultLock());
    std::swap(defaultSecurity(), security);
    return security;
}

SessionSecurity DefaultSecurity() {
    std::lock_guard<std::mutex> hold(defaultLock());
    return defaultSecurity();
}

void NoteServerFingerprint(const std::string& fingerprint) {
    // Hex digits and ':' only: the same in every code page.
    lastFingerprint() = std::u16string(fingerprint.begin(), fingerprint.end());
}

const std::u16string& LastServerFingerprint() {
    return lastFingerprint();
}

Result<Done> SecureConnection(CConnection& connection, const SessionSecurity& security,
                              const std::string& host, int32_t timeoutMs,
                              const std::function<bool()>& reconnect) {
    if (security.mode == TAVIK_SECURITY_OFF) {
        return Result<Done>::ok(Done{});
    }
    std::string fingerprint;
    std::string reason;
    const CConnection::TlsStart started =
        connection.StartTls(host, security.pinnedFingerprint, timeoutMs, fingerprint, reason);
    NoteServerFingerprint(fingerprint);
    switch (started) {
    case CConnection::TlsStart::Secure:
        return Result<Done>::ok(Done{});
    case CConnection::TlsStart::Untrusted:
        TAVIK_TRACE(1, u"connect", host + ": " + reason);
        return Result<Done>::fail(
            ErrorReport::withText(TAVIK_ERR_TLS_UNTRUSTED, u"server certificate not trusted: " +
                                                               platform::fromAnsi(reason)));
    case CConnection::TlsStart::NotOffered:
        if (security.mode == TAVIK_SECURITY_PREFERRED) {
            TAVIK_TRACE(1, u"connect", host + ": no TLS offered, plain as preferred allows");
            if (reconnect()) {
                return Result<Done>::ok(Done{});
            }
            return Result<Done>::fail(
                ErrorReport::withText(TAVIK_ERR_CONNECT_FAIL, u"connect fail.."));
        }
        break;
    case CConnection::TlsStart::Failed:
        break;
    }
    TAVIK_TRACE(1, u"connect", host + ": " + reason);
    return Result<Done>::fail(ErrorReport::withText(
        TAVIK_ERR_TLS_FAILED, u"secure connection failed: " + platform::fromAnsi(reason)));
}

} // namespace tavik
