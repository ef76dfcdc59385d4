// The disk-information server over hand-made form frames, and the capability ids it hands out
// as the disk server sees them.
#include "codec/CFormFramer.h"
#include "codec/CFormRecordTable.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikSDK.h"
#include "tests/service_server/CServiceHarness.h"

#include <gtest/gtest.h>

namespace tavik::test {
namespace {

std::vector<std::string> splitBars(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
        items.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    EXPECT_EQ(start, text.size()) << "every item ends with '|'";
    return items;
}

void logIn(CServiceHarness& harness, const std::string& userId, const std::string& password,
           const std::string& source = "127.0.0.1") {
    CRawClient client;
    ASSERT_TRUE(client.connect(harness.authPort(), source));
    ASSERT_EQ(handLogin(client, userId, password)["result"], "0") << userId;
}

// A disk-server login with the disk id as the only credential, as the explorer makes it.
int32_t openDisk(uint16_t port, const std::string& diskId) {
    const std::u16string id(diskId.begin(), diskId.end());
    TAVIK_SESSION session = tavik_CreateSession(u"127.0.0.1", port, id.c_str(), nullptr, 10000);
    const int32_t error = session == nullptr ? tavik_GetLastError() : 0;
    if (session != nullptr) {
        tavik_DestroySession(session);
    }
    return error;
}

TEST(DiskInfoServerTest, ListsAnAccountsDisksOnlyAfterItsLoginFromTheSameAddress) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    const uint16_t port = harness.diskInfoPort();

    TextPairs before = handDiskInfo(port, "alice@tavik.local");
    TextPairs unknown = handDiskInfo(port, "nobody@tavik.local");
    EXPECT_EQ(before["inform"], "error");
    EXPECT_EQ(before["errorcode"], "101");
    EXPECT_FALSE(before["errmsg"].empty());
    EXPECT_EQ(unknown["errorcode"], before["errorcode"]) << "unknown looks like not logged in";
    EXPECT_EQ(unknown["errmsg"], before["errmsg"]);

    logIn(harness, "alice@tavik.local", CServiceHarness::kAlicePassword);
    EXPECT_EQ(handDiskInfo(port, "alice@tavik.local", "127.0.0.3")["errorcode"], "101")
        << "another address";
    EXPECT_EQ(handDiskInfo(port, "bob@tavik.local")["errorcode"], "101") << "another account";
    EXPECT_EQ(handDiskInfo(port, "")["errorcode"], "101");
    CRawClient other;
    Bytes frame;
    ASSERT_TRUE(other.connect(port) && other.send(CHandFrames::form("&cmd=GetUserInfo")) &&
                other.readForm(frame));
    EXPECT_EQ(CHandFrames::pairs(CHandFrames::formText(frame))["errorcode"], "100");

    TextPairs reply = handDiskInfo(port, "alice@TAVIK.LOCAL");
    ASSERT_EQ(reply["inform"], "GetDiskInfo");
    EXPECT_EQ(reply["tavikinfofield"], "diskid|diskname|serverip|loginid|");
    const auto values = splitBars(reply["tavikinfo"]);
    ASSERT_EQ(values.size(), 8u);
    EXPECT_EQ(values[1], "데모 디스크");
    EXPECT_EQ(values[2], "127.0.0.1");
    EXPECT_EQ(values[3], "alice");
    EXPECT_EQ(values[5], "금고");
    const std::string demoCapability = values[0];
    const std::string vaultCapability = values[4];
    EXPECT_EQ(demoCapability.rfind("demo~", 0), 0u);
    EXPECT_EQ(vaultCapability.rfind("vault~", 0), 0u);

    // The capability is the whole credential; the capability-only disk takes nothing else.
    std::string forged = vaultCapability;
    forged.back() = forged.back() == 'a' ? 'b' : 'a';
    struct Row {
        const char* name;
        std::string id;
        int32_t error;
    };
    const Row rows[] = {
        {"demo by capability", demoCapability, 0},
        {"vault by capability", vaultCapability, 0},
        {"vault by capability, again (re-login)", vaultCapability, 0},
        {"vault by plain id", "vault", TAVIK_ERR_WRONG_ID},
        {"forged capability", forged, TAVIK_ERR_WRONG_ID},
        {"demo by plain id still works", "demo", 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(openDisk(harness.diskPort(), row.id), row.error) << row.name;
    }
}

TEST(DiskInfoServerTest, ListsEmptyAndLongListsAndRefusesOnesAboveTheClientsLimit) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    const uint16_t port = harness.diskInfoPort();
    logIn(harness, "bob@tavik.local", CServiceHarness::kBobPassword);
    logIn(harness, "many@tavik.local", CServiceHarness::kBobPassword);
    logIn(harness, "huge@tavik.local", CServiceHarness::kBobPassword);

    TextPairs none = handDiskInfo(port, "bob@tavik.local");
    EXPECT_EQ(none["inform"], "GetDiskInfo");
    EXPECT_EQ(none["tavikinfofield"], "diskid|diskname|serverip|loginid|");
    EXPECT_EQ(none["tavikinfo"], "");

    TextPairs many = handDiskInfo(port, "many@tavik.local");
    ASSERT_EQ(many["inform"], "GetDiskInfo");
    const auto values = splitBars(many["tavikinfo"]);
    ASSERT_EQ(values.size(), 800u);
    for (size_t disk = 0; disk < 200; ++disk) {
        EXPECT_EQ(values[4 * disk].substr(0, values[4 * disk].find('~')),
                  "d" + std::to_string(disk));
        EXPECT_EQ(values[4 * disk + 1], "디스크 " + std::to_string(disk));
        EXPECT_EQ(values[4 * disk + 2], "127.0.0.2");
    }

    TextPairs huge = handDiskInfo(port, "huge@tavik.local");
    EXPECT_EQ(huge["inform"], "error");
    EXPECT_EQ(huge["errorcode"], "102");
    EXPECT_LE(std::stoul(huge["(frame bytes)"]), 65536u);
}

TEST(DiskInfoServerTest, AnswersTheRequestTheCodecBuilds) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    logIn(harness, "alice@tavik.local", CServiceHarness::kAlicePassword);
    app::CFormMessage request;
    request.SetValue(u"cmd", u"GetDiskInfo");
    request.SetValue(u"username", u"alice@tavik.local");
    request.SetValue(u"serviceType", u"");
    app::CFormFramer out(true, true);
    ASSERT_TRUE(out.Append(request));
    CRawClient client;
    Bytes frame;
    ASSERT_TRUE(client.connect(harness.diskInfoPort()) &&
                client.send(Bytes(out.Bytes().begin(), out.Bytes().end())) &&
                client.readForm(frame));
    app::CFormFramer in(true, true);
    app::CFormMessage reply;
    ASSERT_EQ(in.Feed(frame), app::CFormFramer::kComplete);
    ASSERT_TRUE(in.Extract(reply));
    app::CFormRecordTable table;
    ASSERT_TRUE(table.Load(reply, u"tavikinfofield", u"tavikinfo"));
    ASSERT_EQ(table.RecordCount(), 2u);
    std::u16string name;
    EXPECT_TRUE(table.GetValue(1, u"diskname", name));
    EXPECT_EQ(name, u"금고");
}

} // namespace
} // namespace tavik::test
