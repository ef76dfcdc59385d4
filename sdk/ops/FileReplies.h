// How the file operations read a reply with error 0. Each is a pure function of the reply and the
// caller's arguments (no I/O, no state), so that any reply a server can send is safe to read.
#pragma once

#include "sdk/core/CPacket.h"
#include "sdk/core/Result.h"
#include "sdk/include/TavikFiles.h"

#include <cstdint>
#include <string_view>

namespace tavik {

// The report of a failure found while reading a reply: the failure's code, and its text or, when
// it names none, the text the reply left (the reply's "errstr" has been stored by then).
ErrorReport failureAfterReply(const ErrorReport& replyReport, const ErrorReport& failure);

// 21003 "wrong packet": a reply with error 0 that lacks what the operation must return.
ErrorReport wrongPacket();

// The "size" of a "writefile" or "seekfile" reply. A reply without it, or with a negative one,
// gives no count to return: wrongPacket.
Result<int32_t> countFromReply(const CPacket& reply);

// A "readfile" reply: copies "data" into buffer, at most capacity bytes (a reply without "data"
// leaves it alone), and returns the reply's "size", but never more than the bytes copied, so a
// caller that trusts the count never reads past what it received. No "size": wrongPacket, buffer
// untouched.
Result<int32_t> readDataFromReply(const CPacket& reply, void* buffer, int32_t capacity);

// A "readdir" reply: "file" (empty when absent) with its terminator into buffer when it fits
// capacity units; otherwise 24003 (no text) and the buffer untouched.
Result<Done> entryNameFromReply(const CPacket& reply, char16_t* buffer, int32_t capacity);

// A "createdir" reply to "basepath": "path" is the base path, a separator and the new name. The
// name goes into buffer with the semantics of a bounded wide-string copy over capacity units.
// A path without a name after the base path and separator: wrongPacket, buffer untouched.
Result<Done> newFolderNameFromReply(const CPacket& reply, std::u16string_view basePath,
                                    char16_t* buffer, int32_t capacity);

// A "getfiletime" reply: each time into its word when the pointer is set and the item is there.
void fileTimesFromReply(const CPacket& reply, DWORD* lastAccess, DWORD* lastWrite);

} // namespace tavik
