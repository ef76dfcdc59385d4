#include "app/explorer/FileOperationText.h"

#include "app/shell/CLanguage.h"
#include "app/shell/CMessageBox.h"

#include "platform/CFindFile.h"
#include "platform/LocalFileSystem.h"

#include <filesystem>
#include <vector>

namespace tavik::app {

QString CannotCreateFolderText(const QString& devicePath) {
    return CLanguage::Tr(QStringLiteral("\"%1\" 에 디렉토리를 만들 수 없습니다.")).arg(devicePath);
}

QString LocalNewFolderName(int attempt) {
    if (attempt == 0) {
        return QStringLiteral("새 폴더");
    }
    return QStringLiteral("새 폴더 (%1)").arg(attempt);
}

bool HasForbiddenNameChar(const QString& name) {
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    for (QChar c : name) {
        if (forbidden.contains(c)) {
            return true;
        }
    }
    return false;
}

RenameFailure RemoteRenameFailure(bool folder) {
    return {folder ? QStringLiteral("지정한 이름을 가진 폴더가 존재합니다.")
                   : QStringLiteral("지정한 이름을 가진 파일이 존재합니다."),
            MB_ICONINFORMATION};
}

RenameFailure LocalRenameFailure(uint32_t error, bool folder) {
    if (error == platform::kErrorAlreadyExists) {
        return RemoteRenameFailure(folder);
    }
    if (error == platform::kErrorAccessDenied) {
        return {folder ? QStringLiteral("해당폴더에 접근할수 없습니다.")
                       : QStringLiteral("해당파일에 접근할수 없습니다."),
                MB_ICONERROR};
    }
    return {folder ? QStringLiteral("해당폴더를 변경하는도중 문제가 발생했습니다.")
                   : QStringLiteral("해당파일를 변경하는도중 문제가 발생했습니다."),
            MB_ICONERROR};
}

uint32_t DeleteLocalTree(const QString& devicePath) {
    // A link to a folder goes as a link: its target may lie anywhere, even outside the device.
    const std::string self = platform::hostPath(devicePath.toStdU16String());
    std::error_code linkError;
    if (std::filesystem::is_symlink(self, linkError)) {
        return std::filesystem::remove(self, linkError)
                   ? platform::kErrorSuccess
                   : platform::fileErrorFromErrno(linkError.value(), self);
    }
    // The entries are collected first: deleting while the folder is being read may skip some.
    std::vector<platform::FoundEntry> entries;
    {
        platform::CFindFile find;
        const std::u16string pattern = (devicePath + QStringLiteral("\\*.*")).toStdU16String();
        for (bool more = find.First(pattern); more; more = find.Next()) {
            entries.push_back(find.entry());
        }
    }
    for (const platform::FoundEntry& entry : entries) {
        const QString path = devicePath + QLatin1Char('\\') + QString::fromStdU16String(entry.name);
        // A link goes as a link: following it would delete what lies outside the tree.
        const std::string host = platform::hostPath(path.toStdU16String());
        std::error_code error;
        if (std::filesystem::is_symlink(host, error)) {
            std::filesystem::remove(host, error);
            continue;
        }
        // A mount point inside the tree is left alone: its contents are another volume's.
        if (entry.info.isFolder && !entry.info.isTemporary) {
            DeleteLocalTree(path);
        } else if (!entry.info.isFolder) {
            platform::deleteFile(path.toStdU16String());
        }
    }
    return platform::removeFolder(devicePath.toStdU16String());
}

} // namespace tavik::app
