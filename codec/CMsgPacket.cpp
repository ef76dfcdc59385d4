#include "codec/CMsgPacket.h"

#include "codec/ByteOrder.h"
#include "codec/MsgWire.h"
#include "platform/AnsiCodePage.h"

#include <algorithm>

namespace tavik::app {

namespace {

constexpr size_t kHeaderAt = 12;
// The typed-body image's length field and scramble flag.
constexpr size_t kTypedImagePrefix = 4;

std::string_view asText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

bool CMsgPacket::BuildTextBody(const CMsgTextMap& header, const CMsgTextMap& body) {
    std::string text = platform::toAnsi(body.Format());
    return BuildFrame(header, msgwire::kBodyTypeText,
                      {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

bool CMsgPacket::BuildTypedBody(const CMsgTextMap& header, const CMsgTypedBody& body,
                                bool scramble) {
    std::vector<uint8_t> image = body.Serialize(scramble);
    return BuildFrame(header, msgwire::kBodyTypeTyped,
                      std::span<const uint8_t>(image).subspan(kTypedImagePrefix));
}

bool CMsgPacket::BuildFrame(const CMsgTextMap& header, std::u16string_view bodyType,
                            std::span<const uint8_t> body) {
    clear();
    CMsgTextMap withType = header;
    if (bodyType.empty() || bodyType.size() > msgwire::kMaxBodyTypeLength ||
        !withType.SetValue(msgwire::kBodyTypeKey, bodyType, true)) {
        return false;
    }
    if (!writeFrame(platform::toAnsi(withType.Format()), body)) {
        return false;
    }
    bodyType_ = bodyType;
    return true;
}

bool CMsgPacket::writeFrame(const std::string& headerText, std::span<const uint8_t> body) {
    const size_t total = headerText.size() + body.size() + msgwire::kFrameFixedBytes;
    if (total > msgwire::kMaxFrameBytes) {
        return false;
    }
    owned_.reserve(total);
    owned_.insert(owned_.end(), msgwire::kFrameMagic.begin(), msgwire::kFrameMagic.end());
    AppendU32BigEndian(owned_, static_cast<uint32_t>(total - 8));
    AppendU32BigEndian(owned_, static_cast<uint32_t>(headerText.size()));
    owned_.insert(owned_.end(), headerText.begin(), headerText.end());
    AppendU32BigEndian(owned_, static_cast<uint32_t>(body.size()));
    owned_.insert(owned_.end(), body.begin(), body.end());
    return true;
}

MsgFrameCheck CMsgPacket::Check(std::span<const uint8_t> buffered) {
    const size_t n = buffered.size();
    if (n < 4) {
        return {};
    }
    if (!std::equal(msgwire::kFrameMagic.begin(), msgwire::kFrameMagic.end(), buffered.begin())) {
        return {MsgFrameCheck::kProtocolError, 0};
    }
    if (n < kHeaderAt) {
        return {};
    }
    // Sums in 64 bits: two 32-bit lengths cannot overflow them.
    const uint64_t headerBytes = ReadU32BigEndian(buffered.data() + 8);
    if (headerBytes + msgwire::kFrameFixedBytes > msgwire::kMaxFrameBytes) {
        return {MsgFrameCheck::kProtocolError, 0};
    }
    if (n < headerBytes + msgwire::kFrameFixedBytes) {
        return {};
    }
    const uint64_t bodyBytes = ReadU32BigEndian(buffered.data() + kHeaderAt + headerBytes);
    const uint64_t total = headerBytes + bodyBytes + msgwire::kFrameFixedBytes;
    if (total > msgwire::kMaxFrameBytes) {
        return {MsgFrameCheck::kProtocolError, 0};
    }
    if (n < total) {
        return {};
    }
    return {MsgFrameCheck::kComplete, static_cast<size_t>(total)};
}

size_t CMsgPacket::Attach(std::span<const uint8_t> buffered, bool copy) {
    clear();
    MsgFrameCheck check = Check(buffered);
    if (check.status != MsgFrameCheck::kComplete) {
        return 0;
    }
    auto frame = buffered.first(check.length);
    if (copy) {
        owned_.assign(frame.begin(), frame.end());
    } else {
        borrowed_ = frame;
        borrowing_ = true;
    }
    return check.length;
}

bool CMsgPacket::GetHeader(CMsgTextMap& header) {
    if (frame().empty()) {
        return false;
    }
    header.Parse(platform::fromAnsi(asText(frame().subspan(kHeaderAt, headerLength()))));
    bodyType_.clear();
    std::u16string type;
    if (header.GetValue(msgwire::kBodyTypeKey, type) &&
        type.size() <= msgwire::kMaxBodyTypeLength) {
        bodyType_ = std::move(type);
    }
    return true;
}

std::u16string CMsgPacket::GetBodyType() {
    if (bodyType_.empty() && !frame().empty()) {
        CMsgTextMap header;
        GetHeader(header);
    }
    return bodyType_;
}

bool CMsgPacket::GetTextBody(CMsgTextMap& body) {
    if (GetBodyType() != msgwire::kBodyTypeText) {
        return false;
    }
    body.Parse(platform::fromAnsi(asText(GetBody())));
    return true;
}

bool CMsgPacket::GetTypedBody(CMsgTypedBody& body) {
    if (GetBodyType() != msgwire::kBodyTypeTyped) {
        return false;
    }
    // The body length field is the image's own length field.
    return body.Parse(frame().subspan(kHeaderAt + headerLength()));
}

std::span<const uint8_t> CMsgPacket::GetBody() const {
    if (frame().empty()) {
        return {};
    }
    return frame().subspan(kHeaderAt + headerLength() + 4);
}

void CMsgPacket::clear() {
    owned_.clear();
    borrowed_ = {};
    borrowing_ = false;
    bodyType_.clear();
}

uint32_t CMsgPacket::headerLength() const {
    return ReadU32BigEndian(frame().data() + 8);
}

} // namespace tavik::app
