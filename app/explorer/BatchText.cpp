#include "app/explorer/BatchText.h"

#include "app/explorer/CBatchPlanner.h"
#include "app/shell/CLanguage.h"

namespace tavik::app {

QString ListingFailedReason(const QString& why) {
    return CLanguage::Tr(QStringLiteral("폴더 목록을 읽을 수 없습니다: %1")).arg(why);
}

QString MakeFolderFailedReason(const QString& why) {
    return CLanguage::Tr(QStringLiteral("폴더를 만들 수 없습니다: %1")).arg(why);
}

QString DeleteManyQuestion(int count) {
    return CLanguage::Tr(QStringLiteral("선택한 %1개의 항목을 모두 삭제하시겠습니까? 폴더는 폴더 "
                                        "내의 모든 파일과 함께 삭제됩니다."))
        .arg(count);
}

QString BatchFailureText(const std::vector<BatchFailure>& failures, int maxLines) {
    // The reasons are translated here, where the list is put together: a planner or a worker
    // that records one need not know the language.
    QString text = CLanguage::Tr(QStringLiteral("다음 %1개의 항목을 전송하지 못했습니다."))
                       .arg(failures.size());
    const int shown = std::min<int>(static_cast<int>(failures.size()), maxLines);
    for (int i = 0; i < shown; ++i) {
        text += QStringLiteral("\n%1: %2").arg(failures[i].name, CLanguage::Tr(failures[i].reason));
    }
    if (static_cast<int>(failures.size()) > shown) {
        text += QLatin1Char('\n') + CLanguage::Tr(QStringLiteral("... 외 %1개"))
                                        .arg(static_cast<int>(failures.size()) - shown);
    }
    return text;
}

} // namespace tavik::app
