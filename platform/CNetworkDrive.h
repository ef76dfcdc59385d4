// The platform's network-drive connection (WNetAddConnection3 / WNetCancelConnection2) on the
// host: a share "\\host\share" is mounted with `gio mount smb://host/share` when gio is on PATH.
// Without gio every connection answers 50 (not supported).
//
// gio asks for the user, the domain and the password in turn; they are given on its standard
// input (the domain as gio's default). A wrong password makes gio ask again, which meets the
// end of the input and ends the attempt. A mount that is already there counts as connected.
//
// The connection table, which lasts beyond the process as the platform's did, is the registry
// key HKEY_CURRENT_USER "Network\<letter>" with the share in its "RemotePath" value; closing a
// connection unmounts that share and removes the key.
//
// Codes: 0 connected; 50 not supported (no gio); 67 the remote name is not "\\host\share";
// 87 a user name or password with a line break; 53 the mount failed; 121 gio did not answer in
// time; 2250 no connection under that local name. Calls block while gio works (at most
// kGioTimeoutMs). Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::platform {

class CNetworkDrive {
public:
    static constexpr uint32_t kNoError = 0;
    static constexpr uint32_t kErrorNotSupported = 50;
    static constexpr uint32_t kErrorBadNetPath = 53;
    static constexpr uint32_t kErrorBadNetName = 67;
    static constexpr uint32_t kErrorInvalidParameter = 87;
    static constexpr uint32_t kErrorSemTimeout = 121;
    static constexpr uint32_t kErrorNotConnected = 2250;
    static constexpr int kGioTimeoutMs = 60000;

    // Connects localName ("Z:") to remoteName ("\\host\share") as userName with password.
    static uint32_t addConnection(std::u16string_view localName, std::u16string_view remoteName,
                                  std::u16string_view password, std::u16string_view userName);
    // Disconnects localName; force also drops open files.
    static uint32_t cancelConnection(std::u16string_view localName, bool force);

    // "smb://host/share" for "\\host\share" (host and share percent-encoded, an IPv6 host in
    // brackets); empty when remoteName is not of that form.
    static std::string shareUri(std::u16string_view remoteName);
};

} // namespace tavik::platform
