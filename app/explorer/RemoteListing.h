// One folder of a remote disk as the remote pane lists it, through the library's file
// information lists (each one request to the disk server):
//   1. the folders (info type 62, one level); record 0 is the listed folder itself and is
//      skipped. A failure here fails the listing with the library's error code and text.
//   2. the files (info type 61, one level); a failure counts as no files, silently.
// Rows: folders first, then files, in the order the library returns them; columns
//   folder: name, "폴더", "", the record's date text;
//   file:   name, "%d" of dwSize, type text by name alone, the record's date text.
// Names come from the records' full paths (RemoteRowName). Every list is closed.
// Threads: user-interface thread; the session is the document's.
#pragma once

#include "app/explorer/ListRow.h"

#include "sdk/include/TavikTypes.h"

#include <vector>

namespace tavik::app {

inline constexpr int kInfoTypeFolders = 62;
inline constexpr int kInfoTypeFiles = 61;

struct RemoteListing {
    bool ok = false;
    int errorCode = 0; // tavik_GetLastError after a failed folder listing
    QString errorText; // tavik_GetLastErrStr then
    std::vector<ListRow> rows;
};

RemoteListing ListRemoteFolder(TAVIK_SESSION session, const QString& folderPath);

} // namespace tavik::app
