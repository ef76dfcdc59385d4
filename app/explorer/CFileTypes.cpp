#include "app/explorer/CFileTypes.h"

#include <QFile>
#include <QFileIconProvider>
#include <QMimeDatabase>

#include <array>

// Resources of a static library are registered by name, outside any namespace.
static void InitTypeIcons() {
    Q_INIT_RESOURCE(types);
}

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

// Types whose own names say little: the archive and document formats people meet every day.
constexpr std::array kArchiveTypes = {
    "application/zip",     "application/x-tar",        "application/gzip",
    "application/x-bzip2", "application/x-xz",         "application/x-7z-compressed",
    "application/vnd.rar", "application/x-rar",        "application/x-compressed-tar",
    "application/x-zstd",  "application/x-lzma",       "application/x-archive",
    "application/x-cpio",  "application/java-archive",
};
constexpr std::array kDocumentTypes = {
    "application/pdf",
    "application/msword",
    "application/rtf",
    "application/vnd.ms-excel",
    "application/vnd.ms-powerpoint",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation",
    "application/vnd.oasis.opendocument.text",
    "application/vnd.oasis.opendocument.spreadsheet",
    "application/vnd.oasis.opendocument.presentation",
    "application/epub+zip",
};

template <size_t N>
bool InheritsAny(const QMimeType& type, const std::array<const char*, N>& names) {
    for (const char* name : names) {
        if (type.inherits(QString::fromLatin1(name))) {
            return true;
        }
    }
    return false;
}

} // namespace

QString CFileTypes::FallbackKind(const QMimeType& type) {
    if (!type.isValid()) {
        return {};
    }
    // Documents first: several of them are archives underneath (a .docx is a zip).
    if (InheritsAny(type, kDocumentTypes)) {
        return QStringLiteral("document");
    }
    if (InheritsAny(type, kArchiveTypes)) {
        return QStringLiteral("archive");
    }
    for (const char* media : {"image", "audio", "video", "text"}) {
        if (type.name().startsWith(QString::fromLatin1(media) + QLatin1Char('/'))) {
            return QString::fromLatin1(media);
        }
    }
    // Program sources and the like are text underneath.
    return type.inherits(QStringLiteral("text/plain")) ? QStringLiteral("text") : QString();
}

QIcon CFileTypes::FallbackIcon(const QString& kind) {
    InitTypeIcons();
    static QHash<QString, QIcon> icons;
    auto found = icons.constFind(kind);
    if (found != icons.constEnd()) {
        return *found;
    }
    const QString path = QStringLiteral(":/types/%1.svg").arg(kind);
    return *icons.insert(kind, QFile::exists(path) ? QIcon(path) : QIcon());
}

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
        if (themed.isNull()) {
            themed = FallbackIcon(FallbackKind(type));
        }
        if (!themed.isNull()) {
            kind.icon = themed;
        }
    }
    return *byKey_.insert(key, kind);
}

const QIcon& CFileTypes::FolderIcon() {
    if (folderIcon_.isNull()) {
        folderIcon_ = QIcon::hasThemeIcon(QStringLiteral("folder"))
                          ? QFileIconProvider().icon(QAbstractFileIconProvider::Folder)
                          : FallbackIcon(QStringLiteral("folder"));
    }
    return folderIcon_;
}

} // namespace tavik::app
