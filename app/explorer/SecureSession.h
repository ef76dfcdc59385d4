// Opening a disk session as the "보안 연결" setting says: the library's security is set for the
// session (the fingerprint the list of known servers keeps for the disk server pinned), and a
// server that the library refused for a certificate no CA vouches for is put to CServerTrust
// (the question box for a new server, the refusal box for a changed one); trusted, the session
// is made again with its fingerprint pinned. A disk server that speaks no TLS is used in plain
// only when the setting allows.
// Threads: user-interface thread (the library call blocks it; the boxes).
#pragma once

#include "app/settings/CSecuritySetting.h"
#include "app/socket/CServerTrust.h"

#include "sdk/include/TavikSDK.h"

#include <cstdint>
#include <string>

namespace tavik::app {

// tavik_CreateSession(host, port, diskId, no password, loginTimeoutMs) under the setting; null
// with the library's last error when no session was made.
TAVIK_SESSION OpenSecureSession(const std::u16string& host, int port, const std::u16string& diskId,
                                int loginTimeoutMs, CSecuritySetting::Mode mode,
                                const CServerTrust& trust);

} // namespace tavik::app
