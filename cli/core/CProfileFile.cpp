#include "cli/core/CProfileFile.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <toml++/toml.h>

namespace tavik::cli {

namespace {

// Reads one key of a profile into its field; false with *error when the type is wrong.
template <typename T>
bool readKey(const toml::node& node, const std::string& where, std::optional<T>& field,
             const char* typeName, std::string* error) {
    const auto value = node.value_exact<T>();
    if (!value) {
        *error = where + " must be " + typeName;
        return false;
    }
    field = *value;
    return true;
}

bool readProfile(const std::string& name, const toml::table& table, CProfile& profile,
                 std::string* error) {
    profile.name = name;
    for (const auto& [key, node] : table) {
        const std::string where = "[" + name + "] " + std::string(key.str());
        const std::string_view k = key.str();
        bool ok = true;
        if (k == "server") {
            ok = readKey(node, where, profile.server, "a string", error);
        } else if (k == "disk") {
            ok = readKey(node, where, profile.disk, "a string", error);
        } else if (k == "user") {
            ok = readKey(node, where, profile.user, "a string", error);
        } else if (k == "password_command") {
            ok = readKey(node, where, profile.passwordCommand, "a string", error);
        } else if (k == "password_file") {
            ok = readKey(node, where, profile.passwordFile, "a string", error);
        } else if (k == "timeout") {
            std::optional<int64_t> ms;
            ok = readKey(node, where, ms, "a whole number of milliseconds", error);
            if (ok && (*ms < -1 || *ms > 86400000)) {
                *error = where + " must be -1 (no limit) or 0 to 86400000 milliseconds";
                ok = false;
            }
            if (ok) {
                profile.timeoutMs = static_cast<int>(*ms);
            }
        } else if (k == "tls") {
            ok = readKey(node, where, profile.tls, "true or false", error);
        } else if (k == "tls_fingerprint") {
            ok = readKey(node, where, profile.tlsFingerprint, "a string", error);
        } else if (k == "password") {
            *error = where + ": a password is not kept in this file; use password_command or "
                             "password_file";
            ok = false;
        } else {
            *error = where + ": unknown key";
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    if (profile.passwordCommand && profile.passwordFile) {
        *error = "[" + name + "] has both password_command and password_file; keep one";
        return false;
    }
    return true;
}

} // namespace

std::filesystem::path CProfileFile::defaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/') {
        return std::filesystem::path(config) / "tavik" / "config.toml";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "") / ".config" / "tavik" / "config.toml";
}

CProfileFile::Loaded CProfileFile::load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str(), path.string());
}

CProfileFile::Loaded CProfileFile::parse(const std::string& text, const std::string& source) {
    Loaded out;
    toml::table document;
    try {
        document = toml::parse(text, source);
    } catch (const toml::parse_error& failure) {
        std::ostringstream why;
        why << source << ":" << failure.source().begin.line << ": " << failure.description();
        out.error = why.str();
        return out;
    }
    for (const auto& [key, node] : document) {
        const std::string name(key.str());
        const toml::table* table = node.as_table();
        if (table == nullptr) {
            out.error = source + ": " + name + " is not a profile table ([" + name + "])";
            return out;
        }
        CProfile profile;
        std::string why;
        if (!readProfile(name, *table, profile, &why)) {
            out.error = source + ": " + why;
            return out;
        }
        out.profiles.emplace(name, std::move(profile));
    }
    return out;
}

std::string CProfileFile::describe(const CProfile& profile) {
    std::ostringstream out;
    auto line = [&](const char* key, const std::optional<std::string>& value) {
        if (value) {
            out << key << " = \"" << *value << "\"\n";
        }
    };
    out << "[" << profile.name << "]\n";
    line("server", profile.server);
    line("disk", profile.disk);
    line("user", profile.user);
    line("password_command", profile.passwordCommand);
    line("password_file", profile.passwordFile);
    if (profile.timeoutMs) {
        out << "timeout = " << *profile.timeoutMs << "\n";
    }
    if (profile.tls) {
        out << "tls = " << (*profile.tls ? "true" : "false") << "\n";
    }
    line("tls_fingerprint", profile.tlsFingerprint);
    return out.str();
}

} // namespace tavik::cli
