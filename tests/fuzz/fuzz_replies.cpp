// Feeds arbitrary reply items through every reader of the file operations: the reply's error and
// text, the file-information list, the read/write/seek counts, the directory entry name, the new
// folder's name and the file times.
//
// Input: byte 0 chooses the info type, byte 1 the buffer capacities; then items, each as
// <name selector> <length low> <length high> <value bytes>. A selector below the fixed names'
// count picks one of them; any other selector makes a numbered list item ("p%d" ...).
#include "sdk/core/CPacket.h"
#include "sdk/ops/CFileInfoList.h"
#include "sdk/ops/CommandExchange.h"
#include "sdk/ops/FileReplies.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const char* const kNames[] = {"error",         "errstr", "num",  "size", "data",
                              "file",          "path",   "hdir", "fd",   "lastaccesstime",
                              "lastwritetime", "p1",     "s1",   "t1",   "d1"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];
constexpr char kLetters[] = {'p', 's', 't', 'd'};

std::string itemName(uint8_t selector, const uint8_t*& at, const uint8_t* end) {
    if (selector < kNameCount) {
        return kNames[selector];
    }
    int number = at < end ? *at++ : 0;
    if (selector & 0x80) {
        number = -number; // also try names the list never asks for
    }
    return kLetters[selector % 4] + std::to_string(number);
}

void readAll(const tavik::CPacket& reply, int32_t infotype, int32_t capacity) {
    tavik::replyReport(reply);

    auto list = tavik::CFileInfoList::fromReply(reply, infotype);
    volatile size_t touched = 0;
    // "num" is the peer's claim; only the records the reply backs are held, and never more.
    const int32_t held = list->handle()->nCount;
    if (held < 0 || held > list->count()) {
        __builtin_trap();
    }
    for (int32_t i = 0; i < held; ++i) {
        const TAVIK_FILEINFO* entry = list->entry(i);
        if (entry == nullptr) {
            __builtin_trap();
        }
        for (const char16_t* text : {entry->pszName, entry->pszDate}) {
            for (const char16_t* c = text; c != nullptr && *c != 0; ++c) {
                touched = touched + 1;
            }
        }
    }

    tavik::countFromReply(reply);
    std::vector<uint8_t> bytes(static_cast<size_t>(capacity));
    tavik::Result<int32_t> read = tavik::readDataFromReply(reply, bytes.data(), capacity);
    if (read && (read.value() < 0 || read.value() > capacity)) {
        __builtin_trap(); // the count must never promise more than the buffer received
    }

    std::vector<char16_t> name(static_cast<size_t>(capacity) + 1, u'#');
    tavik::entryNameFromReply(reply, name.data(), capacity);
    tavik::newFolderNameFromReply(reply, u"/disk/docs", name.data(), capacity);
    if (name[static_cast<size_t>(capacity)] != u'#') {
        __builtin_trap(); // written past the capacity
    }

    DWORD access = 0;
    DWORD write = 0;
    tavik::fileTimesFromReply(reply, &access, &write);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int32_t infotype = data[0];
    const int32_t capacity = data[1] % 64;
    tavik::CPacket reply(2);
    const uint8_t* at = data + 2;
    const uint8_t* end = data + size;
    while (end - at >= 3) {
        const uint8_t selector = *at++;
        const std::string name = itemName(selector, at, end);
        if (end - at < 2) {
            break;
        }
        size_t length = at[0] | (static_cast<size_t>(at[1]) << 8);
        at += 2;
        if (length > static_cast<size_t>(end - at)) {
            length = static_cast<size_t>(end - at);
        }
        reply.SetData(name.c_str(), at, static_cast<uint32_t>(length));
        at += length;
    }
    readAll(reply, infotype, capacity);
    return 0;
}
