#include "app/explorer/ResumeCheck.h"

#include "platform/CLocalFile.h"
#include "sdk/include/TavikSDK.h"

#include <memory>
#include <vector>

namespace tavik::app {

namespace {

constexpr int kReadOnly = 0;
constexpr int kSeekFromStart = 0;

struct FileCloser {
    void operator()(TAVIK_FILE* file) const { tavik_FileClose(file); }
};
using RemoteFile = std::unique_ptr<TAVIK_FILE, FileCloser>;

bool ReadLocal(const QString& devicePath, uint64_t from, std::vector<char>& bytes) {
    platform::CLocalFile file;
    if (!file.Open(devicePath.toStdU16String(), platform::CLocalFile::Access::Read,
                   platform::CLocalFile::Disposition::OpenExisting) ||
        file.Seek(static_cast<int64_t>(from), platform::CLocalFile::Origin::Begin) < 0) {
        return false;
    }
    size_t filled = 0;
    while (filled < bytes.size()) {
        const int64_t got = file.Read(bytes.data() + filled, bytes.size() - filled);
        if (got <= 0) {
            return false;
        }
        filled += static_cast<size_t>(got);
    }
    return true;
}

bool ReadRemote(TAVIK_SESSION session, const QString& remotePath, uint64_t from,
                std::vector<char>& bytes) {
    RemoteFile file(tavik_FileOpen(remotePath.toStdU16String().c_str(), kReadOnly, session));
    if (!file) {
        return false;
    }
    const bool placed = tavik_IsLargeFileSession(session)
                            ? tavik_FileSeek64(file.get(), static_cast<int64_t>(from),
                                               kSeekFromStart) == static_cast<int64_t>(from)
                            : tavik_FileSeek(file.get(), static_cast<int>(from), kSeekFromStart) ==
                                  static_cast<int>(from);
    if (!placed) {
        return false;
    }
    size_t filled = 0;
    while (filled < bytes.size()) {
        const int got = tavik_FileRead(file.get(), bytes.data() + filled,
                                       static_cast<int>(bytes.size() - filled));
        if (got <= 0) {
            return false;
        }
        filled += static_cast<size_t>(got);
    }
    return true;
}

} // namespace

bool SameBytesBefore(TAVIK_SESSION session, const QString& remotePath, const QString& devicePath,
                     uint64_t pos) {
    // Without 64-bit positions the server's seek positions are signed 32-bit.
    if (pos == 0 || (pos > 0x7FFFFFFF && !tavik_IsLargeFileSession(session))) {
        return false;
    }
    const uint64_t count = std::min<uint64_t>(pos, kResumeCheckBytes);
    std::vector<char> ours(count);
    std::vector<char> theirs(count);
    return ReadLocal(devicePath, pos - count, ours) &&
           ReadRemote(session, remotePath, pos - count, theirs) && ours == theirs;
}

} // namespace tavik::app
