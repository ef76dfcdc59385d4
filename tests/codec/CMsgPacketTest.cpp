// Service message frames: the layout pinned byte for byte, and the receive-side check over
// whole, partial, doubled and hostile buffers.
#include "codec/CMsgPacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tavik::app {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::span<const uint8_t> span) {
    return Bytes(span.begin(), span.end());
}

std::vector<std::string> sortedPairs(std::string text) {
    std::vector<std::string> pairs;
    size_t start = 0;
    for (size_t amp = text.find('&'); amp != std::string::npos; amp = text.find('&', start)) {
        pairs.push_back(text.substr(start, amp - start));
        start = amp + 1;
    }
    pairs.push_back(text.substr(start));
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

CMsgPacket nodeQuery() {
    CMsgTextMap header;
    header.SetValue(u"ctrl", u"general");
    header.SetValue(u"general", u"queryNode");
    CMsgPacket packet;
    EXPECT_TRUE(packet.BuildTextBody(header, CMsgTextMap()));
    return packet;
}

TEST(CMsgPacket, BuildsTheNodeQueryFrameByteForByte) {
    Bytes frame = bytesOf(nodeQuery().GetBytes());
    ASSERT_EQ(frame.size(), 57u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 12),
              (Bytes{0x01, 0x31, 0x30, 0xF2, 0x00, 0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x29}));
    EXPECT_EQ(sortedPairs(std::string(frame.begin() + 12, frame.begin() + 53)),
              (std::vector<std::string>{"bodytype=0", "ctrl=general", "general=queryNode"}));
    EXPECT_EQ(Bytes(frame.begin() + 53, frame.end()), (Bytes{0x00, 0x00, 0x00, 0x00}));
}

TEST(CMsgPacket, ReadsBackHeaderAndEitherBody) {
    CMsgPacket received;
    ASSERT_EQ(received.Attach(nodeQuery().GetBytes()), 57u);
    CMsgTextMap header;
    ASSERT_TRUE(received.GetHeader(header));
    std::u16string value;
    EXPECT_TRUE(header.GetValue(u"General", value));
    EXPECT_EQ(value, u"queryNode");
    EXPECT_EQ(received.GetBodyType(), u"0");
    CMsgTextMap body;
    body.SetValue(u"stale", u"x");
    EXPECT_TRUE(received.GetTextBody(body));
    EXPECT_EQ(body.Count(), 0u);
    CMsgTypedBody typed;
    EXPECT_FALSE(received.GetTypedBody(typed));

    CMsgTextMap to;
    to.SetValue(u"to", u"A");
    CMsgTypedBody request;
    request.SetString(u"cmd", u"auth");
    request.SetString(u"userId", u"a");
    CMsgPacket sent;
    ASSERT_TRUE(sent.BuildTypedBody(to, request, true));
    EXPECT_FALSE(to.Contains(u"bodytype"));
    // The frame's tail from 12 + H is the typed body's whole image, its length field included.
    const size_t headerLength = std::string("bodytype=1&to=A").size();
    Bytes image = request.Serialize(true);
    EXPECT_EQ(Bytes(sent.GetBytes().begin() + 12 + headerLength, sent.GetBytes().end()), image);

    CMsgPacket typedReceived;
    ASSERT_EQ(typedReceived.Attach(sent.GetBytes(), false), sent.GetLength());
    EXPECT_EQ(typedReceived.GetBodyType(), u"1");
    EXPECT_FALSE(typedReceived.GetTextBody(body));
    ASSERT_TRUE(typedReceived.GetTypedBody(typed));
    EXPECT_TRUE(typed.GetString(u"userid", value));
    EXPECT_EQ(value, u"a");
    // A copy of a packet is a packet of its own.
    CMsgPacket copy = typedReceived;
    EXPECT_EQ(bytesOf(copy.GetBytes()), bytesOf(sent.GetBytes()));
}

TEST(CMsgPacket, BuildsFramesAroundEncodedBodiesForServers) {
    CMsgTextMap header;
    header.SetValue(u"svc", u"authsvr");
    CMsgPacket packet;
    const Bytes body = {'r', 'e', 's', 'u', 'l', 't', '=', '0'};
    ASSERT_TRUE(packet.BuildFrame(header, u"0", body));
    EXPECT_EQ(bytesOf(packet.GetBody()), body);
    EXPECT_FALSE(packet.BuildFrame(header, u"", body));
    EXPECT_EQ(packet.GetLength(), 0u);
    EXPECT_FALSE(packet.BuildFrame(header, std::u16string(32, u'1'), body));
    // 1 MiB in all is the most either side sends or takes.
    const size_t fixed = 16 + std::string("bodytype=0&svc=authsvr").size();
    EXPECT_TRUE(packet.BuildFrame(header, u"0", Bytes(1048576 - fixed, 'x')));
    EXPECT_EQ(packet.GetLength(), 1048576u);
    EXPECT_FALSE(packet.BuildFrame(header, u"0", Bytes(1048576 - fixed + 1, 'x')));
    EXPECT_EQ(packet.GetLength(), 0u);
}

TEST(CMsgPacket, ChecksReceiveBuffersStepByStep) {
    const Bytes frame = bytesOf(nodeQuery().GetBytes());
    Bytes oneAndAHalf = frame;
    oneAndAHalf.insert(oneAndAHalf.end(), frame.begin(), frame.begin() + 30);
    auto withLengths = [](uint32_t header, uint32_t body) {
        Bytes bytes = {0x01, 0x31, 0x30, 0xF2, 0, 0, 0, 0};
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(header >> shift));
        }
        bytes.insert(bytes.end(), header, 'h');
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(body >> shift));
        }
        return bytes;
    };
    struct CheckRow {
        const char* what;
        Bytes buffer;
        MsgFrameCheck::Status status;
        size_t length;
    };
    const std::vector<CheckRow> rows = {
        {"empty", {}, MsgFrameCheck::kNeedMore, 0},
        {"three bytes", {0x01, 0x31, 0x30}, MsgFrameCheck::kNeedMore, 0},
        {"wrong magic", {0x01, 0x31, 0x30, 0xF3}, MsgFrameCheck::kProtocolError, 0},
        {"eleven bytes", Bytes(frame.begin(), frame.begin() + 11), MsgFrameCheck::kNeedMore, 0},
        {"header only", Bytes(frame.begin(), frame.begin() + 53), MsgFrameCheck::kNeedMore, 0},
        {"one short", Bytes(frame.begin(), frame.end() - 1), MsgFrameCheck::kNeedMore, 0},
        {"whole", frame, MsgFrameCheck::kComplete, 57},
        {"one and a half", oneAndAHalf, MsgFrameCheck::kComplete, 57},
        {"empty parts", withLengths(0, 0), MsgFrameCheck::kComplete, 16},
        {"largest header", withLengths(1048560, 0), MsgFrameCheck::kComplete, 1048576},
        // Refused on its length alone, before any of the announced bytes arrive.
        {"header past 1 MiB",
         {0x01, 0x31, 0x30, 0xF2, 0, 0, 0, 0, 0x00, 0x0F, 0xFF, 0xF1},
         MsgFrameCheck::kProtocolError,
         0},
        {"body past 1 MiB", withLengths(4, 1048557), MsgFrameCheck::kProtocolError, 0},
        {"4 GiB body", withLengths(4, 0xFFFFFFFF), MsgFrameCheck::kProtocolError, 0},
    };
    for (const CheckRow& row : rows) {
        MsgFrameCheck check = CMsgPacket::Check(row.buffer);
        EXPECT_EQ(check.status, row.status) << row.what;
        EXPECT_EQ(check.length, row.length) << row.what;
        CMsgPacket packet;
        EXPECT_EQ(packet.Attach(row.buffer), row.length) << row.what;
        EXPECT_EQ(packet.GetLength(), row.length) << row.what;
    }
    CMsgPacket packet;
    ASSERT_EQ(packet.Attach(oneAndAHalf), 57u);
    EXPECT_EQ(bytesOf(packet.GetBytes()), frame);
}

TEST(CMsgPacket, ReadsHeadersOfPeersAsTheyCome) {
    // Escaped key characters before the first "=" still leave the rest as the value, and an
    // over-long body type is no body type.
    std::string header = "Bodytype=" + std::string(32, '0') + "&T%3Do=a=b";
    std::string text = std::string("\x01\x31\x30\xF2\0\0\0\0\0\0\0", 11) +
                       static_cast<char>(header.size()) + header + std::string(4, '\0');
    const Bytes frame(text.begin(), text.end());
    CMsgPacket packet;
    ASSERT_EQ(packet.Attach(frame), frame.size());
    CMsgTextMap map;
    ASSERT_TRUE(packet.GetHeader(map));
    std::u16string value;
    EXPECT_TRUE(map.GetValue(u"t=o", value));
    EXPECT_EQ(value, u"a=b");
    EXPECT_EQ(packet.GetBodyType(), u"");
    EXPECT_FALSE(packet.GetTextBody(map));
    CMsgPacket empty;
    EXPECT_FALSE(empty.GetHeader(map));
    EXPECT_EQ(empty.GetBodyType(), u"");
    EXPECT_TRUE(empty.GetBody().empty());
}

} // namespace
} // namespace tavik::app
