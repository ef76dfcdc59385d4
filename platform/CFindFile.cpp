#include "platform/CFindFile.h"

#include "platform/Utf8.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace tavik::platform {

namespace {

char16_t foldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

} // namespace

CFindFile::~CFindFile() {
    Close();
}

void CFindFile::Close() {
    if (dir_ != nullptr) {
        ::closedir(static_cast<DIR*>(dir_));
        dir_ = nullptr;
    }
}

bool CFindFile::Matches(std::u16string_view pattern, std::u16string_view name) {
    // Greedy matching with one backtrack point: the last '*' seen.
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::u16string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

bool CFindFile::First(std::u16string_view pattern) {
    Close();
    size_t cut = pattern.find_last_of(u"\\/");
    std::u16string_view folder = cut == std::u16string_view::npos ? u"" : pattern.substr(0, cut);
    namePattern_ = cut == std::u16string_view::npos ? pattern : pattern.substr(cut + 1);
    if (namePattern_ == u"*.*") {
        namePattern_ = u"*"; // the handheld's "every entry", dots or not
    }
    folderHostPath_ = hostPath(folder);
    DIR* dir = ::opendir(folderHostPath_.c_str());
    if (dir == nullptr) {
        int err = errno;
        error_ = err == ENOENT ? kErrorPathNotFound : fileErrorFromErrno(err, folderHostPath_);
        return false;
    }
    dir_ = dir;
    struct stat folderStat {};
    folderDevice_ = ::stat(folderHostPath_.c_str(), &folderStat) == 0 ? folderStat.st_dev : 0;
    if (!advance()) {
        if (error_ == kErrorNoMoreFiles) {
            error_ = kErrorFileNotFound;
        }
        return false;
    }
    return true;
}

bool CFindFile::Next() {
    if (dir_ == nullptr) {
        error_ = kErrorNoMoreFiles;
        return false;
    }
    return advance();
}

bool CFindFile::advance() {
    auto* dir = static_cast<DIR*>(dir_);
    for (;;) {
        errno = 0;
        struct dirent* ent = ::readdir(dir);
        if (ent == nullptr) {
            error_ = errno == 0 ? kErrorNoMoreFiles : fileErrorFromErrno(errno, folderHostPath_);
            return false;
        }
        std::string_view raw(ent->d_name);
        if (raw == "." || raw == "..") {
            continue;
        }
        std::u16string name = utf16FromUtf8(raw);
        if (!Matches(namePattern_, name)) {
            continue;
        }
        std::string host = folderHostPath_ == "/" ? "/" + std::string(raw)
                                                  : folderHostPath_ + "/" + std::string(raw);
        struct stat st {};
        if (::stat(host.c_str(), &st) != 0 && ::lstat(host.c_str(), &st) != 0) {
            continue; // vanished since readdir
        }
        entry_.name = std::move(name);
        entry_.info = LocalFileInfo{};
        entry_.info.isFolder = S_ISDIR(st.st_mode);
        entry_.info.size = entry_.info.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
        entry_.info.lastWriteTime = st.st_mtim.tv_sec;
        entry_.info.isTemporary = entry_.info.isFolder && st.st_dev != folderDevice_;
        error_ = kErrorSuccess;
        return true;
    }
}

} // namespace tavik::platform
