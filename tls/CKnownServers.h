// The per-user list of servers' certificate fingerprints, for trust on first use: a server whose
// certificate no CA vouches for is trusted when its fingerprint is the one seen (and accepted)
// the first time. One line per server, "HOST:PORT FINGERPRINT" (IPv6 hosts in brackets); lines
// starting with '#' and blank lines are kept as they are.
//
// The file is $XDG_CONFIG_HOME/tavik/known_servers (~/.config/tavik/known_servers). It is
// written whole to a temporary file that then replaces it, so that a reader never sees half a
// list; it and its folder are the user's only (0600, 0700). Not locked: two programs accepting a
// new server at the same moment may each keep only their own line.
#pragma once

#include <optional>
#include <string>

namespace tavik::tls {

class CKnownServers {
public:
    enum class Match { Unknown, Same, Changed };

    explicit CKnownServers(std::string path) : path_(std::move(path)) {}
    // The default place (see above); empty when neither $XDG_CONFIG_HOME nor $HOME is set.
    static std::string defaultPath();
    // "host:port" as the list keys it: an IPv6 host in brackets, a name in lower case.
    static std::string key(const std::string& host, int port);

    const std::string& path() const { return path_; }
    // The fingerprint kept for the server (a key()), if any. A missing file is an empty list.
    std::optional<std::string> find(const std::string& server) const;
    // Compares what the server showed with what is kept; known gets the kept fingerprint.
    Match check(const std::string& server, const std::string& fingerprint,
                std::string& known) const;
    // Whether another port of the server's host keeps this fingerprint: the same certificate,
    // already trusted there (one machine serving several of the service's servers).
    bool keptForHost(const std::string& server, const std::string& fingerprint) const;
    // Keeps fingerprint for the server, in place of an earlier one; false with error.
    bool remember(const std::string& server, const std::string& fingerprint,
                  std::string& error) const;

private:
    std::string path_;
};

} // namespace tavik::tls
