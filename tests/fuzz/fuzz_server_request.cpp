// The server's request handling on arbitrary bytes: the input is a run of packets (as a client
// would send them on one connection), each parsed and handed to the handlers of one session.
// The first byte chooses whether the session starts logged in. Whatever the input, a reply
// must carry "error" and must fit one packet; a failed command must plan no data phase.
#include "server/CClientSession.h"
#include "server/CCommandHandlers.h"
#include "server/CServerConfig.h"
#include "server/CServerStats.h"

#include "sdk/core/CPacket.h"
#include "sdk/core/PacketWire.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::filesystem::path gDiskFolder;

void removeDiskFolder() {
    std::error_code ec;
    std::filesystem::remove_all(gDiskFolder, ec);
}

// Every input starts from the same small disk, so runs are repeatable and the folder does not
// fill up with what earlier inputs created.
void resetDisk() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(gDiskFolder, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
    std::filesystem::create_directories(gDiskFolder / "sub", ec);
    FILE* file = std::fopen((gDiskFolder / "sub" / "io").c_str(), "wb");
    if (file != nullptr) {
        std::fputs("abc", file);
        std::fclose(file);
    }
}

// One disk in a folder of its own, made once per process and removed at exit.
const tavik::server::CServerConfig& fuzzConfig() {
    static const tavik::server::CServerConfig config = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tavik-fuzz-server-XXXXXX").string();
        const char* folder = ::mkdtemp(pattern.data());
        check(folder != nullptr);
        gDiskFolder = folder;
        std::atexit(removeDiskFolder);
        std::string error;
        auto made = tavik::server::CServerConfig::demo(folder, "demo", error);
        check(made.has_value());
        made->logCommands = false;
        made->maxOpenFiles = 4;
        return *made;
    }();
    return config;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 20)) {
        return 0;
    }
    const auto& config = fuzzConfig();
    resetDisk();
    tavik::server::CServerStats stats;
    tavik::server::CClientSession session(config.maxOpenFiles);
    if (data[0] & 1) {
        session.login(config.disks.front());
    }
    size_t offset = 1;
    for (int packets = 0; packets < 16 && offset < size; ++packets) {
        tavik::CPacket request;
        const int used = request.Parse(data + offset,
                                       static_cast<int>(std::min<size_t>(size - offset, 1u << 21)));
        if (used <= 0) {
            break;
        }
        offset += static_cast<size_t>(used);
        tavik::CPacket reply(2);
        tavik::server::CCommandHandlers handlers(session, config, stats);
        const auto result = handlers.handle(request, reply);
        int32_t error = -1;
        check(reply.GetInt("error", &error) && error == result.error);
        check(result.error == 0 || !result.plan.has_value());
        check(reply.SizeBound() <= tavik::wire::kHeaderSize + tavik::wire::kMaxBodyLength);
    }
    return 0;
}
