// The texts of batch transfers (many rows, folders, existing files), in the program's own
// Korean. The composed texts below come in the installed language (the templates are
// translated before the pieces go in); the reasons are translated when the failure list is
// composed. Threads: any.
#pragma once

#include <QString>

#include <vector>

namespace tavik::app {

struct BatchFailure;

// Why an entry is not transferred.
inline const QString kLinkToFolderReason =
    QStringLiteral("폴더를 가리키는 링크는 따라가지 않습니다.");
inline const QString kLinkOutsideReason =
    QStringLiteral("선택한 폴더 밖을 가리키는 링크는 전송하지 않습니다.");
inline const QString kDanglingLinkReason = QStringLiteral("링크가 가리키는 파일이 없습니다.");
inline const QString kUnmappableNameReason =
    QStringLiteral("이름에 이 시스템의 문자 코드로 쓸 수 없는 문자가 있습니다.");
inline const QString kUnusableNameReason =
    QStringLiteral("파일 이름으로 쓸 수 없는 이름입니다 (\\ / . .. 포함).");
inline const QString kSameNameReason = QStringLiteral("같은 이름으로 저장될 항목이 이미 있습니다.");
inline const QString kOutsideDeviceReason =
    QStringLiteral("My Device 밖에 있어 올릴 수 없습니다. My Device 안으로 옮긴 뒤 올리십시오.");
inline const QString kMissingReason = QStringLiteral("더 이상 목록에 없습니다.");
inline const QString kNotFileReason = QStringLiteral("파일이나 폴더가 아닙니다.");
inline const QString kCancelledReason = QStringLiteral("전송이 취소되었습니다.");
inline const QString kSkippedReason = QStringLiteral("건너뛰었습니다.");
inline const QString kResumeMismatchReason =
    QStringLiteral("이미 받은 부분의 내용이 원본과 달라 이어받을 수 없습니다.");
inline const QString kFolderExistsAsFileReason =
    QStringLiteral("같은 이름의 파일이 있어 폴더를 만들 수 없습니다.");
inline const QString kFileExistsAsFolderReason =
    QStringLiteral("같은 이름의 폴더가 있어 파일을 저장할 수 없습니다.");
// "폴더 목록을 읽을 수 없습니다: %1" with the reason.
QString ListingFailedReason(const QString& why);
// "폴더를 만들 수 없습니다: %1".
QString MakeFolderFailedReason(const QString& why);

// The question before deleting several selected rows: "선택한 %1개의 항목을 모두
// 삭제하시겠습니까?" (folders with everything in them).
QString DeleteManyQuestion(int count);

// The list shown when a batch ends with files not transferred: a heading, then one line
// "name: reason" per failure; past `maxLines` lines, one line says how many more there were.
QString BatchFailureText(const std::vector<BatchFailure>& failures, int maxLines = 30);

} // namespace tavik::app
