#include "sdk/ops/ServerServices.h"

#include "platform/AnsiCodePage.h"
#include "sdk/core/CSession.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/ops/CCommandResultRegistry.h"
#include "sdk/ops/CRequest.h"
#include "sdk/ops/CommandExchange.h"

#include <algorithm>
#include <cstring>

namespace tavik {

namespace {

// Stores an integer item into the caller's field only when the reply carries it.
void storeIfPresent(const CPacket& reply, const char* name, int& field) {
    int32_t value = 0;
    if (reply.GetInt(name, &value)) {
        field = value;
    }
}

} // namespace

Result<Done> getServerInfo(TAVIK_SERVERINFO* info, TAVIK_SESSION session) {
    CRequest request("getserverinfo");
    if (info == nullptr) {
        request.refuse(wrongParameter());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> done = request.run(session, reply);
    if (!done) {
        return done;
    }
    storeIfPresent(reply, "nCurrentNum", info->nCurrentNum);
    storeIfPresent(reply, "nDownNum", info->nDownNum);
    storeIfPresent(reply, "nUpNum", info->nUpNum);
    storeIfPresent(reply, "nStartTime", info->nStartTime);
    // Through UTF-16 and back, as every reply text is read; cut to fit the record's 512 bytes.
    std::string version =
        platform::toAnsi(platform::fromAnsi(reply.GetString("Version", "Unknown")));
    size_t length = std::min(version.size(), sizeof info->szVersion - 1);
    std::memcpy(info->szVersion, version.data(), length);
    info->szVersion[length] = '\0';
    return done;
}

Result<Done> getDiskSpace(TAVIK_DISKSPACE* diskspace, TAVIK_SESSION session) {
    CRequest request("getquota");
    if (session != nullptr) {
        request.addText("id", static_cast<CSession*>(session)->user.c_str());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> done = request.run(session, reply);
    if (done && diskspace != nullptr) {
        diskspace->dwBlock = static_cast<DWORD>(reply.GetInt("block", 0));
        diskspace->dwFree = static_cast<DWORD>(reply.GetInt("free", 0));
        diskspace->dwTotal = static_cast<DWORD>(reply.GetInt("total", 0));
    }
    return done;
}

Result<Done> getDiskSpace64(TAVIK_DISKSPACE64* space, TAVIK_SESSION session) {
    CRequest request("getquota");
    if (session != nullptr) {
        request.addText("id", static_cast<CSession*>(session)->user.c_str());
    }
    CPacket reply(kScrambledRequest);
    Result<Done> done = request.run(session, reply);
    if (!done || space == nullptr) {
        return done;
    }
    const uint64_t block = static_cast<uint32_t>(reply.GetInt("block", 0));
    const uint64_t freeBytes = block * static_cast<uint32_t>(reply.GetInt("free", 0));
    const uint64_t totalBytes = block * static_cast<uint32_t>(reply.GetInt("total", 0));
    const bool agreed = static_cast<CSession*>(session)->largeFiles;
    space->qwFree = agreed ? largefile::getU64(reply, largefile::kFreeBytesItem).value_or(freeBytes)
                           : freeBytes;
    space->qwTotal = agreed
                         ? largefile::getU64(reply, largefile::kTotalBytesItem).value_or(totalBytes)
                         : totalBytes;
    return done;
}

Result<int> checkVirus(LPCWSTR path, TAVIK_SESSION session) {
    CRequest request("checkvirus");
    request.addText("filename", path);
    CPacket reply(kScrambledRequest);
    Result<Done> done = request.run(session, reply);
    if (!done) {
        return Result<int>::failFrom(done);
    }
    return Result<int>::ok(reply.GetInt("result", 0), done.report());
}

std::string commandResultText(const CPacket& reply) {
    std::span<const uint8_t> result = reply.Find("result");
    std::string text(reinterpret_cast<const char*>(result.data()), result.size());
    int32_t retlen = 0;
    if (reply.GetInt("retlen", &retlen)) {
        // The server counts the terminator in "retlen"; the last byte taken is its place. A
        // "retlen" beyond the item never reaches past it.
        size_t taken = retlen < 1 ? 0 : std::min(static_cast<size_t>(retlen), text.size());
        text.resize(taken == 0 ? 0 : taken - 1);
    }
    return text.substr(0, text.find('\0'));
}

Result<const char*> openCommand(LPCWSTR command, TAVIK_SESSION session) {
    CRequest request("remotecmd");
    request.addText("command", command);
    request.addInt("getresult", 1);
    CPacket reply(kScrambledRequest);
    Result<Done> done = request.run(session, reply);
    if (!done) {
        return Result<const char*>::failFrom(done);
    }
    const char* text = CCommandResultRegistry::instance().add(commandResultText(reply));
    return Result<const char*>::ok(text, done.report());
}

Result<Done> changeDir(LPCWSTR name, TAVIK_SESSION session) {
    CRequest request("changedir");
    request.addText("name", name);
    CPacket reply(kScrambledRequest);
    return request.run(session, reply);
}

} // namespace tavik
