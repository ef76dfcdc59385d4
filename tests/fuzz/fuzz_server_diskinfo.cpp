// The disk-information server's side on arbitrary bytes from the network: the length probe must
// never claim more bytes than it was given, and every frame it calls complete must get a reply
// frame within the client's 64 KiB limit.
#include "codec/FormWire.h"
#include "server/CDiskInfoResponder.h"
#include "server/CFormFrameProbe.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

tavik::server::CServerConfig& config() {
    static tavik::server::CServerConfig made = [] {
        tavik::server::CServerConfig c;
        c.capabilityKey = tavik::server::CDiskCapability::Key{};
        tavik::server::AccountConfig account;
        account.user = "a";
        account.domain = "tavik.local";
        account.disks.push_back({"d", "디스크", "127.0.0.1"});
        c.service.accounts.push_back(account);
        // Without a ticket (which a fuzzer cannot guess) only the address rule opens the list.
        c.service.diskInfoAddressRule = true;
        return c;
    }();
    return made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tavik::server::FrameProbe;
    static tavik::server::CRecentLogins logins(std::chrono::seconds(300));
    static bool recorded = false;
    if (!recorded) {
        // One account is logged in, so that the fuzzer can reach the disk list too.
        logins.record("a@tavik.local", "127.0.0.1", tavik::server::CRecentLogins::Clock::now());
        recorded = true;
    }
    const std::span<const uint8_t> bytes(data, size);
    const FrameProbe probe =
        tavik::server::CFormFrameProbe::probe(bytes, tavik::app::formwire::kMaxBufferBytes);
    if (probe.kind != FrameProbe::Kind::Complete) {
        return 0;
    }
    check(probe.length >= 8 && probe.length <= size);
    tavik::server::CDiskInfoResponder responder(config(), logins);
    const auto reply = responder.answer(bytes.first(probe.length), "127.0.0.1");
    check(reply.size() >= 8 && reply.size() <= tavik::app::formwire::kMaxBufferBytes);
    return 0;
}
