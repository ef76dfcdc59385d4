#include "app/explorer/BatchText.h"

#include "app/explorer/CBatchPlanner.h"

namespace tavik::app {

QString ListingFailedReason(const QString& why) {
    return QStringLiteral("폴더 목록을 읽을 수 없습니다: %1").arg(why);
}

QString MakeFolderFailedReason(const QString& why) {
    return QStringLiteral("폴더를 만들 수 없습니다: %1").arg(why);
}

QString DeleteManyQuestion(int count) {
    return QStringLiteral("선택한 %1개의 항목을 모두 삭제하시겠습니까? 폴더는 폴더 내의 모든 "
                          "파일과 함께 삭제됩니다.")
        .arg(count);
}

QString BatchFailureText(const std::vector<BatchFailure>& failures, int maxLines) {
    QString text = QStringLiteral("다음 %1개의 항목을 전송하지 못했습니다.").arg(failures.size());
    const int shown = std::min<int>(static_cast<int>(failures.size()), maxLines);
    for (int i = 0; i < shown; ++i) {
        text += QStringLiteral("\n%1: %2").arg(failures[i].name, failures[i].reason);
    }
    if (static_cast<int>(failures.size()) > shown) {
        text += QStringLiteral("\n... 외 %1개").arg(static_cast<int>(failures.size()) - shown);
    }
    return text;
}

} // namespace tavik::app
