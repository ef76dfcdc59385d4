#include "app/explorer/PaneText.h"

namespace tavik::app {

QString StripArrow(const QString& text) {
    QString stripped = text;
    stripped.remove(kArrowSuffix);
    return stripped;
}

namespace {

QString TrimLeadingBlanks(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text[start] == QLatin1Char(' ')) {
        ++start;
    }
    return text.mid(start);
}

} // namespace

QString RemoteFolderPath(const QString& sessionPath, const QString& remoteBarPath) {
    QString rest = remoteBarPath;
    rest.remove(QLatin1Char('/') + kRemoteRootComponent);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'), 1);
    rest = slash < 0 ? QString() : rest.mid(slash);
    return sessionPath + TrimLeadingBlanks(rest);
}

QString DevicePathOfLocalBar(const QString& localBarPath) {
    QString rest = StripArrow(localBarPath);
    rest.remove(QLatin1Char('\\') + kLocalRootComponent);
    return TrimLeadingBlanks(rest);
}

QString RemoteRowName(const QString& fullPath, const QString& folderPath) {
    // Only the folder at the front is removed: a name that happens to contain the folder's text
    // ("/demo/demo.txt" listed in "/demo") keeps it.
    QString name;
    if (!folderPath.isEmpty() && fullPath.startsWith(folderPath)) {
        name = fullPath.mid(folderPath.size());
    } else {
        QString trimmed = fullPath;
        while (trimmed.endsWith(QLatin1Char('/'))) {
            trimmed.chop(1);
        }
        name = trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
    }
    name.remove(QLatin1Char('/'));
    return name;
}

QString FileTypeText(const QString& fileName, const QString& platformTypeName) {
    if (!platformTypeName.isEmpty()) {
        return platformTypeName;
    }
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return QStringLiteral("파일");
    }
    return fileName.mid(dot + 1).toUpper() + QStringLiteral(" 파일");
}

QString FormatListDate(const QDateTime& localTime) {
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    int hour = time.hour();
    const bool afternoon = hour > 12;
    if (afternoon) {
        hour -= 12;
    }
    return QString::asprintf("%.4d-%.2d-%.2d %s %.2d:%.2d", date.year(), date.month(), date.day(),
                             afternoon ? "PM" : "AM", hour, time.minute());
}

QString PathButtonText(const QString& component,
                       const std::function<int(const QString&)>& textWidth) {
    const QString text = component + kArrowSuffix;
    if (textWidth(text) <= kPathButtonMaxWidth) {
        return text;
    }
    return text.left(kPathButtonCutLength) + QStringLiteral("...▼");
}

} // namespace tavik::app
