#include "sdk/ops/CRequest.h"

#include "sdk/core/PacketWire.h"

namespace tavik {

CRequest::CRequest(const char* command, uint32_t flags) : packet_(flags) {
    packet_.SetString("_cmd", command);
}

void CRequest::addText(const char* name, LPCWSTR text) {
    Result<std::string> ansi = ansiArgument(text);
    if (!ansi) {
        refuse(*ansi.report());
        return;
    }
    packet_.SetString(name, ansi.value().c_str());
}

void CRequest::addInt(const char* name, int32_t value) {
    packet_.SetInt(name, value);
}

void CRequest::addData(const char* name, const void* bytes, uint32_t length) {
    if (length == 0) {
        return;
    }
    if (length > static_cast<uint32_t>(wire::kMaxValueLength)) {
        // The packet would drop the item silently; the server would then act on a request
        // without its data.
        refuse(wrongParameter());
        return;
    }
    packet_.SetData(name, bytes, length);
}

void CRequest::refuse(ErrorReport report) {
    if (!refusal_) {
        refusal_ = std::move(report);
    }
}

Result<Done> CRequest::run(TAVIK_SESSION session, CPacket& reply) {
    if (session != nullptr) {
        if (refusal_) {
            return Result<Done>::fail(*refusal_);
        }
        if (packet_.SizeBound() - wire::kHeaderSize > wire::kMaxBodyLength) {
            // No peer accepts such a packet; sending it would only cost the connection.
            return Result<Done>::fail(wrongParameter());
        }
    }
    return runCommand(session, packet_, reply);
}

} // namespace tavik
