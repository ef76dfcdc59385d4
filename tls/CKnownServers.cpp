#include "tls/CKnownServers.h"

#include "tls/Fingerprint.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavik::tls {

namespace {

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// The server and fingerprint of a line, when it is an entry.
bool splitEntry(const std::string& line, std::string& server, std::string& fingerprint) {
    if (line.empty() || line[0] == '#') {
        return false;
    }
    std::istringstream fields(line);
    return static_cast<bool>(fields >> server >> fingerprint);
}

bool makeFolders(const std::string& path) {
    // Every missing folder on the way is made the user's own.
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

bool writeWhole(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string CKnownServers::defaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/tavik/known_servers";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config/tavik/known_servers";
    }
    return "";
}

std::string CKnownServers::key(const std::string& host, int port) {
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name.find(':') != std::string::npos) {
        name = "[" + name + "]";
    }
    return name + ":" + std::to_string(port);
}

std::optional<std::string> CKnownServers::find(const std::string& server) const {
    std::string entryServer;
    std::string fingerprint;
    for (const std::string& line : readLines(path_)) {
        if (splitEntry(line, entryServer, fingerprint) && entryServer == server) {
            const auto parsed = parseFingerprint(fingerprint);
            return parsed ? *parsed : fingerprint;
        }
    }
    return std::nullopt;
}

bool CKnownServers::keptForHost(const std::string& server, const std::string& fingerprint) const {
    const std::optional<std::string> seen = parseFingerprint(fingerprint);
    const size_t colon = server.rfind(':');
    if (!seen || colon == std::string::npos) {
        return false;
    }
    // "host:" (brackets included for IPv6), so that a longer name never matches a shorter one.
    const std::string host = server.substr(0, colon + 1);
    std::string entryServer;
    std::string entryFingerprint;
    for (const std::string& line : readLines(path_)) {
        if (splitEntry(line, entryServer, entryFingerprint) && entryServer != server &&
            entryServer.size() > host.size() && entryServer.starts_with(host) &&
            entryServer.find(':', host.size()) == std::string::npos &&
            parseFingerprint(entryFingerprint) == seen) {
            return true;
        }
    }
    return false;
}

CKnownServers::Match CKnownServers::check(const std::string& server, const std::string& fingerprint,
                                          std::string& known) const {
    const std::optional<std::string> kept = find(server);
    if (!kept) {
        known.clear();
        return Match::Unknown;
    }
    known = *kept;
    return parseFingerprint(fingerprint).value_or(fingerprint) == known ? Match::Same
                                                                        : Match::Changed;
}

bool CKnownServers::remember(const std::string& server, const std::string& fingerprint,
                             std::string& error) const {
    if (path_.empty()) {
        error = "no place for the list of known servers ($HOME is not set)";
        return false;
    }
    const std::optional<std::string> parsed = parseFingerprint(fingerprint);
    if (!parsed || server.empty() || server.find_first_of(" \t\n") != std::string::npos) {
        error = "not a server and fingerprint: " + server + " " + fingerprint;
        return false;
    }
    std::string text;
    std::string entryServer;
    std::string entryFingerprint;
    for (const std::string& line : readLines(path_)) {
        if (!(splitEntry(line, entryServer, entryFingerprint) && entryServer == server)) {
            text += line + "\n";
        }
    }
    text += server + " " + *parsed + "\n";
    if (!makeFolders(path_)) {
        error = "cannot make the folder of " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return writeWhole(path_, text, error);
}

} // namespace tavik::tls
