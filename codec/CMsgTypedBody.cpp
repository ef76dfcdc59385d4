#include "codec/CMsgTypedBody.h"

#include "codec/ByteOrder.h"
#include "codec/CMsgRecordSet.h"
#include "codec/MsgText.h"
#include "codec/MsgWire.h"
#include "platform/AnsiCodePage.h"
#include "platform/CStreamScrambler.h"

#include <algorithm>
#include <limits>

namespace tavik::app {

namespace {

// Length field plus scramble flag.
constexpr size_t kPrefixBytes = 5;
constexpr int kAnyType = -1;

const platform::CStreamScrambler& bodyScrambler() {
    static const platform::CStreamScrambler scrambler(
        msgwire::kScrambleStart, msgwire::kScrambleMultiplier, msgwire::kScrambleIncrement,
        platform::CStreamScrambler::UnitWidth::Bits8, platform::CStreamScrambler::Feedback::Signed);
    return scrambler;
}

} // namespace

bool CMsgTypedBody::SetString(std::u16string_view key, std::u16string_view value, bool overwrite) {
    std::string ansi = platform::toAnsi(value);
    Value record{kValueString, std::vector<uint8_t>(ansi.begin(), ansi.end())};
    record.data.push_back(0);
    return store(key, std::move(record), overwrite);
}

bool CMsgTypedBody::SetInt(std::u16string_view key, int32_t value, bool overwrite) {
    Value record{kValueInt, {}};
    AppendU32BigEndian(record.data, static_cast<uint32_t>(value));
    return store(key, std::move(record), overwrite);
}

bool CMsgTypedBody::SetRecordSet(std::u16string_view key, const CMsgRecordSet& set,
                                 bool overwrite) {
    if (!set.IsFinished()) {
        return false;
    }
    return store(key, Value{kValueRecordSet, set.Image()}, overwrite);
}

bool CMsgTypedBody::SetBytes(std::u16string_view key, uint8_t type, std::span<const uint8_t> bytes,
                             bool overwrite) {
    return store(key, Value{type, std::vector<uint8_t>(bytes.begin(), bytes.end())}, overwrite);
}

bool CMsgTypedBody::store(std::u16string_view key, Value value, bool overwrite) {
    std::u16string normal = NormaliseMsgKey(key);
    if (normal.empty() || platform::toAnsi(normal).size() > std::numeric_limits<uint16_t>::max()) {
        return false;
    }
    auto found = values_.find(normal);
    if (found != values_.end()) {
        if (!overwrite) {
            return false;
        }
        found->second = std::move(value);
        return true;
    }
    keys_.push_back(normal);
    values_.emplace(std::move(normal), std::move(value));
    return true;
}

const CMsgTypedBody::Value* CMsgTypedBody::find(std::u16string_view key, int type) const {
    auto found = values_.find(NormaliseMsgKey(key));
    if (found == values_.end() || (type != kAnyType && found->second.type != type)) {
        return nullptr;
    }
    return &found->second;
}

bool CMsgTypedBody::GetString(std::u16string_view key, std::u16string& value) const {
    const Value* found = find(key, kValueString);
    if (found == nullptr) {
        return false;
    }
    auto nul = std::find(found->data.begin(), found->data.end(), uint8_t{0});
    value = platform::fromAnsi(std::string(found->data.begin(), nul));
    return true;
}

bool CMsgTypedBody::GetInt(std::u16string_view key, int32_t& value) const {
    const Value* found = find(key, kValueInt);
    if (found == nullptr || found->data.size() != 4) {
        return false;
    }
    value = static_cast<int32_t>(ReadU32BigEndian(found->data.data()));
    return true;
}

bool CMsgTypedBody::GetRecordSet(std::u16string_view key, CMsgRecordSet& set) const {
    const Value* found = find(key, kValueRecordSet);
    return found != nullptr && set.Load(found->data);
}

bool CMsgTypedBody::GetBytes(std::u16string_view key, std::vector<uint8_t>& bytes,
                             uint8_t* type) const {
    const Value* found = find(key, kAnyType);
    if (found == nullptr) {
        return false;
    }
    bytes = found->data;
    if (type != nullptr) {
        *type = found->type;
    }
    return true;
}

bool CMsgTypedBody::Contains(std::u16string_view key) const {
    return find(key, kAnyType) != nullptr;
}

bool CMsgTypedBody::Remove(std::u16string_view key) {
    std::u16string normal = NormaliseMsgKey(key);
    if (values_.erase(normal) == 0) {
        return false;
    }
    keys_.erase(std::find(keys_.begin(), keys_.end(), normal));
    return true;
}

void CMsgTypedBody::RemoveAll() {
    values_.clear();
    keys_.clear();
}

std::vector<uint8_t> CMsgTypedBody::Serialize(bool scramble) const {
    // The map is ordered by the normalised keys, which is the order entries go out in.
    std::vector<uint8_t> image(kPrefixBytes, 0);
    image[4] = scramble ? 1 : 0;
    for (const auto& [key, value] : values_) {
        std::string ansiKey = platform::toAnsi(key);
        AppendU16BigEndian(image, static_cast<uint16_t>(ansiKey.size()));
        image.insert(image.end(), ansiKey.begin(), ansiKey.end());
        image.push_back(0);
        image.push_back(value.type);
        AppendU32BigEndian(image, static_cast<uint32_t>(value.data.size()));
        image.insert(image.end(), value.data.begin(), value.data.end());
    }
    WriteU32BigEndian(image.data(), static_cast<uint32_t>(image.size() - 4));
    if (scramble) {
        bodyScrambler().Scramble(std::span<uint8_t>(image).subspan(kPrefixBytes));
    }
    return image;
}

bool CMsgTypedBody::Parse(std::span<const uint8_t> image) {
    RemoveAll();
    if (image.size() < kPrefixBytes || ReadU32BigEndian(image.data()) != image.size() - 4) {
        return false;
    }
    bool ok = true;
    if (image[4] != 0) {
        std::vector<uint8_t> clear(image.begin() + kPrefixBytes, image.end());
        bodyScrambler().Unscramble(std::span<uint8_t>(clear));
        ok = parseEntries(clear);
    } else {
        ok = parseEntries(image.subspan(kPrefixBytes));
    }
    if (!ok) {
        RemoveAll();
    }
    return ok;
}

bool CMsgTypedBody::parseEntries(std::span<const uint8_t> entries) {
    size_t at = 0;
    while (entries.size() - at >= 4) {
        size_t keyLength = ReadU16BigEndian(entries.data() + at);
        at += 2;
        // Key, its NUL, type and value length must all be there before the value is looked at.
        if (entries.size() - at < keyLength + 6) {
            return false;
        }
        std::string ansiKey(entries.begin() + at, entries.begin() + at + keyLength);
        at += keyLength + 1;
        uint8_t type = entries[at];
        size_t valueLength = ReadU32BigEndian(entries.data() + at + 1);
        at += 5;
        if (entries.size() - at < valueLength) {
            return false;
        }
        auto value = entries.subspan(at, valueLength);
        at += valueLength;
        SetBytes(platform::fromAnsi(ansiKey), type, value, true);
    }
    return true;
}

} // namespace tavik::app
