#include "app/shell/FolderPath.h"

namespace tavik::app {

QString ParentFolder(const QString& folder) {
    if (folder == kRootFolder) {
        return kRootFolder;
    }
    const qsizetype cut = folder.lastIndexOf(QLatin1Char('\\'));
    if (cut < 2) {
        return kRootFolder;
    }
    return folder.left(cut);
}

QString ChildFolder(const QString& folder, const QString& name) {
    return ListingPath(folder) + QLatin1Char('\\') + name;
}

QString ListingPath(const QString& folder) {
    return folder == kRootFolder ? QString() : folder;
}

} // namespace tavik::app
