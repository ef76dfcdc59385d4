// The request handling of one connection: turns a request packet into its reply, one member
// function per command, with no socket involved. Every reply gets "error" (0 on success) and,
// on failure, "errstr" with the code's text. Before a successful "setuser" every other command
// is refused with 24004, as is any command this server does not know. "download", "upload" and
// "copyex" return a TransferPlan that the connection carries out after sending the reply.
#pragma once

#include "server/CClientSession.h"
#include "server/CFileOperations.h"
#include "server/CServerConfig.h"
#include "server/CServerStats.h"
#include "server/Outcome.h"
#include "server/TransferPlan.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavik {
class CPacket;
}

namespace tavik::server {

struct HandleResult {
    int32_t error = 0;
    std::optional<TransferPlan> plan;
};

class CCommandHandlers {
public:
    // "openfile" flags (the low two bits are the access mode).
    static constexpr int32_t kOpenRead = 0;
    static constexpr int32_t kOpenWrite = 1;
    static constexpr int32_t kOpenReadWrite = 2;
    static constexpr int32_t kOpenCreate = 0x40;
    static constexpr int32_t kOpenExclusive = 0x80;
    static constexpr int32_t kOpenTruncate = 0x200;
    static constexpr int32_t kOpenAppend = 0x400;
    // Largest "readfile" answer: the data and the reply's other items fit one packet body.
    static constexpr int32_t kMaxReadSize = 1048576 - 1024;
    static constexpr const char* kVersionText = "tavik-server 2.12.06";

    CCommandHandlers(CClientSession& session, const CServerConfig& config, CServerStats& stats);

    HandleResult handle(const CPacket& request, CPacket& reply);

    // Creation flags for the reply to a command: file data travels unscrambled.
    static uint32_t replyFlags(std::string_view command);
    // The request's main path (for the log), converted to UTF-8; empty when it has none.
    static std::string logPath(const CPacket& request);
    static void setError(CPacket& reply, int32_t error);
    // Whether this server knows the command (its metrics name others "other").
    static bool known(std::string_view command) { return find(command) != nullptr; }

private:
    using Handler = int32_t (CCommandHandlers::*)(const CPacket&, CPacket&);
    static Handler find(std::string_view command);

    Outcome<ResolvedPath> resolveItem(const CPacket& request, const char* item) const;
    // Resolves the two path items and runs the operation on them; the first refusal wins.
    using TwoPathOperation = int32_t (CFileOperations::*)(const ResolvedPath&,
                                                          const ResolvedPath&) const;
    int32_t onTwoPaths(const CPacket& request, const char* first, const char* second,
                       TwoPathOperation operation) const;
    Outcome<OpenFile*> fileItem(const CPacket& request);

    int32_t setUser(const CPacket& request, CPacket& reply);
    // The disk a valid capability id grants, or nullptr.
    const DiskConfig* diskByCapability(const std::string& id) const;
    // offered: the request offered 64-bit sizes; the reply then agrees to them.
    // offered, commitOffered: the client offered the large-file and upload-commit extensions.
    int32_t acceptLogin(const DiskConfig& disk, bool offered, bool commitOffered, CPacket& reply);
    // The range of a transfer request: the 64-bit items when the session agreed on them and the
    // request carries both, else the 32-bit "startpos"/"endpos"; nullopt when missing.
    std::optional<std::pair<uint64_t, uint64_t>> rangeItems(const CPacket& request) const;
    // An upload's commit (the items of UploadCommitWire.h), asked by a client that agreed: put
    // into plan for the end of the data phase. 0, or the error that refuses the upload at once.
    int32_t planCommit(const CPacket& request, const ResolvedPath& written,
                       TransferPlan& plan) const;
    int32_t getQuota(const CPacket& request, CPacket& reply);
    int32_t openFile(const CPacket& request, CPacket& reply);
    int32_t writeFile(const CPacket& request, CPacket& reply);
    int32_t readFile(const CPacket& request, CPacket& reply);
    int32_t seekFile(const CPacket& request, CPacket& reply);
    int32_t closeFile(const CPacket& request, CPacket& reply);
    int32_t createDir(const CPacket& request, CPacket& reply);
    int32_t createFile(const CPacket& request, CPacket& reply);
    int32_t deleteFile(const CPacket& request, CPacket& reply);
    int32_t renameFile(const CPacket& request, CPacket& reply);
    int32_t moveFile(const CPacket& request, CPacket& reply);
    int32_t copyFile(const CPacket& request, CPacket& reply);
    int32_t getFileInfo(const CPacket& request, CPacket& reply);
    int32_t getLength(const CPacket& request, CPacket& reply);
    int32_t getFileTime(const CPacket& request, CPacket& reply);
    int32_t setFileTime(const CPacket& request, CPacket& reply);
    int32_t openDir(const CPacket& request, CPacket& reply);
    int32_t readDir(const CPacket& request, CPacket& reply);
    int32_t closeDir(const CPacket& request, CPacket& reply);
    int32_t remoteCmd(const CPacket& request, CPacket& reply);
    int32_t changeDir(const CPacket& request, CPacket& reply);
    int32_t getServerInfo(const CPacket& request, CPacket& reply);
    int32_t checkVirus(const CPacket& request, CPacket& reply);
    int32_t download(const CPacket& request, CPacket& reply);
    int32_t upload(const CPacket& request, CPacket& reply);
    int32_t copyEx(const CPacket& request, CPacket& reply);

    // Opens a regular file below the root (open(2) flags); an invalid descriptor with errno
    // for anything else (EISDIR for a folder).
    CFileDescriptor openRegular(const ResolvedPath& path, int flags) const;
    // Opens the source of a download or copy and checks the range against it.
    int32_t openSource(const CPacket& request, const char* pathItem, TransferPlan& plan);

    CClientSession& session_;
    const CServerConfig& config_;
    CServerStats& stats_;
    std::optional<TransferPlan> plan_;
};

} // namespace tavik::server
