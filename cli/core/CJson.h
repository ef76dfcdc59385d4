// The few JSON texts tavik writes (--json): strings escaped, objects written field by field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::cli {

class CJson {
public:
    // A JSON string literal (quotes included) of UTF-8 text; control characters are escaped.
    static std::string quote(std::string_view text);

    // Builds one object: {"a":1,"b":"x"}.
    CJson& field(std::string_view name, std::string_view text);
    CJson& field(std::string_view name, int64_t number);
    CJson& field(std::string_view name, uint64_t number);
    std::string str() const { return m_text + "}"; }

private:
    CJson& raw(std::string_view name, const std::string& value);
    std::string m_text = "{";
};

} // namespace tavik::cli
