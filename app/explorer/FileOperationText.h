// The decisions and texts of the file operations that need no screen: default names of new
// local folders, the forbidden name characters, the rename error texts by platform error, the
// delete questions, the length limit of rename paths, and the local folder tree deletion.
// Threads: any.
#pragma once

#include <QString>

#include <cstdint>

namespace tavik::app {

inline const QString kFolderExistsText = QStringLiteral("같은 이름의 폴더가 이미 존재 합니다.");
inline const QString kNewFolderFailedText =
    QStringLiteral("새 폴더를 만드는데 오류가 발생하였습니다");
// "\"%s\" 에 디렉토리를 만들 수 없습니다." with the device path.
QString CannotCreateFolderText(const QString& devicePath);
inline const QString kForbiddenNameText =
    QStringLiteral("파일이름에 다음 문자가 올 수 없습니다.\n\t\\ / : * ? \" < > |");
inline const QString kDeleteFileQuestion = QStringLiteral("해당 파일을 삭제하시겠습니까?");
inline const QString kDeleteFolderQuestion =
    QStringLiteral("해당 폴더와 폴더 내의 모든 파일을 삭제하시겠습니까?");
// Our own, for a path the rename buffers cannot hold.
inline const QString kRenamePathTooLongText =
    QStringLiteral("경로가 너무 길어서 이름을 바꿀 수 없습니다. 더 짧은 이름을 사용하십시오.");

// Remote error: a folder of that name exists already.
inline constexpr int kRemoteFolderExistsError = 23005;
// Rename paths are held in buffers of this many wide characters, the terminator included.
inline constexpr int kRenamePathChars = 260;

// "새 폴더" for 0, else "새 폴더 (%d)".
QString LocalNewFolderName(int attempt);

// Whether the name holds one of \ / : * ? " < > |.
bool HasForbiddenNameChar(const QString& name);

// Whether a rename path fits the rename buffers.
inline bool FitsRenameBuffer(const QString& path) {
    return path.size() < kRenamePathChars;
}

// What a failed rename shows, and with which icon (a message-box icon style).
struct RenameFailure {
    QString text;
    unsigned icon = 0;
};
// Remote rename failure: the target exists (information icon).
RenameFailure RemoteRenameFailure(bool folder);
// Local rename failure by the platform's error: 183 exists (information), 5 access denied and
// anything else (stop icon).
RenameFailure LocalRenameFailure(uint32_t error, bool folder);

// Deletes the device folder and everything in it, depth first; failures are passed over (what
// is left stays). A folder that is a symbolic link loses the link only, never its target's files.
// Returns the platform error of removing the folder itself (0 when it is gone).
uint32_t DeleteLocalTree(const QString& devicePath);

} // namespace tavik::app
