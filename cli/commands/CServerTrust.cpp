#include "cli/commands/CServerTrust.h"

#include "cli/core/CUtf8.h"
#include "tls/Fingerprint.h"

#include <TavikSDK.h>

#include <arpa/inet.h>

namespace tavik::cli {

namespace {

bool onLoopback(const std::string& host) {
    unsigned char address[16];
    if (inet_pton(AF_INET, host.c_str(), address) == 1) {
        return address[0] == 127;
    }
    if (inet_pton(AF_INET6, host.c_str(), address) == 1) {
        static const unsigned char loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return std::equal(address, address + 16, loopback);
    }
    return host == "localhost";
}

} // namespace

CServerTrust::CServerTrust(const Invocation& inv, std::string knownServersPath)
    : m_server(tls::CKnownServers::key(inv.host, inv.port)),
      m_tls(inv.tls.value_or(!inv.fingerprint.empty() || !onLoopback(inv.host))),
      m_userPin(inv.fingerprint), m_acceptNew(inv.acceptNew), m_known(std::move(knownServersPath)) {
    m_pin = !m_userPin.empty() ? m_userPin : m_known.find(m_server).value_or("");
}

void CServerTrust::apply() const {
    const std::u16string pin = CUtf8::toUtf16(m_pin);
    tavik_SetSecurity(m_tls ? TAVIK_SECURITY_REQUIRED : TAVIK_SECURITY_OFF, pin.c_str());
}

bool CServerTrust::trustSeen(CConsole& console, std::string& message) {
    const std::string seen = CUtf8::fromUtf16(tavik_GetServerFingerprint());
    if (seen.empty() || !m_tls) {
        return false; // nothing to trust: the library's own text says what happened
    }
    if (!m_userPin.empty()) {
        message = "tavik: the certificate of " + m_server + " has the fingerprint\n  " + seen +
                  "\nnot the one given with --fingerprint\n  " +
                  tls::parseFingerprint(m_userPin).value_or(m_userPin) + "\nrefused";
        return false;
    }
    std::string known;
    if (m_known.check(m_server, seen, known) == tls::CKnownServers::Match::Changed) {
        message = "tavik: WARNING: THE CERTIFICATE OF " + m_server +
                  " HAS CHANGED\n  known: " + known + "\n  now:   " + seen +
                  "\nSomeone may be in between you and the server, or it has a new "
                  "certificate. Refused.\nIf the change is expected, delete the line of " +
                  m_server + " from " + m_known.path();
        return false;
    }
    const std::string introduction = "tavik: the server " + m_server +
                                     " is not known; its certificate fingerprint is\n  " + seen;
    if (!m_acceptNew) {
        if (!console.inIsTerminal) {
            message = introduction +
                      "\nCompare it with the one the server printed at start, then run again "
                      "with --accept-new (or --fingerprint " +
                      seen + ")";
            return false;
        }
        console.err << introduction << "\nTrust it and keep it in " << m_known.path() << "? [y/N] "
                    << std::flush;
        std::string answer;
        if (!std::getline(console.in, answer) || (answer != "y" && answer != "yes")) {
            message = "tavik: not trusted; nothing done";
            return false;
        }
    }
    std::string error;
    if (!m_known.remember(m_server, seen, error)) {
        message = "tavik: " + error;
        return false;
    }
    m_pin = seen;
    return true;
}

} // namespace tavik::cli
