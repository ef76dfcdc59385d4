// What a "download", "upload" or "copyex" request leaves for the connection to do after the
// first reply: the checked byte range and the open local file, and for "copyex" the other
// server and account.
#pragma once

#include "server/CFileDescriptor.h"
#include "server/CSpaceLedger.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace tavik::server {

struct CopyTarget {
    std::string ip; // ANSI, as the request gave it
    uint16_t port = 0;
    std::string id;       // ANSI
    std::string password; // ANSI
    std::string path;     // ANSI: the destination on the other server
    int32_t truncate = 0;
};

struct TransferPlan {
    enum class Kind { Download, Upload, Copy };
    Kind kind = Kind::Download;
    CFileDescriptor file;
    uint64_t start = 0;
    uint64_t end = 0;
    // The client agreed on 64-bit positions and sent the range in them: the copy's position
    // words are 8 bytes long.
    bool wideWords = false;
    // Upload: a write that would reach past this offset fails with "disk full".
    uint64_t writeLimit = 0;
    // Upload: the disk space promised to it, given back when the plan goes.
    CSpaceLedger::CReservation reservation;
    // Upload: run on the written file once every byte has arrived (the commit the client asked
    // for); 0 or the error the closing reply carries. Empty when none was asked.
    std::function<int32_t(int fd)> commit;
    CopyTarget copy;
};

} // namespace tavik::server
