#include "app/settings/ProgramConstants.h"

#include "platform/HostAddress.h"
#include "platform/Utf8.h"

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
    const std::optional<platform::HostAndPort> split = platform::splitHostPort(text);
    if (!split) {
        return std::nullopt;
    }
    return HostPort{split->host, split->port.value_or(defaultPort)};
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
