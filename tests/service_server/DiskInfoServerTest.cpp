// The disk-information server over hand-made form frames, and the capability ids it hands out
// as the disk server sees them.
#include "codec/CFormFramer.h"
#include "codec/CFormRecordTable.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikSDK.h"
#include "server/CMetrics.h"
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

// A password login; the reply's disk-list ticket.
std::string logIn(CServiceHarness& harness, const std::string& userId, const std::string& password,
                  const std::string& source = "127.0.0.1") {
    CRawClient client;
    EXPECT_TRUE(client.connect(harness.authPort(), source));
    TextPairs reply = handLogin(client, userId, password);
    EXPECT_EQ(reply["result"], "0") << userId;
    return reply["kid"];
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

TEST(DiskInfoServerTest, ListsAnAccountsDisksOnlyForItsLoginsOneTimeTicket) {
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

    const std::string bobTicket = logIn(harness, "bob@tavik.local", CServiceHarness::kBobPassword);
    const std::string ticket = logIn(harness, "alice@tavik.local", CServiceHarness::kAlicePassword);
    std::string forged = ticket;
    forged.back() = forged.back() == 'a' ? 'b' : 'a';
    // In order: a refused request leaves the ticket to its owner, an answered one spends it.
    struct Row {
        const char* name;
        std::string user;
        std::string source;
        std::string ticket;
        const char* errorcode; // nullptr: the list
    };
    const Row rows[] = {
        {"same address, no ticket", "alice@tavik.local", "127.0.0.1", "", "101"},
        {"another account's ticket", "alice@tavik.local", "127.0.0.1", bobTicket, "101"},
        {"ticket for another account", "bob@tavik.local", "127.0.0.1", ticket, "101"},
        {"ticket from another address", "alice@tavik.local", "127.0.0.3", ticket, "101"},
        {"forged ticket", "alice@tavik.local", "127.0.0.1", forged, "101"},
        {"no user name", "", "127.0.0.1", ticket, "101"},
        {"own ticket", "alice@TAVIK.LOCAL", "127.0.0.1", ticket, nullptr},
        {"own ticket again", "alice@tavik.local", "127.0.0.1", ticket, "101"},
        {"bob's own ticket", "bob@tavik.local", "127.0.0.1", bobTicket, nullptr},
    };
    TextPairs reply;
    for (const Row& row : rows) {
        TextPairs answer = handDiskInfo(port, row.user, row.source, row.ticket);
        if (row.errorcode != nullptr) {
            EXPECT_EQ(answer["inform"], "error") << row.name;
            EXPECT_EQ(answer["errorcode"], row.errorcode) << row.name;
        } else {
            EXPECT_EQ(answer["inform"], "GetDiskInfo") << row.name;
        }
        if (row.user == "alice@TAVIK.LOCAL") {
            reply = answer;
        }
    }
    CRawClient other;
    Bytes frame;
    ASSERT_TRUE(other.connect(port) && other.send(CHandFrames::form("&cmd=GetUserInfo")) &&
                other.readForm(frame));
    EXPECT_EQ(CHandFrames::pairs(CHandFrames::formText(frame))["errorcode"], "100");

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
    std::string forgedCapability = vaultCapability;
    forgedCapability.back() = forgedCapability.back() == 'a' ? 'b' : 'a';
    struct DiskRow {
        const char* name;
        std::string id;
        int32_t error;
    };
    const DiskRow diskRows[] = {
        {"demo by capability", demoCapability, 0},
        {"vault by capability", vaultCapability, 0},
        {"vault by capability, again (re-login)", vaultCapability, 0},
        {"vault by plain id", "vault", TAVIK_ERR_WRONG_ID},
        {"forged capability", forgedCapability, TAVIK_ERR_WRONG_ID},
        {"demo by plain id still works", "demo", 0},
    };
    for (const DiskRow& row : diskRows) {
        EXPECT_EQ(openDisk(harness.diskPort(), row.id), row.error) << row.name;
    }
}

TEST(DiskInfoServerTest, ListsEmptyAndLongListsAndRefusesOnesAboveTheClientsLimit) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    const uint16_t port = harness.diskInfoPort();
    const std::string bob = logIn(harness, "bob@tavik.local", CServiceHarness::kBobPassword);
    const std::string many = logIn(harness, "many@tavik.local", CServiceHarness::kBobPassword);
    const std::string huge = logIn(harness, "huge@tavik.local", CServiceHarness::kBobPassword);

    TextPairs none = handDiskInfo(port, "bob@tavik.local", "127.0.0.1", bob);
    EXPECT_EQ(none["inform"], "GetDiskInfo");
    EXPECT_EQ(none["tavikinfofield"], "diskid|diskname|serverip|loginid|");
    EXPECT_EQ(none["tavikinfo"], "");

    TextPairs manyList = handDiskInfo(port, "many@tavik.local", "127.0.0.1", many);
    ASSERT_EQ(manyList["inform"], "GetDiskInfo");
    const auto values = splitBars(manyList["tavikinfo"]);
    ASSERT_EQ(values.size(), 800u);
    for (size_t disk = 0; disk < 200; ++disk) {
        EXPECT_EQ(values[4 * disk].substr(0, values[4 * disk].find('~')),
                  "d" + std::to_string(disk));
        EXPECT_EQ(values[4 * disk + 1], "디스크 " + std::to_string(disk));
        EXPECT_EQ(values[4 * disk + 2], "127.0.0.2");
    }

    TextPairs hugeList = handDiskInfo(port, "huge@tavik.local", "127.0.0.1", huge);
    EXPECT_EQ(hugeList["inform"], "error");
    EXPECT_EQ(hugeList["errorcode"], "102");
    EXPECT_LE(std::stoul(hugeList["(frame bytes)"]), 65536u);
}

TEST(DiskInfoServerTest, AnswersTheRequestTheCodecBuilds) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    const std::string ticket = logIn(harness, "alice@tavik.local", CServiceHarness::kAlicePassword);
    app::CFormMessage request;
    request.SetValue(u"cmd", u"GetDiskInfo");
    request.SetValue(u"username", u"alice@tavik.local");
    request.SetValue(u"serviceType", u"");
    request.SetValue(u"ticket", std::u16string(ticket.begin(), ticket.end()));
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

// For clients that cannot send the ticket, the older rule can be chosen: any client on the
// address the account logged in from, within the window.
TEST(DiskInfoServerTest, TheAddressRuleAnswersTheLoginsAddressWithoutATicket) {
    CServiceHarness harness(
        [](server::CServerConfig& config) { config.service.diskInfoAddressRule = true; });
    ASSERT_TRUE(harness.running());
    const uint16_t port = harness.diskInfoPort();
    EXPECT_EQ(handDiskInfo(port, "alice@tavik.local")["errorcode"], "101") << "before the login";
    logIn(harness, "alice@tavik.local", CServiceHarness::kAlicePassword);
    EXPECT_EQ(handDiskInfo(port, "alice@tavik.local")["inform"], "GetDiskInfo");
    EXPECT_EQ(handDiskInfo(port, "alice@tavik.local")["inform"], "GetDiskInfo") << "again";
    EXPECT_EQ(handDiskInfo(port, "alice@tavik.local", "127.0.0.3")["errorcode"], "101");
    EXPECT_EQ(handDiskInfo(port, "bob@tavik.local")["errorcode"], "101");
}

// A sample of the process's metrics text ("name{labels}"), 0 when absent.
double metric(const std::string& key) {
    const std::string text = server::CMetrics::instance().text();
    const size_t at = text.find("\n" + key + " ");
    return at == std::string::npos ? 0 : std::stod(text.substr(at + key.size() + 2));
}

// A read-only disk is marked in a field of its own, which a client reading the four fields it
// knows by name passes over.
TEST(DiskInfoServerTest, MarksReadOnlyDisksInAFieldOlderClientsPassOver) {
    CServiceHarness harness([](server::CServerConfig& config) {
        for (server::DiskConfig& disk : config.disks) {
            disk.readOnly = disk.id == "vault";
        }
    });
    ASSERT_TRUE(harness.running());
    const double logins = metric(R"(tavik_service_logins_total{result="ok"})");
    const double listed = metric(R"(tavik_disk_list_queries_total{result="listed"})");
    const double refused = metric(R"(tavik_disk_list_queries_total{result="refused"})");
    EXPECT_EQ(handDiskInfo(harness.diskInfoPort(), "alice@tavik.local")["errorcode"], "101");
    const std::string ticket = logIn(harness, "alice@tavik.local", CServiceHarness::kAlicePassword);
    TextPairs reply =
        handDiskInfo(harness.diskInfoPort(), "alice@tavik.local", "127.0.0.1", ticket);
    ASSERT_EQ(reply["inform"], "GetDiskInfo");
    // The metrics count the login and both queries.
    EXPECT_EQ(metric(R"(tavik_service_logins_total{result="ok"})"), logins + 1);
    EXPECT_EQ(metric(R"(tavik_disk_list_queries_total{result="listed"})"), listed + 1);
    EXPECT_EQ(metric(R"(tavik_disk_list_queries_total{result="refused"})"), refused + 1);
    EXPECT_EQ(reply["tavikinfofield"], "diskid|diskname|serverip|loginid|readonly|");
    const auto values = splitBars(reply["tavikinfo"]);
    ASSERT_EQ(values.size(), 10u);
    EXPECT_EQ(values[4], "0");
    EXPECT_EQ(values[6], "금고");
    EXPECT_EQ(values[9], "1");

    app::CFormMessage message;
    message.SetValue(u"tavikinfofield", u"diskid|diskname|serverip|loginid|readonly|");
    const std::string& text = reply["tavikinfo"];
    message.SetValue(u"tavikinfo", std::u16string(text.begin(), text.end()));
    app::CFormRecordTable table;
    ASSERT_TRUE(table.Load(message, u"tavikinfofield", u"tavikinfo"));
    ASSERT_EQ(table.RecordCount(), 2u);
    for (const char16_t* field : {u"diskid", u"diskname", u"serverip", u"loginid"}) {
        std::u16string value;
        EXPECT_TRUE(table.GetValue(1, field, value));
        EXPECT_FALSE(value.empty());
    }
}

} // namespace
} // namespace tavik::test
