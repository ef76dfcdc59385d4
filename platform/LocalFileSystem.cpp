#include "platform/LocalFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace tavik::platform {

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
}

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// The device path's components after dropping empty and "." ones and resolving "..", which
// stops at the root.
std::vector<std::u16string> normalisedComponents(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t end = i;
        while (end < path.size() && !isSeparator(path[end])) {
            ++end;
        }
        std::u16string_view part = path.substr(i, end - i);
        if (part == u"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != u".") {
            parts.emplace_back(part);
        }
        i = end + 1;
    }
    return parts;
}

std::string parentOf(const std::string& host) {
    size_t slash = host.find_last_of('/');
    if (slash == std::string::npos || slash == 0) {
        return "/";
    }
    return host.substr(0, slash);
}

bool isFolderAt(const std::string& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t lastError(const std::string& host) {
    return fileErrorFromErrno(errno, host);
}

} // namespace

std::string utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

// Length of the sequence a lead byte opens (0 for a byte that cannot open one).
static size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead < 0xE0) {
        return 2;
    }
    if (lead >= 0xE0 && lead < 0xF0) {
        return 3;
    }
    if (lead >= 0xF0 && lead < 0xF5) {
        return 4;
    }
    return 0;
}

std::u16string utf16FromUtf8(std::string_view text) {
    static const uint32_t leadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        bool valid = length != 0 && i + length <= text.size();
        uint32_t cp = valid ? static_cast<unsigned char>(text[i]) & leadMask[length] : 0;
        for (size_t k = 1; valid && k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (!valid || cp < minimum[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        appendUtf16(out, cp);
        i += length;
    }
    return out;
}

std::string deviceRoot() {
    const char* env = std::getenv("TAVIK_DEVICE_ROOT");
    std::string root = env != nullptr ? env : "";
    while (!root.empty() && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

std::string hostPath(std::u16string_view devicePath) {
    std::string out = deviceRoot();
    for (const std::u16string& part : normalisedComponents(devicePath)) {
        out.push_back('/');
        out += utf8FromUtf16(part);
    }
    return out.empty() ? "/" : out;
}

uint32_t fileErrorFromErrno(int err, const std::string& host) {
    switch (err) {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return isFolderAt(parentOf(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
        return kErrorAccessDenied;
    case EEXIST:
        return kErrorAlreadyExists;
    case ENOTEMPTY:
        return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
        return kErrorDiskFull;
    case EBADF:
        return kErrorInvalidHandle;
    case ENAMETOOLONG:
        return kErrorFilenameTooLong;
    default:
        return kErrorGeneric;
    }
}

uint32_t getFileInfo(std::u16string_view devicePath, LocalFileInfo& info) {
    std::string host = hostPath(devicePath);
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) {
        return lastError(host);
    }
    info.isFolder = S_ISDIR(st.st_mode);
    info.size = info.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
    info.lastWriteTime = st.st_mtim.tv_sec;
    info.isTemporary = false;
    if (info.isFolder && host != "/") {
        struct stat parent {};
        info.isTemporary =
            ::stat(parentOf(host).c_str(), &parent) == 0 && parent.st_dev != st.st_dev;
    }
    return kErrorSuccess;
}

uint32_t createFolder(std::u16string_view devicePath) {
    std::string host = hostPath(devicePath);
    if (::mkdir(host.c_str(), 0777) != 0) {
        return lastError(host);
    }
    return kErrorSuccess;
}

uint32_t removeFolder(std::u16string_view devicePath) {
    std::string host = hostPath(devicePath);
    if (host == deviceRoot() || host == "/") {
        return kErrorAccessDenied;
    }
    if (::rmdir(host.c_str()) != 0) {
        return errno == EEXIST ? kErrorDirNotEmpty : lastError(host);
    }
    return kErrorSuccess;
}

uint32_t deleteFile(std::u16string_view devicePath) {
    std::string host = hostPath(devicePath);
    if (isFolderAt(host)) {
        return kErrorAccessDenied;
    }
    if (::unlink(host.c_str()) != 0) {
        return lastError(host);
    }
    return kErrorSuccess;
}

uint32_t moveFile(std::u16string_view fromPath, std::u16string_view toPath) {
    std::string from = hostPath(fromPath);
    std::string to = hostPath(toPath);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        return lastError(from);
    }
    // rename() would replace an existing file; the handheld refuses instead. RENAME_NOREPLACE
    // makes the check and the move one step.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        return lastError(to);
    }
    return kErrorSuccess;
}

uint32_t getDiskFreeSpace(std::u16string_view devicePath, uint64_t& freeBytes,
                          uint64_t& totalBytes) {
    std::string host = hostPath(devicePath);
    struct statvfs vfs {};
    if (::statvfs(host.c_str(), &vfs) != 0) {
        return lastError(host);
    }
    freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return kErrorSuccess;
}

} // namespace tavik::platform
