#include "server/CConfigReader.h"

#include <algorithm>

namespace tavik::server {

bool CConfigReader::all(std::initializer_list<bool> results) {
    return std::all_of(results.begin(), results.end(), [](bool ok) { return ok; });
}

bool CConfigReader::failAtLine(uint32_t line, std::string_view message) {
    if (!error_.empty()) {
        error_ += '\n';
    }
    error_ += source_;
    if (line > 0) {
        error_ += ":" + std::to_string(line);
    }
    error_.append(": ").append(message);
    return false;
}

bool CConfigReader::fail(const toml::node* node, std::string_view message) {
    return failAtLine(node == nullptr ? 0 : node->source().begin.line, message);
}

bool CConfigReader::onlyKnownKeys(const toml::table& table,
                                  std::initializer_list<std::string_view> known,
                                  std::string_view where) {
    bool ok = true;
    for (const auto& [key, node] : table) {
        if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
            const bool section = node.is_table() || node.is_array_of_tables();
            std::string message =
                (section ? "unknown section \"" : "unknown key \"") + std::string(key.str()) + "\"";
            if (!where.empty()) {
                message.append(" in ").append(where);
            }
            ok = failAtLine(key.source().begin.line, message);
        }
    }
    return ok;
}

bool CConfigReader::readInt64(const toml::table& table, std::string_view key, int64_t minimum,
                              int64_t maximum, int64_t& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return true;
    }
    const auto value = node->as_integer();
    if (value == nullptr || value->get() < minimum || value->get() > maximum) {
        return fail(node, std::string(key) + " must be an integer from " + std::to_string(minimum) +
                              " to " + std::to_string(maximum));
    }
    out = value->get();
    return true;
}

bool CConfigReader::readInt(const toml::table& table, std::string_view key, int64_t minimum,
                            int64_t maximum, int& out) {
    int64_t value = out;
    if (!readInt64(table, key, minimum, std::min<int64_t>(maximum, INT32_MAX), value)) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool CConfigReader::readString(const toml::table& table, std::string_view key, std::string& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return true;
    }
    const auto value = node->as_string();
    if (value == nullptr) {
        return fail(node, std::string(key) + " must be a string");
    }
    out = value->get();
    return true;
}

bool CConfigReader::readBool(const toml::table& table, std::string_view key, bool& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return true;
    }
    const auto value = node->as_boolean();
    if (value == nullptr) {
        return fail(node, std::string(key) + " must be true or false");
    }
    out = value->get();
    return true;
}

bool CConfigReader::readStringList(const toml::table& table, std::string_view key,
                                   std::vector<std::string>& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return true;
    }
    const toml::array* array = node->as_array();
    if (array == nullptr) {
        return fail(node, std::string(key) + " must be a list of strings");
    }
    std::vector<std::string> values;
    for (const toml::node& entry : *array) {
        const auto text = entry.as_string();
        if (text == nullptr || text->get().empty()) {
            return fail(&entry, std::string(key) + " must hold non-empty strings");
        }
        values.push_back(text->get());
    }
    out = std::move(values);
    return true;
}

} // namespace tavik::server
