// A file-information list: the entries of one "getfileinfo" reply, with the texts they point to.
// The handle the caller sees is the TAVIK_FILEINFO_LIST inside; entry pointers and their texts
// stay valid for the life of the object.
#pragma once

#include "sdk/core/CByteArena.h"
#include "sdk/core/CPacket.h"
#include "sdk/include/TavikFiles.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavik {

class CFileInfoList {
public:
    // The list a reply with error 0 describes. Its count is the reply's "num" as sent (0 when
    // negative): a count-only reply (recursion level -1, or an infotype asking for no fields)
    // carries nothing but that number. "num" comes from the network, so records are allocated
    // only as far as the reply can back them: up to "num" when the reply holds at least that many
    // items, else up to the highest entry it actually carries. The handle's nCount is the number
    // of records, so that walking pInfo never leaves the array.
    static std::unique_ptr<CFileInfoList> fromReply(const CPacket& reply, int32_t infotype);

    CFileInfoList(const CFileInfoList&) = delete;
    CFileInfoList& operator=(const CFileInfoList&) = delete;

    TAVIK_FILEINFO_LIST* handle() { return &view_; }
    // The reply's "num".
    int32_t count() const { return count_; }
    // Entry index, or null outside the records held (0..handle()->nCount-1).
    TAVIK_FILEINFO* entry(int32_t index);
    // Entry index's size: the reply's 64-bit "s64_%d" when it carried one, else dwSize; nullopt
    // outside the records held.
    std::optional<uint64_t> size64(int32_t index) const;

private:
    CFileInfoList() = default;
    void resize(int32_t count);
    // Keeps entry number's (from 1) 64-bit size when its "s%d" is clamped and the reply
    // carries "s64_<number>".
    void keepWideSize(const CPacket& reply, int32_t number, int32_t count);
    const char16_t* keepText(const char* ansi);
    // Room in texts_ for that many UTF-16 units and a terminator.
    char16_t* textRoom(size_t units);

    TAVIK_FILEINFO_LIST view_{};
    int32_t count_ = 0;
    std::vector<TAVIK_FILEINFO> entries_;
    // Only for replies that carry 64-bit sizes (empty otherwise): one per record, 0 where the
    // entry has none.
    std::vector<uint64_t> wideSizes_;
    CByteArena texts_; // the entries' texts, which never move once kept
};

} // namespace tavik
