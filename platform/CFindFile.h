// Enumerates one folder of the device's file system, like the handheld's find-first/find-next:
// the pattern is a folder path followed by a name pattern ("\Docs\*", "\Docs\*.txt"), in which
// '*' matches any run and '?' any one character, compared without regard to ASCII case. "." and
// ".." are never returned. Entries are read as the enumeration goes, so an entry added or removed
// meanwhile may or may not be seen. Error codes as in LocalFileSystem.h; the end of the folder is
// 18 (no more files). One thread at a time.
#pragma once

#include "platform/LocalFileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::platform {

struct FoundEntry {
    std::u16string name; // the entry's own name, without its folder
    LocalFileInfo info;
};

class CFindFile {
public:
    CFindFile() = default;
    ~CFindFile();
    CFindFile(const CFindFile&) = delete;
    CFindFile& operator=(const CFindFile&) = delete;

    // Opens the folder and moves to the first matching entry. False with 3 when the folder does
    // not exist, 5 when it cannot be read, 2 when nothing matches.
    bool First(std::u16string_view pattern);
    // Moves to the next matching entry; false with 18 at the end, or another code.
    bool Next();
    void Close();
    const FoundEntry& entry() const { return entry_; }
    uint32_t error() const { return error_; }

    // Whether a name matches a pattern of '*' and '?' (ASCII case ignored).
    static bool Matches(std::u16string_view pattern, std::u16string_view name);

private:
    bool advance();

    void* dir_ = nullptr; // DIR*
    std::string folderHostPath_;
    uint64_t folderDevice_ = 0; // entries on another device are mount points
    std::u16string namePattern_;
    FoundEntry entry_;
    uint32_t error_ = 0;
};

} // namespace tavik::platform
