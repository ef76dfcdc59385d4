// One framed service message. Frame, all lengths unsigned 32-bit big-endian:
//   magic 01 31 30 F2; T - 8 (T = whole frame); H; H header bytes; B; B body bytes.
// The header is a text map in ANSI that always holds "bodytype": "0" when the body is a text
// map's ANSI text (B may be 0), "1" when it is a typed body's image without its first four bytes;
// the B field then doubles as the image's own length field, so the frame's bytes from 12 + H to
// the end are exactly the typed-body image.
//
// Frames over 1 MiB (msgwire::kMaxFrameBytes) are refused both ways: no builder makes one, and a
// buffer announcing one is a protocol error, so a peer cannot make us allocate more.
//
// Server and client use this class alike: build a reply or request with a Build... call and send
// GetBytes(); feed received bytes to Check (or Attach) and read the parts of a whole frame.
// A value type (copying copies the frame); one thread at a time per object.
#pragma once

#include "codec/CMsgTextMap.h"
#include "codec/CMsgTypedBody.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

// What the start of a receive buffer holds.
struct MsgFrameCheck {
    enum Status { kNeedMore, kComplete, kProtocolError };
    Status status = kNeedMore;
    // With kComplete: the frame's length, from the start of the buffer.
    size_t length = 0;
};

class CMsgPacket {
public:
    // Each builder replaces the frame. False, leaving the packet empty, when the frame would pass
    // the size limit. The caller's header map is not changed: "bodytype" is set on a copy.
    bool BuildTextBody(const CMsgTextMap& header, const CMsgTextMap& body);
    bool BuildTypedBody(const CMsgTextMap& header, const CMsgTypedBody& body, bool scramble);
    // A frame around body bytes that are already encoded: "bodytype" is set to bodyType (empty
    // or longer than 31 characters: false); for "1" the body must be a typed-body image without
    // its length field.
    bool BuildFrame(const CMsgTextMap& header, std::u16string_view bodyType,
                    std::span<const uint8_t> body);

    // Validates the start of a receive buffer: fewer than 4 bytes or a frame not yet whole is
    // kNeedMore; a wrong magic, or a header or frame length beyond the limit, kProtocolError
    // (nothing in such a buffer is a message). The field at offset 4 is not checked.
    static MsgFrameCheck Check(std::span<const uint8_t> buffered);
    // Takes the first whole frame of the buffer: copied, or referenced when copy is false (the
    // caller then keeps those bytes alive and unchanged while the packet uses them). Returns the
    // frame's length, or 0 when there is no whole frame or the buffer is broken (see Check), in
    // which case the packet is empty.
    size_t Attach(std::span<const uint8_t> buffered, bool copy = true);

    // Parses the header into the map and remembers its body type (a type longer than 31
    // characters is remembered as none). False for an empty packet.
    bool GetHeader(CMsgTextMap& header);
    // The remembered body type, else the header's, else empty.
    std::u16string GetBodyType();
    // The body as a text map; false (map unchanged) unless the body type is "0".
    bool GetTextBody(CMsgTextMap& body);
    // The body as a typed body; false unless the body type is "1" and the image parses (the
    // typed body is then empty).
    bool GetTypedBody(CMsgTypedBody& body);
    // The raw body bytes (empty for an empty packet).
    std::span<const uint8_t> GetBody() const;

    // The frame, for sending; empty before a build or attach.
    std::span<const uint8_t> GetBytes() const { return frame(); }
    size_t GetLength() const { return frame().size(); }

private:
    void clear();
    bool writeFrame(const std::string& headerText, std::span<const uint8_t> body);
    uint32_t headerLength() const;
    std::span<const uint8_t> frame() const { return borrowing_ ? borrowed_ : owned_; }

    // The frame is either our own copy or the caller's bytes (Attach without copying).
    std::vector<uint8_t> owned_;
    std::span<const uint8_t> borrowed_;
    bool borrowing_ = false;
    std::u16string bodyType_;
};

} // namespace tavik::app
