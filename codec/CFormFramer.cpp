#include "codec/CFormFramer.h"

#include "codec/ByteOrder.h"
#include "codec/FormWire.h"
#include "platform/CStreamScrambler.h"

#include <string>

namespace tavik::app {

namespace {

const platform::CStreamScrambler& formScrambler() {
    static const platform::CStreamScrambler scrambler(
        formwire::kScrambleStart, formwire::kScrambleMultiplier, formwire::kScrambleIncrement,
        platform::CStreamScrambler::UnitWidth::Bits8, platform::CStreamScrambler::Feedback::Signed);
    return scrambler;
}

} // namespace

CFormFramer::CFormFramer(bool scramble, bool binary) : scramble_(scramble), binary_(binary) {}

bool CFormFramer::Append(const CFormMessage& message) {
    std::string text = message.FormatAnsi();
    const std::vector<uint8_t>& tail = binary_ ? message.Tail() : std::vector<uint8_t>();
    const size_t prefix = binary_ ? formwire::kBinaryPrefixBytes : formwire::kPlainPrefixBytes;
    const size_t frameLength = prefix + text.size() + tail.size();
    if (frameLength > formwire::kMaxBufferBytes) {
        return false;
    }
    std::vector<uint8_t> frame;
    frame.reserve(frameLength);
    if (binary_) {
        AppendU32LittleEndian(frame, static_cast<uint32_t>(frameLength));
        AppendU32LittleEndian(frame, static_cast<uint32_t>(text.size()));
    } else {
        AppendU32BigEndian(frame, static_cast<uint32_t>(text.size()));
    }
    frame.insert(frame.end(), text.begin(), text.end());
    if (scramble_) {
        formScrambler().Scramble(std::span<uint8_t>(frame).subspan(prefix, text.size()));
    }
    frame.insert(frame.end(), tail.begin(), tail.end());
    buffer_.insert(buffer_.end(), frame.begin(), frame.end());
    return true;
}

CFormFramer::Status CFormFramer::Feed(std::span<const uint8_t> received) {
    Status before = Check();
    if (before == kTooLarge || before == kMalformed) {
        // The stream cannot be read past a broken frame; keeping more of it helps nobody.
        return before;
    }
    buffer_.insert(buffer_.end(), received.begin(), received.end());
    return Check();
}

CFormFramer::Status CFormFramer::Check() const {
    return front().status;
}

size_t CFormFramer::FrameLength() const {
    Front f = front();
    return f.status == kComplete ? f.frameLength : 0;
}

CFormFramer::Front CFormFramer::front() const {
    const size_t held = buffer_.size();
    if (held < formwire::kPlainPrefixBytes) {
        return {kNeedMore, 0, 0, 0};
    }
    size_t frameLength = 0;
    size_t textLength = 0;
    size_t textAt = 0;
    if (binary_) {
        if (held < formwire::kBinaryPrefixBytes) {
            return {kNeedMore, 0, 0, 0};
        }
        frameLength = ReadU32LittleEndian(buffer_.data());
        textLength = ReadU32LittleEndian(buffer_.data() + 4);
        textAt = formwire::kBinaryPrefixBytes;
        if (frameLength > formwire::kMaxBufferBytes) {
            return {kTooLarge, 0, 0, 0};
        }
        if (frameLength < textAt || textLength > frameLength - textAt) {
            return {kMalformed, 0, 0, 0};
        }
    } else {
        textLength = ReadU32BigEndian(buffer_.data());
        textAt = formwire::kPlainPrefixBytes;
        if (textLength > formwire::kMaxBufferBytes - textAt) {
            return {kTooLarge, 0, 0, 0};
        }
        frameLength = textAt + textLength;
    }
    if (held < frameLength) {
        return {kNeedMore, 0, 0, 0};
    }
    return {kComplete, frameLength, textAt, textLength};
}

bool CFormFramer::Extract(CFormMessage& message) const {
    Front f = front();
    if (f.status != kComplete) {
        return false;
    }
    std::string text(buffer_.begin() + f.textAt, buffer_.begin() + f.textAt + f.textLength);
    if (scramble_) {
        formScrambler().Unscramble(
            std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()));
    }
    message.RemoveAll();
    message.Parse(text);
    message.AppendTail(std::span<const uint8_t>(buffer_).subspan(
        f.textAt + f.textLength, f.frameLength - f.textAt - f.textLength));
    return true;
}

void CFormFramer::Consume() {
    size_t length = FrameLength();
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
}

} // namespace tavik::app
