#include "platform/CNetworkDrive.h"

#include "platform/CRegistry.h"
#include "platform/CShellProcess.h"
#include "platform/LocalFileSystem.h"
#include "platform/Utf8.h"

#include <vector>

namespace tavik::platform {

namespace {

constexpr std::u16string_view kConnectionsKey = u"Network\\";
constexpr std::u16string_view kRemotePathValue = u"RemotePath";
// gio's messages are matched in English whatever the user's language.
const std::vector<std::string> kGioSettings = {"LC_ALL=C", "LANGUAGE=C"};

bool hasLineBreak(std::u16string_view text) {
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

std::string percentEncoded(std::u16string_view text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8FromUtf16(text)) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
    return out;
}

std::string hostPart(std::u16string_view host) {
    if (host.find(u':') == std::u16string_view::npos) {
        return percentEncoded(host);
    }
    // An IPv6 address goes in brackets; anything else with a colon is no host.
    for (char16_t c : host) {
        bool hexDigit =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hexDigit && c != u':' && c != u'.') {
            return {};
        }
    }
    return "[" + utf8FromUtf16(host) + "]";
}

// The registry key of the connection table for a local name ("Z:" gives "Network\Z").
std::u16string connectionKey(std::u16string_view localName) {
    std::u16string_view letter = localName;
    if (!letter.empty() && letter.back() == u':') {
        letter.remove_suffix(1);
    }
    return std::u16string(kConnectionsKey) + std::u16string(letter);
}

bool outputSays(const CShellProcess::Outcome& outcome, const char* phrase) {
    return outcome.output.find(phrase) != std::string::npos;
}

} // namespace

std::string CNetworkDrive::shareUri(std::u16string_view remoteName) {
    if (remoteName.size() < 2 || remoteName.substr(0, 2) != u"\\\\") {
        return {};
    }
    std::u16string_view rest = remoteName.substr(2);
    size_t slash = rest.find(u'\\');
    if (slash == std::u16string_view::npos || slash == 0) {
        return {};
    }
    std::string host = hostPart(rest.substr(0, slash));
    if (host.empty()) {
        return {};
    }
    std::string path;
    std::u16string_view segments = rest.substr(slash + 1);
    while (!segments.empty()) {
        size_t end = segments.find(u'\\');
        std::u16string_view segment = segments.substr(0, end);
        if (!segment.empty()) {
            path += "/" + percentEncoded(segment);
        }
        segments =
            end == std::u16string_view::npos ? std::u16string_view() : segments.substr(end + 1);
    }
    if (path.empty()) {
        return {};
    }
    return "smb://" + host + path;
}

uint32_t CNetworkDrive::addConnection(std::u16string_view localName, std::u16string_view remoteName,
                                      std::u16string_view password, std::u16string_view userName) {
    std::string gio = CShellProcess::findProgram("gio");
    if (gio.empty()) {
        return kErrorNotSupported;
    }
    if (hasLineBreak(userName) || hasLineBreak(password)) {
        return kErrorInvalidParameter;
    }
    std::string uri = shareUri(remoteName);
    if (uri.empty()) {
        return kErrorBadNetName;
    }
    // Answers to gio's questions in its order: user, domain (its default), password.
    std::string answers = utf8FromUtf16(userName) + "\n\n" + utf8FromUtf16(password) + "\n";
    CShellProcess::Outcome outcome =
        CShellProcess::run(gio, {"mount", uri}, answers, kGioTimeoutMs, kGioSettings);
    if (outcome.timedOut) {
        return kErrorSemTimeout;
    }
    if (!outcome.started || (outcome.exitStatus != 0 && !outputSays(outcome, "already mounted"))) {
        return kErrorBadNetPath;
    }
    if (!localName.empty()) {
        CRegistry record;
        if (record.create(HKEY_CURRENT_USER, connectionKey(localName)) == kRegSuccess) {
            record.setString(kRemotePathValue, remoteName);
        }
    }
    return kNoError;
}

uint32_t CNetworkDrive::cancelConnection(std::u16string_view localName, bool force) {
    if (localName.empty()) {
        return kErrorNotConnected;
    }
    std::u16string keyName = connectionKey(localName);
    std::u16string remoteName;
    {
        CRegistry record;
        if (record.open(HKEY_CURRENT_USER, keyName) != kRegSuccess ||
            record.queryString(kRemotePathValue, remoteName) != kRegSuccess) {
            return kErrorNotConnected;
        }
    }
    std::string gio = CShellProcess::findProgram("gio");
    if (gio.empty()) {
        return kErrorNotSupported;
    }
    std::string uri = shareUri(remoteName);
    if (!uri.empty()) {
        std::vector<std::string> args = {"mount", "-u"};
        if (force) {
            args.push_back("-f");
        }
        args.push_back(uri);
        CShellProcess::Outcome outcome =
            CShellProcess::run(gio, args, "", kGioTimeoutMs, kGioSettings);
        if (outcome.timedOut) {
            return kErrorSemTimeout;
        }
        if (outcome.started && outcome.exitStatus == 0) {
            CRegistry::deleteKey(HKEY_CURRENT_USER, keyName);
            return kNoError;
        }
    }
    // gio knows no such mount (the user may have unmounted it himself): the letter is free.
    CRegistry::deleteKey(HKEY_CURRENT_USER, keyName);
    return kErrorNotConnected;
}

} // namespace tavik::platform
