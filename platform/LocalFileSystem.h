// The device's own file system on the host. A device path is UTF-16, uses '\' or '/' between
// components and is always taken from the device root: the folder named by TAVIK_DEVICE_ROOT
// (read at every call, default '/'), so by default device paths are host paths. Empty and "."
// components are dropped and ".." never climbs above the root. Symbolic links inside the root
// are followed as the host resolves them.
//
// Failures are reported with the handheld platform's error codes (kError*), so callers keep
// their meaning: 2 file not found, 3 path not found, 5 access denied, 18 no more files,
// 183 already exists; the others below, and kErrorGeneric for an errno without a counterpart.
// All functions are thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::platform {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNoMoreFiles = 18;
inline constexpr uint32_t kErrorGeneric = 31;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorFilenameTooLong = 206;

struct LocalFileInfo {
    bool isFolder = false;
    // A folder that is a mount point: the handheld showed storage cards this way.
    bool isTemporary = false;
    uint64_t size = 0;
    int64_t lastWriteTime = 0; // seconds since 1970-01-01 UTC
};

// The host path of a device path under the device root (UTF-8, no trailing '/').
std::string hostPath(std::u16string_view devicePath);
// The device root in force, without a trailing '/' ("" for '/').
std::string deviceRoot();

// The error code for an errno value met while working on hostPath: ENOENT is split into
// "file not found" (the parent folder exists) and "path not found" (it does not).
uint32_t fileErrorFromErrno(int err, const std::string& hostPath);

// Each returns kErrorSuccess or the failure's code.
uint32_t getFileInfo(std::u16string_view devicePath, LocalFileInfo& info);
uint32_t createFolder(std::u16string_view devicePath); // 183 when anything exists there
uint32_t removeFolder(std::u16string_view devicePath); // must be empty (145)
uint32_t deleteFile(std::u16string_view devicePath);   // not for folders (5)
// Renames or moves a file or folder; fails with 183 when the target exists.
uint32_t moveFile(std::u16string_view fromPath, std::u16string_view toPath);
// Puts a file in another's place in one step: an existing file (or link) at toPath is replaced,
// never written into, so a reader sees the old file or the new one whole; the new file takes an
// old regular file's permissions. A folder at toPath is not replaced (5).
uint32_t replaceFile(std::u16string_view fromPath, std::u16string_view toPath);
// Bytes free for this user and bytes in all, of the volume holding the path.
uint32_t getDiskFreeSpace(std::u16string_view devicePath, uint64_t& freeBytes,
                          uint64_t& totalBytes);

} // namespace tavik::platform
