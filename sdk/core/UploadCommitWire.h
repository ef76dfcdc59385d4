// Items of the upload-commit extension of the remote-disk protocol, shared with the reference
// server. A client offers it with kOfferItem = kOfferVersion in its "setuser" request; a server
// that knows it answers with the same item in the login reply. Only then may an "upload" request
// carry kPathItem (and with it kTimeItem and kReplaceItem): once every byte of the range has
// arrived, the server gives the uploaded file that modification time and renames it to that
// path, and says so with kDoneItem = 1 in the closing reply. An upload cut short is left where it
// was written, never renamed. A closing reply without kDoneItem means that nothing was committed
// (the client then sets the time and renames with the protocol's own requests). A peer that
// knows nothing of the extension ignores every item named here.
#pragma once

#include <cstdint>

namespace tavik::uploadcommit {

inline constexpr const char* kOfferItem = "uploadcommit";
inline constexpr int32_t kOfferVersion = 1;

// "upload" request: where the finished file goes (a string item, ANSI, like "path").
inline constexpr const char* kPathItem = "commitpath";
// "upload" request: the modification time to give it (integer item, seconds since 1970 read as
// unsigned 32 bits; 0 leaves the time the writing gave it).
inline constexpr const char* kTimeItem = "committime";
// "upload" request: 1 when a file already under kPathItem is replaced; otherwise the commit
// fails with 23005 (exists) and the upload stays under its own name.
inline constexpr const char* kReplaceItem = "commitreplace";
// Closing reply: 1 when the file was renamed (and its time set).
inline constexpr const char* kDoneItem = "committed";

} // namespace tavik::uploadcommit
