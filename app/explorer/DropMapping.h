// What a drop onto one of the panes does, decided from the dropped data alone:
// - rows dragged from the other pane (kRowsMimeType: the pane they came from and their names):
//   remote rows onto the local pane download them, local rows onto the remote pane upload them
//   (only while a disk's folder is shown there); rows dropped on their own pane do nothing;
// - files and folders from the desktop's file manager (text/uri-list, local files only): onto
//   the remote pane, while a folder is shown, they are uploaded into it; onto the local pane
//   they are copied into the device folder shown.
// Anything else is no action.
// Threads: any.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QMimeData;

namespace tavik::app {

inline const QString kRowsMimeType = QStringLiteral("application/x-tavik-rows");

// The rows of a pane as drag data: "remote" or "local", then one name per line.
QByteArray EncodeRows(bool fromRemote, const QStringList& names);

struct DropAction {
    enum class Kind { None, Upload, Download, UploadFromDesktop, CopyFromDesktop };
    Kind kind = Kind::None;
    QStringList names;     // rows of the source pane (Upload, Download)
    QStringList hostPaths; // files and folders of this machine (the desktop kinds)
};

DropAction MapDrop(const QMimeData& data, bool ontoRemote, bool remoteFolderShown);

} // namespace tavik::app
