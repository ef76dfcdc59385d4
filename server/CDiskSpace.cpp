#include "server/CDiskSpace.h"

#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <sys/statvfs.h>

namespace tavik::server {

namespace {

// The block size a configured quota is reported in.
constexpr uint64_t kQuotaBlock = 1024;

struct FileSystemSpace {
    uint64_t block = 0;
    uint64_t available = 0;
    uint64_t total = 0;
};

Outcome<FileSystemSpace> fileSystemSpace(const std::filesystem::path& root) {
    struct statvfs info {};
    if (::statvfs(root.c_str(), &info) != 0) {
        return Outcome<FileSystemSpace>::fail(TAVIK_ERR_DISK_INFO);
    }
    FileSystemSpace space;
    space.block = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    space.available = static_cast<uint64_t>(info.f_bavail) * space.block;
    space.total = static_cast<uint64_t>(info.f_blocks) * space.block;
    return Outcome<FileSystemSpace>::ok(space);
}

} // namespace

uint64_t CDiskSpace::usedBytes(const std::filesystem::path& root) {
    std::error_code ec;
    uint64_t used = 0;
    std::filesystem::recursive_directory_iterator it(
        root, std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code statError;
        if (it->is_regular_file(statError) && !it->is_symlink(statError)) {
            const uintmax_t size = it->file_size(statError);
            used += statError ? 0 : size;
        }
    }
    return used;
}

SpaceWords CDiskSpace::toWords(uint64_t blockSize, uint64_t freeBytes, uint64_t totalBytes) {
    uint64_t block = std::max<uint64_t>(blockSize, 1);
    while (totalBytes / block > 0xFFFFFFFFu || freeBytes / block > 0xFFFFFFFFu) {
        block *= 2;
    }
    SpaceWords words;
    words.block = static_cast<uint32_t>(std::min<uint64_t>(block, 0xFFFFFFFFu));
    words.free = static_cast<uint32_t>(freeBytes / block);
    words.total = static_cast<uint32_t>(totalBytes / block);
    return words;
}

Outcome<uint64_t> CDiskSpace::freeBytes() const {
    auto fs = fileSystemSpace(disk_.root);
    if (!fs) {
        return Outcome<uint64_t>::fail(fs.error());
    }
    uint64_t free = fs.value().available;
    if (disk_.quota) {
        const uint64_t used = usedBytes(disk_.root);
        const uint64_t left = used >= *disk_.quota ? 0 : *disk_.quota - used;
        free = std::min(free, left);
    }
    return Outcome<uint64_t>::ok(free);
}

Outcome<SpaceWords> CDiskSpace::words() const {
    auto fs = fileSystemSpace(disk_.root);
    if (!fs) {
        return Outcome<SpaceWords>::fail(fs.error());
    }
    if (!disk_.quota) {
        return Outcome<SpaceWords>::ok(
            toWords(fs.value().block, fs.value().available, fs.value().total));
    }
    auto free = freeBytes();
    if (!free) {
        return Outcome<SpaceWords>::fail(free.error());
    }
    return Outcome<SpaceWords>::ok(toWords(kQuotaBlock, free.value(), *disk_.quota));
}

} // namespace tavik::server
