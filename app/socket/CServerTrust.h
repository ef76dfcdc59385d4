// Whether the program trusts a server's certificate, and securing a freshly connected socket.
//
// A certificate is trusted when its fingerprint is the one the list of known servers
// (tls::CKnownServers, ~/.config/tavik/known_servers) keeps for the server, or, for a server the
// list does not know, when a CA of the system vouches for it and it names the host. A server
// the list does not know and no CA vouches for is shown with its fingerprint in a question box
// (CMessageBox, OK/Cancel); accepted, it is kept in the list and trusted from then on. A new
// server showing the certificate already kept for another port of its host (the service's
// servers on one machine) is kept and trusted without a question. A server
// whose fingerprint differs from the kept one is refused with an error box showing both: the
// kept one is only ever replaced by the user editing the list.
//
// Threads: user-interface thread (the boxes).
#pragma once

#include "app/settings/CSecuritySetting.h"
#include "tls/CKnownServers.h"

#include <cstdint>
#include <memory>
#include <string>

class QWidget;

namespace tavik::tls {
class CTlsChannel;
}

namespace tavik::app {

class CServerTrust {
public:
    enum class Verdict { Trusted, Refused };
    // What became of a connection that was to be secured.
    enum class Outcome {
        Secure,   // TLS with a trusted server: the channel is the caller's
        FallBack, // the server spoke no TLS and the setting allows plain: connect again, plain
        Refused,  // no connection: a box said why (the caller closes the socket)
    };

    // The list in its usual place.
    CServerTrust();
    explicit CServerTrust(tls::CKnownServers known) : known_(std::move(known)) {}

    // The fingerprint the list keeps for the server; empty when none.
    std::string KnownFingerprint(const std::string& host, uint16_t port) const;
    // Decides about the fingerprint the server showed (asking when it is new and caTrusted is
    // false); parent: the boxes' parent (may be null).
    Verdict Decide(const std::string& host, uint16_t port, const std::string& seen, bool caTrusted,
                   QWidget* parent = nullptr) const;

    // Runs the TLS handshake on the connected socket handle (its blocking mode is kept) within
    // timeoutMs and decides about the server as Decide does. mode must not be Off.
    Outcome Secure(int handle, const std::string& host, uint16_t port, CSecuritySetting::Mode mode,
                   int timeoutMs, std::unique_ptr<tls::CTlsChannel>& channel,
                   QWidget* parent = nullptr) const;

private:
    tls::CKnownServers known_;
};

} // namespace tavik::app
