// How the folder chooser steps through device folders: "\" is the root (listed as the empty
// path), every other folder is "\a\b" without a trailing "\".
// Threads: any.
#pragma once

#include <QString>

namespace tavik::app {

inline const QString kRootFolder = QStringLiteral("\\");

// The parent of a folder: the text before its last "\", the root when that cut lies below index
// 2 ("\Program Files" → "\"). The root's parent is the root.
QString ParentFolder(const QString& folder);
// A sub-folder of a folder ("\" + name under the root).
QString ChildFolder(const QString& folder, const QString& name);
// The device path that lists a folder (the root lists as "").
QString ListingPath(const QString& folder);

} // namespace tavik::app
