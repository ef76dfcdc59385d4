// One folder of the device's own file system as the local pane lists it: every folder (in the
// order the file system gives them), then every file, each as a row of the four columns:
//   folder: name, "폴더", "zzzzzzzz" for a mounted volume (a storage card, which so sorts after
//           every ordinary folder by "종류") else the folder's own name, date;
//   file:   name, size in bytes ("%d" of the low 32 bits), type text by name, date.
// The date is the last write time in local time (FormatListDate). The folder is a device path
// ("" is the device root); it is enumerated twice with the pattern "<path>\*.*", once for
// folders and once for files. A folder that cannot be read gives no rows.
// Threads: user-interface thread (icons).
#pragma once

#include "app/explorer/ListRow.h"

#include <vector>

namespace tavik::app {

inline const QString kStorageCardTypeText = QStringLiteral("zzzzzzzz");

// Without dotFiles, entries whose name begins with "." are left out.
std::vector<ListRow> ListLocalFolder(const QString& devicePath, bool dotFiles);

} // namespace tavik::app
