// Frames form messages for the disk-information protocol, both ways, over a byte buffer.
//   plain:  text length N (32-bit big-endian), N text bytes
//   binary: total T = N + tail + 8 (32-bit little-endian), N (32-bit little-endian), N text
//           bytes, T - N - 8 tail bytes
// The text is the message's ANSI text form (CFormMessage), passed through the form scrambler
// (FormWire.h, restarted for each frame) when scrambling is on; the tail never is. Scrambling and
// mode are fixed at construction and must match the peer's.
//
// Sending: Append a message, send Bytes(), Clear. Receiving: Feed each piece that arrives; when
// it reports kComplete, Extract the message and Consume the frame; the bytes of any next frame
// stay. No frame may be larger than 65,536 bytes (formwire::kMaxBufferBytes); a frame announcing
// more is kTooLarge as soon as its length fields arrive, so an incomplete frame never makes the
// buffer hold more than that. A blocking exchange reports kTooLarge as -4 and kMalformed as -3
// (ExchangeResult.h).
// One thread at a time per object.
#pragma once

#include "codec/CFormMessage.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavik::app {

class CFormFramer {
public:
    enum Status {
        // No whole frame at the front yet.
        kNeedMore,
        // A whole frame is at the front: Extract and Consume.
        kComplete,
        // The frame at the front announces more than the size limit.
        kTooLarge,
        // The frame at the front cannot be read: its text runs past its total length.
        kMalformed,
    };

    CFormFramer(bool scramble, bool binary);

    // Appends the message's frame to the buffer. False, buffer unchanged, when the frame would be
    // larger than the limit (no peer would take it).
    bool Append(const CFormMessage& message);
    // Appends received bytes and tells what the front of the buffer holds. Once the front is
    // kTooLarge or kMalformed nothing more is kept: the stream cannot be read past it.
    Status Feed(std::span<const uint8_t> received);
    // What the front of the buffer holds.
    Status Check() const;
    // The front frame's length when Check() is kComplete, else 0.
    size_t FrameLength() const;
    // Reads the front frame into the message (pairs and tail replaced); false, message
    // unchanged, unless Check() is kComplete.
    bool Extract(CFormMessage& message) const;
    // Drops the front frame; nothing unless Check() is kComplete.
    void Consume();
    void Clear() { buffer_.clear(); }

    std::span<const uint8_t> Bytes() const { return buffer_; }
    size_t Size() const { return buffer_.size(); }

private:
    struct Front {
        Status status;
        size_t frameLength;
        size_t textAt;
        size_t textLength;
    };
    Front front() const;

    bool scramble_;
    bool binary_;
    std::vector<uint8_t> buffer_;
};

} // namespace tavik::app
