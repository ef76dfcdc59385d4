#include "app/explorer/LocalNames.h"

#include "app/shell/CLanguage.h"
#include "platform/LocalFileSystem.h"

namespace tavik::app {

bool IsSingleLocalName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        return false;
    }
    for (const QChar c : name) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c.isNull()) {
            return false;
        }
    }
    return true;
}

bool IsSingleRemoteName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        return false;
    }
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

std::optional<QString> EntryInFolder(const QString& folder, const QString& name) {
    if (!IsSingleLocalName(name)) {
        return std::nullopt;
    }
    const QString entry = folder + QLatin1Char('\\') + name;
    // The host's own view of both paths: the entry must be the folder plus exactly this name,
    // whatever the folder's text held.
    std::string expected = platform::hostPath(folder.toStdU16String());
    if (expected != "/") {
        expected += '/';
    }
    expected += name.toStdString();
    if (platform::hostPath(entry.toStdU16String()) != expected) {
        return std::nullopt;
    }
    return entry;
}

QString UnusableNameText(const QString& name) {
    QString shown = name;
    shown.replace(QChar(0), QStringLiteral("\\0"));
    return CLanguage::Tr(QStringLiteral("\"%1\" 은(는) 이 기기의 파일 이름으로 쓸 수 없습니다."))
        .arg(shown);
}

} // namespace tavik::app
