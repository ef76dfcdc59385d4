// One request being built for the disk server. Text arguments are converted as they are added; a
// refused argument is remembered and reported when the request would be sent, after the session
// check, so that a null session is reported first as it is for every command.
#pragma once

#include "sdk/core/CPacket.h"
#include "sdk/core/Result.h"
#include "sdk/include/TavikTypes.h"
#include "sdk/ops/CommandExchange.h"

#include <optional>

namespace tavik {

class CRequest {
public:
    // Starts the request with "_cmd" = command. readfile/writefile pass kPlainRequest.
    explicit CRequest(const char* command, uint32_t flags = kScrambledRequest);

    // A string item holding the ANSI form of text; a null or over-long text refuses the request.
    void addText(const char* name, LPCWSTR text);
    void addInt(const char* name, int32_t value);
    // A zero length adds nothing: a packet never stores an empty item.
    void addData(const char* name, const void* bytes, uint32_t length);
    // Refuses the request for a bad argument the operation found itself (the first refusal wins).
    void refuse(ErrorReport report);

    CPacket& packet() { return packet_; }

    // runCommand on this request, unless it was refused or cannot fit one packet: then 24001
    // without sending (a null session still reports 24002 first).
    Result<Done> run(TAVIK_SESSION session, CPacket& reply);

private:
    CPacket packet_;
    std::optional<ErrorReport> refusal_;
};

} // namespace tavik
