#include "sdk/ops/CFileInfoList.h"

#include "platform/AnsiCodePage.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/ops/CFileInfoItemName.h"

#include <algorithm>

namespace tavik {

namespace {

constexpr char kFieldLetters[] = {'p', 's', 't', 'd'};
constexpr int32_t kFieldBits[] = {TAVIK_INFO_PATH, TAVIK_INFO_SIZE, TAVIK_INFO_TYPE,
                                  TAVIK_INFO_DATE};

bool carriesEntry(const CPacket& reply, int32_t infotype, int32_t number) {
    for (int field = 0; field < 4; ++field) {
        if ((infotype & kFieldBits[field]) != 0 &&
            !reply.Find(CFileInfoItemName(kFieldLetters[field], number).c_str()).empty()) {
            return true;
        }
    }
    return false;
}

// The number of records "num" asks for, as far as the reply can back it. Within the reply's item
// count the claim is taken as it stands (an entry may lack some of its items); above it the claim
// is impossible, and the list ends at the last entry the reply really carries. This keeps the
// allocation bounded by the packet size (at most 1 MiB of body) whatever the server claims.
int32_t recordCount(const CPacket& reply, int32_t infotype, int32_t claimed) {
    if (claimed <= 0) {
        return 0;
    }
    const int32_t items = reply.Count();
    if (claimed <= items) {
        return claimed;
    }
    for (int32_t number = items; number > 0; --number) {
        if (carriesEntry(reply, infotype, number)) {
            return number;
        }
    }
    return 0;
}

} // namespace

std::unique_ptr<CFileInfoList> CFileInfoList::fromReply(const CPacket& reply, int32_t infotype) {
    std::unique_ptr<CFileInfoList> list(new CFileInfoList());
    list->count_ = std::max(reply.GetInt("num", 0), 0);
    const int32_t count = recordCount(reply, infotype, list->count_);
    list->resize(count);
    // Entry by entry, in the order a server sends the items, so that each lookup finds its item
    // right after the previous one. Item i fills entry i-1.
    for (int32_t i = 1; i <= count; ++i) {
        TAVIK_FILEINFO& entry = list->entries_[static_cast<size_t>(i - 1)];
        const char* text = nullptr;
        if ((infotype & TAVIK_INFO_PATH) != 0 &&
            reply.GetString(CFileInfoItemName('p', i).c_str(), &text)) {
            entry.pszName = list->keepText(text);
        }
        if ((infotype & TAVIK_INFO_SIZE) != 0) {
            entry.dwSize = static_cast<DWORD>(reply.GetInt(CFileInfoItemName('s', i).c_str(), 0));
            list->keepWideSize(reply, i, count);
        }
        if ((infotype & TAVIK_INFO_TYPE) != 0) {
            entry.dwType = static_cast<DWORD>(reply.GetInt(CFileInfoItemName('t', i).c_str(), 0));
        }
        if ((infotype & TAVIK_INFO_DATE) != 0 &&
            reply.GetString(CFileInfoItemName('d', i).c_str(), &text)) {
            entry.pszDate = list->keepText(text);
        }
    }
    return list;
}

void CFileInfoList::keepWideSize(const CPacket& reply, int32_t number, int32_t count) {
    // Only an entry that "s%d" cannot describe carries one.
    if (entries_[static_cast<size_t>(number - 1)].dwSize != largefile::kClamped32) {
        return;
    }
    char name[24];
    largefile::entrySizeName(name, number);
    const std::optional<uint64_t> size = largefile::getU64(reply, name);
    if (!size) {
        return;
    }
    wideSizes_.resize(static_cast<size_t>(count), 0);
    wideSizes_[static_cast<size_t>(number - 1)] = *size;
}

std::optional<uint64_t> CFileInfoList::size64(int32_t index) const {
    if (index < 0 || index >= view_.nCount) {
        return std::nullopt;
    }
    const auto at = static_cast<size_t>(index);
    if (at < wideSizes_.size() && wideSizes_[at] != 0) {
        return wideSizes_[at];
    }
    return entries_[at].dwSize;
}

TAVIK_FILEINFO* CFileInfoList::entry(int32_t index) {
    if (index < 0 || index >= view_.nCount) {
        return nullptr;
    }
    return &entries_[static_cast<size_t>(index)];
}

void CFileInfoList::resize(int32_t count) {
    entries_.assign(static_cast<size_t>(count), TAVIK_FILEINFO{});
    view_.nCount = count;
    view_.pInfo = entries_.empty() ? nullptr : entries_.data();
}

char16_t* CFileInfoList::textRoom(size_t units) {
    return reinterpret_cast<char16_t*>(
        texts_.allocate((units + 1) * sizeof(char16_t), alignof(char16_t)));
}

const char16_t* CFileInfoList::keepText(const char* ansi) {
    const std::string_view text(ansi);
    // ASCII widens as it is, without building a string for each of thousands of entries.
    if (platform::isAscii(text)) {
        char16_t* kept = textRoom(text.size());
        *std::copy(text.begin(), text.end(), kept) = u'\0';
        return kept;
    }
    const std::u16string wide = platform::fromAnsi(text);
    char16_t* kept = textRoom(wide.size());
    *std::copy(wide.begin(), wide.end(), kept) = u'\0';
    return kept;
}

} // namespace tavik
