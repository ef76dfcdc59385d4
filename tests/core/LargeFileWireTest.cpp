// The large-file items pinned byte for byte, and their negotiation at login. Every expected byte
// below was written by hand from the layout (name length, name, value length, value, all
// little-endian), not produced by the code under test.
#include "sdk/core/LargeFileWire.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/CSession.h"
#include "sdk/include/TavikSDK.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;
using test::CFakeDiskServer;
using test::FakeItem;

// The binary body of a plain packet holding only the item that fill adds.
template <class Fill> Bytes bodyOf(Fill fill) {
    CPacket packet(0);
    fill(packet);
    Bytes out(256);
    const int written = packet.Serialize(out.data(), static_cast<int>(out.size()));
    EXPECT_GT(written, 16);
    return Bytes(out.begin() + 16, out.begin() + std::max(written, 16));
}

struct U64Row {
    const char* name;
    uint64_t value;
    Bytes body;
};

TEST(LargeFileWire, SixtyFourBitItemsHaveTheirHandComputedBytes) {
    const std::vector<U64Row> rows = {
        {"startpos64",
         0x100000000ull, // 4 GiB
         {0x0A, 0x00, 's',  't',  'a',  'r',  't',  'p',  'o',  's',  '6',  '4',
          0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}},
        {"endpos64",
         0x180000000ull, // 6 GiB
         {0x08, 0x00, 'e',  'n',  'd',  'p',  'o',  's',  '6',  '4',  0x08,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00}},
        {"size64", 0xFFFFFFFFull, {0x06, 0x00, 's',  'i',  'z',  'e',  '6',  '4',  0x08, 0x00,
                                   0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
        {"offset64",
         ~0ull, // -1 as a signed offset
         {0x08, 0x00, 'o',  'f',  'f',  's',  'e',  't',  '6',  '4',  0x08,
          0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"s64_3",
         0x123456789ull,
         {0x05, 0x00, 's', '6', '4', '_', '3', 0x08, 0x00, 0x00, 0x00, 0x89, 0x67, 0x45, 0x23, 0x01,
          0x00, 0x00, 0x00}},
    };
    for (const U64Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(bodyOf([&](CPacket& p) { largefile::setU64(p, row.name, row.value); }), row.body);
        // Read back from the bytes alone.
        CPacket parsed;
        CPacket plain(0);
        largefile::setU64(plain, row.name, row.value);
        Bytes whole(256);
        const int n = plain.Serialize(whole.data(), static_cast<int>(whole.size()));
        ASSERT_EQ(parsed.Parse(whole.data(), n), n);
        EXPECT_EQ(largefile::getU64(parsed, row.name), row.value);
    }
    // The offer is a plain 4-byte integer item.
    EXPECT_EQ(bodyOf([](CPacket& p) { p.SetInt(largefile::kOfferItem, largefile::kOfferVersion); }),
              (Bytes{0x09, 0x00, 'l', 'a', 'r', 'g', 'e', 'f', 'i', 'l', 'e', 0x04, 0x00, 0x00,
                     0x00, 0x01, 0x00, 0x00, 0x00}));
    char name[24];
    largefile::entrySizeName(name, 12);
    EXPECT_STREQ(name, "s64_12");
}

TEST(LargeFileWire, ItemsOfAnotherLengthCountAsAbsentAndClampingSaturates) {
    CPacket packet;
    packet.SetInt("four", 7);
    packet.SetData("nine", "123456789", 9);
    EXPECT_FALSE(largefile::getU64(packet, "four"));
    EXPECT_FALSE(largefile::getU64(packet, "nine"));
    EXPECT_FALSE(largefile::getU64(packet, "missing"));
    const std::vector<std::pair<uint64_t, uint32_t>> clamps = {{0, 0},
                                                               {0xFFFFFFFEull, 0xFFFFFFFEu},
                                                               {0xFFFFFFFFull, 0xFFFFFFFFu},
                                                               {0x100000000ull, 0xFFFFFFFFu},
                                                               {0x180000001ull, 0xFFFFFFFFu}};
    for (const auto& [wide, narrow] : clamps) {
        EXPECT_EQ(largefile::clamp32(wide), narrow) << wide;
    }
}

// The login offers the extension; only a reply that carries it back turns it on, and every
// login (a reconnect included) decides anew.
TEST(LargeFileWire, LoginOffersAndOnlyAnAgreeingReplyTurnsItOn) {
    CFakeDiskServer server;
    server.expect("setuser")
        .reply({{"error", 0}, {"path", "/d"}, {"largefile", 1}})
        .expect("getlength")
        .close()
        .acceptNext()
        .expect("setuser")
        .reply({{"error", 0}, {"path", "/d"}, {"largefile", 1}})
        .expect("getlength")
        .reply({{"error", 0}, {"size", 5}})
        .close()
        .acceptNext()
        .expect("setuser") // a server that does not know the extension
        .reply({{"error", 0}, {"path", "/d"}})
        .start();
    TAVIK_SESSION session =
        tavik_CreateSession(server.host(), server.port(), u"bob", nullptr, 3000);
    ASSERT_NE(session, nullptr);
    CSession& object = *static_cast<CSession*>(session);
    EXPECT_TRUE(object.largeFiles);
    // The first getlength meets a closed connection: re-login, retry, still agreed.
    EXPECT_EQ(tavik_GetFileSize(u"/d/a", session), 5);
    EXPECT_TRUE(object.largeFiles);
    // A reconnect to a server that does not answer the offer turns it off.
    object.connection.Close();
    ASSERT_TRUE(ConnectAndLogin(object).isOk());
    EXPECT_FALSE(object.largeFiles);
    tavik_DestroySession(session);
    ASSERT_TRUE(server.finish());
    for (size_t i : {0u, 2u, 4u}) {
        EXPECT_EQ(server.packet(i).integer("largefile"), 1) << i;
        // The design's six items, this offer and the upload-commit one.
        EXPECT_EQ(server.packet(i).items.size(), 8u) << i;
    }
}

} // namespace
} // namespace tavik
