#include "server/CAuthConversation.h"

#include "codec/CMsgPacket.h"
#include "server/CWireText.h"

namespace tavik::server {

namespace {

using app::CMsgPacket;
using app::CMsgTextMap;
using app::CMsgTypedBody;

std::u16string wide(std::string_view utf8) {
    return CWireText::utf8ToUtf16(utf8);
}

std::u16string valueOf(const CMsgTextMap& map, std::u16string_view key) {
    std::u16string value;
    map.GetValue(key, value);
    return value;
}

// The request's fields, from a typed body (what the client sends) or a text body.
struct AuthFields {
    std::u16string cmd;
    std::u16string userId;
    std::u16string password;
    std::u16string sessionKey;
};

bool readAuthFields(CMsgPacket& packet, AuthFields& fields) {
    CMsgTypedBody typed;
    if (packet.GetTypedBody(typed)) {
        typed.GetString(u"cmd", fields.cmd);
        typed.GetString(u"userid", fields.userId);
        typed.GetString(u"passwd", fields.password);
        typed.GetString(u"brelo_sessionkey", fields.sessionKey);
        return true;
    }
    CMsgTextMap text;
    if (packet.GetTextBody(text)) {
        fields = {valueOf(text, u"cmd"), valueOf(text, u"userid"), valueOf(text, u"passwd"),
                  valueOf(text, u"brelo_sessionkey")};
        return true;
    }
    return false;
}

std::vector<uint8_t> frameOf(const CMsgTextMap& header, const CMsgTextMap& body) {
    CMsgPacket reply;
    if (!reply.BuildTextBody(header, body)) {
        return {};
    }
    const auto bytes = reply.GetBytes();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

} // namespace

CAuthConversation::CAuthConversation(uint64_t nodeNumber, CAccountAuthenticator& authenticator,
                                     CServiceStore& store, std::string peerAddress,
                                     const std::atomic<bool>& stopping)
    : authenticator_(authenticator), store_(store), peerAddress_(std::move(peerAddress)),
      stopping_(stopping), childName_("n" + std::to_string(nodeNumber)),
      nodeAddress_(std::string(kParentName) + "/" + childName_) {}

std::vector<uint8_t> CAuthConversation::answer(std::span<const uint8_t> frame) {
    CMsgPacket packet;
    CMsgTextMap header;
    if (packet.Attach(frame, false) == 0 || !packet.GetHeader(header)) {
        return {};
    }
    if (header.Contains(u"ctrl")) {
        const bool nodeQuery =
            valueOf(header, u"ctrl") == u"general" && valueOf(header, u"general") == u"queryNode";
        return nodeQuery ? answerNodeQuery() : std::vector<uint8_t>();
    }
    // An addressed message: only an auth request from this connection's own node, sent to the
    // hub's authentication service, is answered.
    const bool forUs = nodeGiven_ && valueOf(header, u"from") == wide(nodeAddress_) &&
                       valueOf(header, u"to") == wide(kParentName) &&
                       valueOf(header, u"svc") == u"authsvr";
    AuthFields fields;
    if (!forUs || !readAuthFields(packet, fields) || fields.cmd != u"auth") {
        return {};
    }
    return answerAuth(fields.userId, fields.password, fields.sessionKey);
}

std::vector<uint8_t> CAuthConversation::answerNodeQuery() {
    nodeGiven_ = true;
    CMsgTextMap header;
    header.SetValue(u"ctrl", u"general");
    header.SetValue(u"general", u"queryNodeAns");
    header.SetValue(u"parentName", wide(kParentName));
    header.SetValue(u"childName", wide(childName_));
    header.SetValue(u"yourNodeAddr", wide(nodeAddress_));
    return frameOf(header, CMsgTextMap());
}

std::vector<uint8_t> CAuthConversation::answerAuth(const std::u16string& userId,
                                                   const std::u16string& password,
                                                   const std::u16string& sessionKey) {
    CMsgTextMap header;
    header.SetValue(u"to", wide(nodeAddress_));
    header.SetValue(u"from", wide(std::string(kParentName) + "/authsvr"));
    CMsgTextMap body;
    body.SetValue(u"inform", u"auth");
    if (userId.empty()) {
        body.SetValue(u"result", u"2");
        body.SetValue(u"errmsg", u"userid missing");
        return frameOf(header, body);
    }
    const CAccountAuthenticator::Request request{CWireText::utf16ToUtf8(userId),
                                                 CWireText::utf16ToUtf8(password),
                                                 CWireText::utf16ToUtf8(sessionKey), peerAddress_};
    const std::optional<AccountConfig> account = authenticator_.authenticate(request, stopping_);
    const auto ticket = account ? store_.recordLogin(account->identifier(), peerAddress_)
                                : StoreResult<std::string>::fail("");
    if (!ticket) {
        body.SetValue(u"result", u"1");
        body.SetValue(u"errmsg", u"wrong user id, password or session key");
        return frameOf(header, body);
    }
    loggedIn_ = true;
    body.SetValue(u"result", u"0");
    body.SetValue(u"errmsg", u"");
    body.SetValue(u"name", wide(account->displayName));
    body.SetValue(u"userno", wide(std::to_string(account->userNumber)));
    // Clients only require kid and eid to be present: both carry the disk-list ticket, which our
    // explorer sends back with its GetDiskInfo request.
    body.SetValue(u"kid", wide(*ticket));
    body.SetValue(u"eid", wide(*ticket));
    return frameOf(header, body);
}

} // namespace tavik::server
