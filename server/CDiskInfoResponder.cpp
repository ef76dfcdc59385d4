#include "server/CDiskInfoResponder.h"

#include "server/CMetrics.h"

#include "codec/CFormFramer.h"
#include "server/CDiskCapability.h"
#include "server/CWireText.h"

#include <algorithm>
#include <chrono>

namespace tavik::server {

namespace {

using app::CFormFramer;
using app::CFormMessage;

std::u16string wide(std::string_view utf8) {
    return CWireText::utf8ToUtf16(utf8);
}

std::string valueOf(const CFormMessage& message, std::u16string_view key) {
    std::u16string value;
    message.GetValue(key, value);
    return CWireText::utf16ToUtf8(value);
}

// The reply frame (scrambled, binary, as the client expects), or empty when it would exceed the
// client's 64 KiB reply limit.
std::vector<uint8_t> frameOf(const CFormMessage& message) {
    CFormFramer framer(true, true);
    if (!framer.Append(message)) {
        return {};
    }
    const auto bytes = framer.Bytes();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> errorReply(const char16_t* code, const char* message) {
    CFormMessage reply;
    reply.SetValue(u"inform", u"error");
    reply.SetValue(u"errmsg", wide(message));
    reply.SetValue(u"errorcode", code);
    return frameOf(reply);
}

int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

CDiskInfoResponder::CDiskInfoResponder(const CServerConfig& config, CServiceStore& store)
    : config_(config), store_(store) {}

bool CDiskInfoResponder::admits(const AccountConfig& account, const CFormMessage& request,
                                const std::string& peerAddress) {
    const std::string ticket = valueOf(request, u"ticket");
    if (!ticket.empty()) {
        const auto redeemed = store_.redeemTicket(ticket, account.identifier(), peerAddress);
        if (redeemed && *redeemed) {
            return true;
        }
    }
    if (!config_.service.diskInfoAddressRule) {
        return false;
    }
    const auto allowed = store_.loggedInFrom(account.identifier(), peerAddress);
    return allowed && *allowed;
}

bool CDiskInfoResponder::readOnlyHere(const AccountDisk& disk) const {
    const DiskConfig* served = config_.servesHere(disk) ? config_.findDisk(disk.diskId) : nullptr;
    return served != nullptr && served->readOnly;
}

std::vector<uint8_t> CDiskInfoResponder::answer(std::span<const uint8_t> frame,
                                                const std::string& peerAddress) {
    CFormFramer framer(true, true);
    CFormMessage request;
    last_ = Query{};
    if (framer.Feed(frame) != CFormFramer::kComplete || !framer.Extract(request) ||
        valueOf(request, u"cmd") != "GetDiskInfo" || !request.Contains(u"username")) {
        last_.result = 100;
        return errorReply(u"100", "잘못된 요청입니다");
    }
    last_.account = valueOf(request, u"username");
    last_.withTicket = !valueOf(request, u"ticket").empty();
    // An unknown account gets the answer of one that has not logged in: never having logged in
    // is exactly its state, and the answer tells nobody which accounts exist.
    const auto found = store_.findAccount(valueOf(request, u"username"));
    const AccountConfig* account = found && found->has_value() ? &found->value() : nullptr;
    if (account == nullptr || !admits(*account, request, peerAddress)) {
        CMetrics::instance().add("tavik_disk_list_queries_total", {{"result", "refused"}});
        last_.result = 101;
        return errorReply(u"101", "먼저 로그인하십시오");
    }
    CMetrics::instance().add("tavik_disk_list_queries_total", {{"result", "listed"}});
    const auto lifetime = std::chrono::hours(config_.service.capabilityLifetimeHours);
    const int64_t now = secondsNow();
    // A read-only disk of this server is marked in a fifth field. Clients read the fields they
    // know by name and pass over the others; lists without a read-only disk keep four.
    const bool markReadOnly =
        std::any_of(account->disks.begin(), account->disks.end(),
                    [this](const AccountDisk& disk) { return readOnlyHere(disk); });
    std::string values;
    for (const AccountDisk& disk : account->disks) {
        values += CDiskCapability::issue(*config_.capabilityKey, disk.diskId, now, lifetime) + "|" +
                  disk.name + "|" + disk.server + "|" + account->user + "|";
        if (markReadOnly) {
            values += readOnlyHere(disk) ? "1|" : "0|";
        }
    }
    CFormMessage reply;
    reply.SetValue(u"inform", u"GetDiskInfo");
    reply.SetValue(u"tavikinfofield", markReadOnly ? u"diskid|diskname|serverip|loginid|readonly|"
                                                   : u"diskid|diskname|serverip|loginid|");
    reply.SetValue(u"tavikinfo", wide(values));
    std::vector<uint8_t> bytes = frameOf(reply);
    last_.disks = account->disks.size();
    // The client gives up on a reply beyond 64 KiB: say why instead of sending it.
    last_.result = bytes.empty() ? 102 : 0;
    return bytes.empty() ? errorReply(u"102", "디스크 목록이 너무 깁니다") : bytes;
}

} // namespace tavik::server
