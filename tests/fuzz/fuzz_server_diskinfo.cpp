// The disk-information server's side on arbitrary bytes from the network: the length probe must
// never claim more bytes than it was given, and every frame it calls complete must get a reply
// frame within the client's 64 KiB limit.
#include "codec/FormWire.h"
#include "server/CDiskInfoResponder.h"
#include "server/CEmbeddedStore.h"
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
    static const auto store = [] {
        std::string error;
        auto made =
            tavik::server::CEmbeddedStore::open(":memory:", std::chrono::seconds(300), error);
        check(made != nullptr);
        check(static_cast<bool>(tavik::server::seedAccounts(*made, config().service, error)));
        // One account is logged in, so that the fuzzer can reach the disk list too.
        check(static_cast<bool>(made->recordLogin("a@tavik.local", "127.0.0.1")));
        return made;
    }();
    const std::span<const uint8_t> bytes(data, size);
    const FrameProbe probe =
        tavik::server::CFormFrameProbe::probe(bytes, tavik::app::formwire::kMaxBufferBytes);
    if (probe.kind != FrameProbe::Kind::Complete) {
        return 0;
    }
    check(probe.length >= 8 && probe.length <= size);
    tavik::server::CDiskInfoResponder responder(config(), *store);
    const auto reply = responder.answer(bytes.first(probe.length), "127.0.0.1");
    check(reply.size() >= 8 && reply.size() <= tavik::app::formwire::kMaxBufferBytes);
    return 0;
}
