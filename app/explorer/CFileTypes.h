// Type names and icons of files decided by the file name alone, as the panes need them: the
// platform's MIME database matched against the name (no file is opened or even looked up) and
// the icon theme's icon for that type. What it answers is cached per extension, so listing
// thousands of rows costs one lookup per kind of file.
//
// A name the database does not know gets an empty type name (the panes then show "파일" or
// "XYZ 파일") and the generic file icon. Folders always get the folder icon.
// Where the desktop has no icon theme (or the theme lacks the type), folders, text, images,
// audio, video, archives and documents get icons of our own, drawn from vector art so they are
// sharp at any scale.
// Threads: user-interface thread (icons are GUI objects).
#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeType>
#include <QString>

namespace tavik::app {

class CFileTypes {
public:
    struct Kind {
        QString typeName; // the platform's name for the type; empty when unknown
        QIcon icon;
    };

    // The process's cache.
    static CFileTypes& Instance();

    const Kind& ForFileName(const QString& fileName);
    const QIcon& FolderIcon();

    // Which of our own icons a type gets: "text", "image", "audio", "video", "archive",
    // "document", or empty for none.
    static QString FallbackKind(const QMimeType& type);
    // Our own icon of a kind ("folder" or one FallbackKind gives); null for another name.
    static QIcon FallbackIcon(const QString& kind);

private:
    QHash<QString, Kind> byKey_;
    QIcon folderIcon_;
    QIcon fileIcon_;
};

} // namespace tavik::app
