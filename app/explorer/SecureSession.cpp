#include "app/explorer/SecureSession.h"

#include <QString>

namespace tavik::app {

namespace {

TAVIK_SESSION create(const std::u16string& host, int port, const std::u16string& diskId,
                     int loginTimeoutMs, CSecuritySetting::Mode mode, const std::string& pin) {
    const std::u16string pin16 = QString::fromStdString(pin).toStdU16String();
    tavik_SetSecurity(static_cast<int>(mode), pin16.c_str());
    return tavik_CreateSession(host.c_str(), port, diskId.c_str(), nullptr, loginTimeoutMs);
}

} // namespace

TAVIK_SESSION OpenSecureSession(const std::u16string& host, int port, const std::u16string& diskId,
                                int loginTimeoutMs, CSecuritySetting::Mode mode,
                                const CServerTrust& trust) {
    const std::string host8 = QString::fromStdU16String(host).toStdString();
    const auto port16 = static_cast<uint16_t>(port);
    const std::string known =
        mode == CSecuritySetting::Mode::Off ? std::string() : trust.KnownFingerprint(host8, port16);
    TAVIK_SESSION session = create(host, port, diskId, loginTimeoutMs, mode, known);
    if (session != nullptr || tavik_GetLastError() != TAVIK_ERR_TLS_UNTRUSTED) {
        return session;
    }
    const std::string seen = QString::fromStdU16String(tavik_GetServerFingerprint()).toStdString();
    if (seen.empty() ||
        trust.Decide(host8, port16, seen, false) != CServerTrust::Verdict::Trusted) {
        return nullptr;
    }
    // Trusted now (kept, or the kept one after all): made again with it pinned.
    return create(host, port, diskId, loginTimeoutMs, mode, seen);
}

} // namespace tavik::app
