#include "app/settings/ProgramConstants.h"

#include "platform/Utf8.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace tavik::app {

namespace {

// A set variable, or nullopt when it is missing or empty.
std::optional<std::string> variable(const char* (*lookup)(const char*), const char* name) {
    const char* value = lookup(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (*value == '\0') {
        std::fprintf(stderr, "tavikPDA: %s is empty; the built-in value is used\n", name);
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<uint16_t> parsePort(std::string_view text) {
    unsigned port = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port == 0 ||
        port > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(port);
}

void readServer(const char* (*lookup)(const char*), const char* name, HostPort& server) {
    std::optional<std::string> text = variable(lookup, name);
    if (!text) {
        return;
    }
    std::optional<HostPort> parsed = ParseHostPort(*text, server.port);
    if (!parsed) {
        std::fprintf(stderr, "tavikPDA: %s=\"%s\" is not host[:port]; the built-in value is used\n",
                     name, text->c_str());
        return;
    }
    server = *parsed;
}

const char* environmentLookup(const char* name) {
    return std::getenv(name);
}

} // namespace

std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort) {
    HostPort result{std::string(text), defaultPort};
    std::string_view portText;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        // "[v6]" or "[v6]:port": the brackets keep the address's colons apart from the port's.
        const size_t close = text.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < text.size() && text[close + 1] != ':')) {
            return std::nullopt;
        }
        result.host = std::string(text.substr(1, close - 1));
        hasPort = close + 1 < text.size();
        portText = hasPort ? text.substr(close + 2) : std::string_view();
    } else if (const size_t colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        // One colon separates host and port; more than one is a bare IPv6 address.
        result.host = std::string(text.substr(0, colon));
        hasPort = true;
        portText = text.substr(colon + 1);
    }
    if (hasPort) {
        const std::optional<uint16_t> port = parsePort(portText);
        if (!port) {
            return std::nullopt;
        }
        result.port = *port;
    }
    if (result.host.empty()) {
        return std::nullopt;
    }
    return result;
}

ProgramConstantValues ReadProgramConstants(const char* (*lookup)(const char* name)) {
    ProgramConstantValues values{u"tavik.local",
                                 {"127.0.0.1", kAuthServerPort},
                                 {"127.0.0.1", kDiskInfoServerPort},
                                 "http://127.0.0.1:8080/",
                                 kDiskServerPort};
    if (std::optional<std::string> domain = variable(lookup, "TAVIK_DOMAIN")) {
        values.domain = platform::utf16FromUtf8(*domain);
    }
    readServer(lookup, "TAVIK_AUTH_SERVER", values.authServer);
    readServer(lookup, "TAVIK_DISKINFO_SERVER", values.diskInfoServer);
    if (std::optional<std::string> website = variable(lookup, "TAVIK_WEBSITE")) {
        values.website = *website;
    }
    return values;
}

const ProgramConstantValues& ProgramConstants() {
    static const ProgramConstantValues values = ReadProgramConstants(environmentLookup);
    return values;
}

} // namespace tavik::app
