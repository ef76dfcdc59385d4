// Which servers the command line trusts, and how: the library's security for the command's
// session, and trust on first use through the list of known servers.
//
// TLS is used when --tls is given, or a --fingerprint, or the server is not on loopback (unless
// --no-tls). The certificate must then have the --fingerprint given, or the one the known list
// keeps for the server, or (neither) come from a CA of the system and name the host. A server
// that is new to the list is trusted only by a yes at a terminal or --accept-new, and then kept
// in the list; one whose certificate changed is refused, showing both fingerprints.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/core/CCommandLine.h"
#include "tls/CKnownServers.h"

#include <string>

namespace tavik::cli {

class CServerTrust {
public:
    CServerTrust(const Invocation& inv, std::string knownServersPath);

    bool tls() const { return m_tls; }
    // Sets the library's security for the sessions opened next.
    void apply() const;
    // After a login refused with "server certificate not trusted": asks (or takes --accept-new)
    // to trust the fingerprint the server showed. True when it is now trusted and kept, so that
    // the login is to be tried again (after apply()); otherwise message says why not.
    bool trustSeen(CConsole& console, std::string& message);

private:
    std::string m_server; // the known list's key
    bool m_tls = false;
    std::string m_userPin; // --fingerprint
    std::string m_pin;     // what apply() pins
    bool m_acceptNew = false;
    tls::CKnownServers m_known;
};

} // namespace tavik::cli
