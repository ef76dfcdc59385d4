#include "sdk/ops/CFileInfoList.h"

#include "platform/AnsiCodePage.h"

namespace tavik {

namespace {

// The item of entry number (1-based) for one field letter: "p1", "s2", ...
std::string itemName(char letter, int32_t number) {
    return letter + std::to_string(number);
}

constexpr char kFieldLetters[] = {'p', 's', 't', 'd'};
constexpr int32_t kFieldBits[] = {TAVIK_INFO_PATH, TAVIK_INFO_SIZE, TAVIK_INFO_TYPE,
                                  TAVIK_INFO_DATE};

bool carriesEntry(const CPacket& reply, int32_t infotype, int32_t number) {
    for (int field = 0; field < 4; ++field) {
        if ((infotype & kFieldBits[field]) != 0 &&
            !reply.Find(itemName(kFieldLetters[field], number).c_str()).empty()) {
            return true;
        }
    }
    return false;
}

// "num" as far as the reply can back it. Within the reply's item count the claim is taken as it
// stands (an entry may lack some of its items); above it the claim is impossible, and the list
// ends at the last entry the reply really carries. This keeps the allocation bounded by the
// packet size (at most 1 MiB of body) whatever the server claims.
int32_t entryCount(const CPacket& reply, int32_t infotype) {
    const int32_t claimed = reply.GetInt("num", 0);
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
    const int32_t count = entryCount(reply, infotype);
    list->resize(count);
    // One pass per field, in the order path, size, type, date; item i fills entry i-1.
    if ((infotype & TAVIK_INFO_PATH) != 0) {
        for (int32_t i = 1; i <= count; ++i) {
            const char* text = nullptr;
            if (reply.GetString(itemName('p', i).c_str(), &text)) {
                list->entries_[i - 1].pszName = list->keepText(text);
            }
        }
    }
    if ((infotype & TAVIK_INFO_SIZE) != 0) {
        for (int32_t i = 1; i <= count; ++i) {
            list->entries_[i - 1].dwSize =
                static_cast<DWORD>(reply.GetInt(itemName('s', i).c_str(), 0));
        }
    }
    if ((infotype & TAVIK_INFO_TYPE) != 0) {
        for (int32_t i = 1; i <= count; ++i) {
            list->entries_[i - 1].dwType =
                static_cast<DWORD>(reply.GetInt(itemName('t', i).c_str(), 0));
        }
    }
    if ((infotype & TAVIK_INFO_DATE) != 0) {
        for (int32_t i = 1; i <= count; ++i) {
            const char* text = nullptr;
            if (reply.GetString(itemName('d', i).c_str(), &text)) {
                list->entries_[i - 1].pszDate = list->keepText(text);
            }
        }
    }
    return list;
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

const char16_t* CFileInfoList::keepText(const char* ansi) {
    texts_.push_back(platform::fromAnsi(ansi));
    return texts_.back().c_str();
}

} // namespace tavik
