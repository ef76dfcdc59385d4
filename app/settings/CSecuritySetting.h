// The "보안 연결" setting: whether the program's connections to the service (authentication,
// disk information and the disks) are encrypted and their servers verified, kept in the profile
// as user\Secure:
//   1 Required  TLS or no connection (the default, also for a missing or unknown value);
//   2 Preferred TLS, but a server that does not answer in TLS at all is used in plain;
//   0 Off       plain connections, as the protocol always was.
// The numbers are the library's TAVIK_SECURITY_* modes, so a value can be handed on as it is.
// Threads: any (each call opens the profile itself).
#pragma once

namespace tavik::app {

class CSecuritySetting {
public:
    enum class Mode { Off = 0, Required = 1, Preferred = 2 };

    static Mode Stored();
    static bool Store(Mode mode);
};

} // namespace tavik::app
