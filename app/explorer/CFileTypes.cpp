#include "app/explorer/CFileTypes.h"

#include <QFileIconProvider>
#include <QMimeDatabase>

namespace tavik::app {

CFileTypes& CFileTypes::Instance() {
    static CFileTypes types;
    return types;
}

namespace {

// Names that share everything after their first "." share a type; a name without one (a
// "Makefile", a "README") is its own key, since such names match by the whole name.
QString CacheKey(const QString& fileName) {
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.mid(dot).toLower();
}

} // namespace

const CFileTypes::Kind& CFileTypes::ForFileName(const QString& fileName) {
    const QString key = CacheKey(fileName);
    auto found = byKey_.constFind(key);
    if (found != byKey_.constEnd()) {
        return *found;
    }
    if (fileIcon_.isNull()) {
        fileIcon_ = QFileIconProvider().icon(QAbstractFileIconProvider::File);
    }
    Kind kind;
    kind.icon = fileIcon_;
    const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(fileName);
    if (!types.isEmpty()) {
        const QMimeType& type = types.first();
        kind.typeName = type.comment();
        QIcon themed = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        if (!themed.isNull()) {
            kind.icon = themed;
        }
    }
    return *byKey_.insert(key, kind);
}

const QIcon& CFileTypes::FolderIcon() {
    if (folderIcon_.isNull()) {
        folderIcon_ = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    }
    return folderIcon_;
}

} // namespace tavik::app
