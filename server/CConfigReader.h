// Strict reading of one TOML configuration: every value is checked for its type and range, and
// a key or section the reader was not told about is refused, so that a misspelt key (say
// "pasword") cannot silently leave a setting at its default. Messages name the file, the line
// and the key: "server.toml:7: unknown key \"pasword\" in [[disk]]".
//
// Each read… function leaves out untouched when the key is absent and returns false (with the
// message added to error()) when the value is of the wrong type or out of range. Readers go on
// after a failure where they can, so that one reading names every problem of the file, one per
// line of error(). Not thread-safe;
// used while a configuration is loaded. Shared by the configuration sections of every server
// the program runs.
#pragma once

#include <toml++/toml.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::server {

class CConfigReader {
public:
    // source: the file's name as messages should show it.
    explicit CConfigReader(std::string source) : source_(std::move(source)) {}

    // Refuses any key of table not listed in known; where names the table ("[server]").
    bool onlyKnownKeys(const toml::table& table, std::initializer_list<std::string_view> known,
                       std::string_view where);

    bool readInt(const toml::table& table, std::string_view key, int64_t minimum, int64_t maximum,
                 int& out);
    bool readInt64(const toml::table& table, std::string_view key, int64_t minimum, int64_t maximum,
                   int64_t& out);
    bool readString(const toml::table& table, std::string_view key, std::string& out);
    bool readBool(const toml::table& table, std::string_view key, bool& out);
    // An array of non-empty strings.
    bool readStringList(const toml::table& table, std::string_view key,
                        std::vector<std::string>& out);

    // True when every one is: for reading on past a failure ("all({readX(), readY()})" evaluates
    // each in order, unlike &&).
    static bool all(std::initializer_list<bool> results);

    // Records a failure about a node (or, without one, about the file) and returns false.
    bool fail(const toml::node* node, std::string_view message);
    bool failAtLine(uint32_t line, std::string_view message);

    // Every failure recorded, one "file:line: message" per line; empty when there was none.
    const std::string& error() const { return error_; }
    const std::string& source() const { return source_; }

private:
    std::string source_;
    std::string error_;
};

} // namespace tavik::server
