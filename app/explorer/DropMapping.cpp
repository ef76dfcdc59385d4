#include "app/explorer/DropMapping.h"

#include <QMimeData>
#include <QUrl>

namespace tavik::app {

namespace {

constexpr char kFromRemote[] = "remote";
constexpr char kFromLocal[] = "local";

} // namespace

QByteArray EncodeRows(bool fromRemote, const QStringList& names) {
    QStringList lines{QLatin1String(fromRemote ? kFromRemote : kFromLocal)};
    lines.append(names);
    return lines.join(QLatin1Char('\n')).toUtf8();
}

DropAction MapDrop(const QMimeData& data, bool ontoRemote, bool remoteFolderShown) {
    DropAction action;
    if (data.hasFormat(kRowsMimeType)) {
        QStringList lines = QString::fromUtf8(data.data(kRowsMimeType)).split(QLatin1Char('\n'));
        const QString from = lines.isEmpty() ? QString() : lines.takeFirst();
        lines.removeAll(QString());
        const bool fromRemote = from == QLatin1String(kFromRemote);
        if (lines.isEmpty() || !remoteFolderShown ||
            (!fromRemote && from != QLatin1String(kFromLocal)) || fromRemote == ontoRemote) {
            return action;
        }
        action.kind = fromRemote ? DropAction::Kind::Download : DropAction::Kind::Upload;
        action.names = lines;
        return action;
    }
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            action.hostPaths.append(url.toLocalFile());
        }
    }
    if (action.hostPaths.isEmpty() || (ontoRemote && !remoteFolderShown)) {
        action.hostPaths.clear();
        return action;
    }
    action.kind =
        ontoRemote ? DropAction::Kind::UploadFromDesktop : DropAction::Kind::CopyFromDesktop;
    return action;
}

} // namespace tavik::app
