#include "sdk/ops/FileReplies.h"

#include "platform/AnsiCodePage.h"
#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tavik {

ErrorReport failureAfterReply(const ErrorReport& replyReport, const ErrorReport& failure) {
    return {failure.code, failure.text ? failure.text : replyReport.text};
}

ErrorReport wrongPacket() {
    return ErrorReport::withText(TAVIK_ERR_WRONG_PACKET, u"wrong packet");
}

Result<int32_t> countFromReply(const CPacket& reply) {
    int32_t count = 0;
    if (!reply.GetInt("size", &count) || count < 0) {
        return Result<int32_t>::fail(wrongPacket());
    }
    return Result<int32_t>::ok(count);
}

Result<int32_t> readDataFromReply(const CPacket& reply, void* buffer, int32_t capacity) {
    Result<int32_t> count = countFromReply(reply);
    if (!count) {
        return count;
    }
    std::span<const uint8_t> data = reply.Find("data");
    const size_t copied = std::min(data.size(), static_cast<size_t>(std::max(capacity, 0)));
    if (copied > 0) {
        std::memcpy(buffer, data.data(), copied);
    }
    return Result<int32_t>::ok(std::min(count.value(), static_cast<int32_t>(copied)));
}

Result<Done> entryNameFromReply(const CPacket& reply, char16_t* buffer, int32_t capacity) {
    const std::u16string name = platform::fromAnsi(reply.GetString("file", ""));
    if (capacity <= 0 || name.size() >= static_cast<size_t>(capacity)) {
        return Result<Done>::fail(ErrorReport::codeOnly(TAVIK_ERR_NOT_ENOUGH_BUFFER));
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = u'\0';
    return Result<Done>::ok(Done{});
}

Result<Done> newFolderNameFromReply(const CPacket& reply, std::u16string_view basePath,
                                    char16_t* buffer, int32_t capacity) {
    const std::u16string path = platform::fromAnsi(reply.GetString("path", ""));
    const size_t nameStart = basePath.size() + 1; // the separator after the base path
    if (path.size() <= nameStart) {
        return Result<Done>::fail(wrongPacket());
    }
    const std::u16string_view name = std::u16string_view(path).substr(nameStart);
    const size_t units = static_cast<size_t>(std::max(capacity, 0));
    const size_t copied = std::min(name.size(), units);
    std::copy_n(name.begin(), copied, buffer);
    std::fill(buffer + copied, buffer + units, u'\0');
    return Result<Done>::ok(Done{});
}

void fileTimesFromReply(const CPacket& reply, DWORD* lastAccess, DWORD* lastWrite) {
    int32_t value = 0;
    if (lastAccess != nullptr && reply.GetInt("lastaccesstime", &value)) {
        *lastAccess = static_cast<DWORD>(value);
    }
    if (lastWrite != nullptr && reply.GetInt("lastwritetime", &value)) {
        *lastWrite = static_cast<DWORD>(value);
    }
}

} // namespace tavik
