// The authentication server over hand-made frames (clear typed bodies written byte by byte) and
// over the codec with a scrambled body, as the explorer sends it.
#include "codec/CMsgPacket.h"
#include "tests/service_server/CServiceHarness.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace tavik::test {
namespace {

TEST(AuthServerTest, AnswersLoginsWithOneAnswerForEveryFailure) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    std::string error;
    auto* store = harness.services().store();
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const auto aliceKey = store->issueSessionKey("alice@tavik.local", std::chrono::minutes(5), now);
    const auto bobKey = store->issueSessionKey("bob@tavik.local", std::chrono::minutes(5), now);
    ASSERT_TRUE(aliceKey && bobKey) << aliceKey.error() << bobKey.error();

    struct Row {
        const char* name;
        std::string userId;
        std::string password;
        std::string sessionKey;
        const char* result;
    };
    const Row rows[] = {
        {"password", "alice@tavik.local", CServiceHarness::kAlicePassword, "", "0"},
        {"domain in other case", "alice@TAVIK.Local", CServiceHarness::kAlicePassword, "", "0"},
        {"session key", "alice@tavik.local", "", *aliceKey, "0"},
        {"same session key again", "alice@tavik.local", "", *aliceKey, "1"},
        {"other account's key", "alice@tavik.local", "", *bobKey, "1"},
        {"wrong password", "alice@tavik.local", "correct horse", "", "1"},
        {"unknown user", "mallory@tavik.local", CServiceHarness::kAlicePassword, "", "1"},
        {"user in other case", "Alice@tavik.local", CServiceHarness::kAlicePassword, "", "1"},
        {"no domain", "alice", CServiceHarness::kAlicePassword, "", "1"},
        {"no user id", "", "x", "", "2"},
        {"bob after alice's failures", "bob@tavik.local", CServiceHarness::kBobPassword, "", "0"},
    };
    std::string failureText;
    std::set<std::string> tickets;
    int row = 0;
    for (const Row& r : rows) {
        // Each row from its own address, so that earlier failures' delays stay small.
        CRawClient client;
        ASSERT_TRUE(client.connect(harness.authPort(), "127.0.0." + std::to_string(10 + row++)));
        TextPairs reply = handLogin(client, r.userId, r.password, r.sessionKey);
        ASSERT_FALSE(reply.empty()) << r.name;
        EXPECT_EQ(reply["inform"], "auth") << r.name;
        EXPECT_EQ(reply["result"], r.result) << r.name;
        EXPECT_EQ(reply["(to)"], reply["(node)"]) << r.name;
        if (std::string(r.result) == "0") {
            const bool alice = r.userId.rfind("alice", 0) == 0;
            EXPECT_EQ(reply["name"], alice ? "alice 님" : "bob 님") << r.name;
            EXPECT_EQ(reply["userno"], alice ? "1001" : "1002") << r.name;
            // kid and eid carry the login's disk-list ticket: random, one per login.
            EXPECT_TRUE(std::regex_match(reply["kid"], std::regex("[0-9a-f]{32}"))) << r.name;
            EXPECT_EQ(reply["eid"], reply["kid"]) << r.name;
            EXPECT_TRUE(tickets.insert(reply["kid"]).second) << r.name << ": a fresh ticket";
        } else if (std::string(r.result) == "1") {
            EXPECT_EQ(reply.count("name") + reply.count("userno") + reply.count("kid"), 0u)
                << r.name;
            if (failureText.empty()) {
                failureText = reply["errmsg"];
            }
            EXPECT_EQ(reply["errmsg"], failureText) << r.name << ": one answer for all";
        }
    }
}

TEST(AuthServerTest, GivesEachConnectionItsNodeAndIgnoresWhatItDoesNotServe) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    CRawClient first;
    CRawClient second;
    ASSERT_TRUE(first.connect(harness.authPort()) && second.connect(harness.authPort()));
    const Bytes nodeQuery = CHandFrames::message("ctrl=general&general=queryNode&bodytype=0", "");
    Bytes frame;
    std::string header;
    std::string body;
    ASSERT_TRUE(second.send(nodeQuery) && second.readMessage(frame));
    ASSERT_TRUE(CHandFrames::messageTexts(frame, header, body));
    const std::string otherNode = CHandFrames::pairs(header)["yournodeaddr"];

    // Each of these gets no reply. The node query sent after them is then the first thing
    // answered: had any of them been answered, that reply would come first.
    const Bytes authBody = CHandFrames::clearTypedBody({{"cmd", "auth"},
                                                        {"passwd", CServiceHarness::kAlicePassword},
                                                        {"userid", "alice@tavik.local"}});
    const Bytes ignored[] = {
        CHandFrames::message("from=tavik/n1&to=tavik&svc=authsvr&bodytype=1", authBody),
        CHandFrames::message("ctrl=general&general=ping&bodytype=0", ""),
        CHandFrames::message("ctrl=other&general=queryNode&bodytype=0", ""),
    };
    for (const Bytes& message : ignored) {
        ASSERT_TRUE(first.send(message));
    }
    ASSERT_TRUE(first.send(nodeQuery) && first.readMessage(frame));
    ASSERT_TRUE(CHandFrames::messageTexts(frame, header, body));
    TextPairs answer = CHandFrames::pairs(header);
    EXPECT_EQ(answer["ctrl"], "general");
    EXPECT_EQ(answer["general"], "queryNodeAns");
    EXPECT_EQ(answer["bodytype"], "0");
    const std::string node = answer["yournodeaddr"];
    EXPECT_EQ(node, answer["parentname"] + "/" + answer["childname"]);
    EXPECT_NE(node, otherNode);
    EXPECT_TRUE(body.empty());

    const std::string hub = answer["parentname"];
    const Bytes misaddressed[] = {
        CHandFrames::message("from=" + otherNode + "&to=" + hub + "&svc=authsvr&bodytype=1",
                             authBody),
        CHandFrames::message("from=" + node + "&to=elsewhere&svc=authsvr&bodytype=1", authBody),
        CHandFrames::message("from=" + node + "&to=" + hub + "&svc=chat&bodytype=1", authBody),
        CHandFrames::message("from=" + node + "&to=" + hub + "&svc=authsvr&bodytype=1",
                             CHandFrames::clearTypedBody({{"cmd", "logout"}})),
        CHandFrames::message("from=" + node + "&to=" + hub + "&svc=authsvr&bodytype=1",
                             Bytes{0x00, 0x00, 0x09, 'c', 'm', 'd'}), // a key running past the end
    };
    for (const Bytes& message : misaddressed) {
        ASSERT_TRUE(first.send(message));
    }
    ASSERT_TRUE(first.send(nodeQuery) && first.readMessage(frame));
    ASSERT_TRUE(CHandFrames::messageTexts(frame, header, body));
    EXPECT_EQ(CHandFrames::pairs(header)["general"], "queryNodeAns");
}

TEST(AuthServerTest, AcceptsTheScrambledRequestTheCodecBuilds) {
    CServiceHarness harness;
    ASSERT_TRUE(harness.running());
    CRawClient client;
    ASSERT_TRUE(client.connect(harness.authPort()));
    app::CMsgTextMap header;
    header.SetValue(u"ctrl", u"general");
    header.SetValue(u"general", u"queryNode");
    app::CMsgPacket query;
    ASSERT_TRUE(query.BuildTextBody(header, app::CMsgTextMap()));
    const auto queryBytes = query.GetBytes();
    Bytes frame;
    ASSERT_TRUE(client.send(Bytes(queryBytes.begin(), queryBytes.end())) &&
                client.readMessage(frame));
    app::CMsgPacket answer;
    app::CMsgTextMap answerHeader;
    ASSERT_GT(answer.Attach(frame), 0u);
    ASSERT_TRUE(answer.GetHeader(answerHeader));
    std::u16string node;
    ASSERT_TRUE(answerHeader.GetValue(u"yourNodeAddr", node));

    app::CMsgTextMap request;
    request.SetValue(u"from", node);
    request.SetValue(u"to", node.substr(0, node.find(u'/')));
    request.SetValue(u"svc", u"authsvr");
    app::CMsgTypedBody body;
    body.SetString(u"cmd", u"auth");
    body.SetString(u"userId", u"alice@tavik.local");
    body.SetString(u"passwd", u"correct horse 말");
    app::CMsgPacket auth;
    ASSERT_TRUE(auth.BuildTypedBody(request, body, true));
    const auto authBytes = auth.GetBytes();
    ASSERT_TRUE(client.send(Bytes(authBytes.begin(), authBytes.end())) &&
                client.readMessage(frame));
    app::CMsgPacket reply;
    app::CMsgTextMap replyHeader;
    app::CMsgTextMap replyBody;
    ASSERT_GT(reply.Attach(frame), 0u);
    ASSERT_TRUE(reply.GetHeader(replyHeader) && reply.GetTextBody(replyBody));
    std::u16string value;
    EXPECT_TRUE(replyHeader.GetValue(u"to", value) && value == node);
    EXPECT_TRUE(replyBody.GetValue(u"result", value) && value == u"0");
    EXPECT_TRUE(replyBody.GetValue(u"name", value) && value == u"alice 님");
}

} // namespace
} // namespace tavik::test
