// A file-information list: the entries of one "getfileinfo" reply, with the texts they point to.
// The handle the caller sees is the TAVIK_FILEINFO_LIST inside; entry pointers and their texts
// stay valid for the life of the object.
#pragma once

#include "sdk/core/CByteArena.h"
#include "sdk/core/CPacket.h"
#include "sdk/include/TavikFiles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavik {

class CFileInfoList {
public:
    // The list a reply with error 0 describes. "num" comes from the network and is not trusted:
    // a negative count gives an empty list, and a count above the number of items the reply holds
    // (no reply can describe more entries than it has items) is cut down to the highest entry
    // the reply actually carries.
    static std::unique_ptr<CFileInfoList> fromReply(const CPacket& reply, int32_t infotype);

    CFileInfoList(const CFileInfoList&) = delete;
    CFileInfoList& operator=(const CFileInfoList&) = delete;

    TAVIK_FILEINFO_LIST* handle() { return &view_; }
    int32_t count() const { return view_.nCount; }
    // Entry index, or null outside 0..count-1.
    TAVIK_FILEINFO* entry(int32_t index);

private:
    CFileInfoList() = default;
    void resize(int32_t count);
    const char16_t* keepText(const char* ansi);
    // Room in texts_ for that many UTF-16 units and a terminator.
    char16_t* textRoom(size_t units);

    TAVIK_FILEINFO_LIST view_{};
    std::vector<TAVIK_FILEINFO> entries_;
    CByteArena texts_; // the entries' texts, which never move once kept
};

} // namespace tavik
