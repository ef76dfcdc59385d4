#include "codec/CMsgTextMap.h"

#include "codec/CMsgTextTable.h"
#include "codec/MsgText.h"

namespace tavik::app {

bool CMsgTextMap::SetValue(std::u16string_view key, std::u16string_view value, bool overwrite) {
    std::u16string normal = NormaliseMsgKey(key);
    if (normal.empty()) {
        return false;
    }
    auto found = pairs_.find(normal);
    if (found != pairs_.end()) {
        if (!overwrite) {
            return false;
        }
        found->second = value;
        return true;
    }
    pairs_.emplace(std::move(normal), std::u16string(value));
    return true;
}

bool CMsgTextMap::SetInt(std::u16string_view key, int32_t value, bool overwrite) {
    return SetValue(key, MsgIntToText(value), overwrite);
}

bool CMsgTextMap::SetTable(std::u16string_view key, const CMsgTextTable& table, bool overwrite) {
    return SetValue(key, table.Format(), overwrite);
}

bool CMsgTextMap::GetValue(std::u16string_view key, std::u16string& value) const {
    auto found = pairs_.find(NormaliseMsgKey(key));
    if (found == pairs_.end()) {
        return false;
    }
    value = found->second;
    return true;
}

bool CMsgTextMap::GetInt(std::u16string_view key, int32_t& value) const {
    std::u16string text;
    if (!GetValue(key, text)) {
        return false;
    }
    value = MsgTextToInt(text);
    return true;
}

bool CMsgTextMap::GetTable(std::u16string_view key, CMsgTextTable& table) const {
    std::u16string text;
    return GetValue(key, text) && table.Parse(text);
}

bool CMsgTextMap::Contains(std::u16string_view key) const {
    return pairs_.contains(NormaliseMsgKey(key));
}

bool CMsgTextMap::Remove(std::u16string_view key) {
    return pairs_.erase(NormaliseMsgKey(key)) > 0;
}

void CMsgTextMap::RemoveAll() {
    pairs_.clear();
}

std::u16string CMsgTextMap::Format() const {
    std::u16string text;
    for (const auto& [key, value] : pairs_) {
        if (!text.empty()) {
            text += u'&';
        }
        text += EscapeMsgText(key);
        text += u'=';
        text += EscapeMsgText(value);
    }
    return text;
}

void CMsgTextMap::Parse(std::u16string_view text) {
    pairs_.clear();
    while (!text.empty()) {
        size_t amp = text.find(u'&');
        std::u16string_view pair = text.substr(0, amp);
        text = amp == std::u16string_view::npos ? std::u16string_view() : text.substr(amp + 1);
        size_t equals = pair.find(u'=');
        std::u16string_view value;
        if (equals != std::u16string_view::npos) {
            value = pair.substr(equals + 1);
            pair = pair.substr(0, equals);
        }
        // An empty key cannot be stored; such a pair is skipped like an empty one.
        SetValue(UnescapeMsgText(pair), UnescapeMsgText(value), true);
    }
}

} // namespace tavik::app
