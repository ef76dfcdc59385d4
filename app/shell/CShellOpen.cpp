#include "app/shell/CShellOpen.h"

#include "platform/CShellExecute.h"

#include <utility>

namespace tavik::app {

namespace {

CShellOpen::Handler& CurrentHandler() {
    static CShellOpen::Handler handler;
    return handler;
}

} // namespace

uint32_t CShellOpen::Open(const QString& file, const QString& parameters) {
    if (CurrentHandler()) {
        return CurrentHandler()({file, parameters});
    }
    return platform::CShellExecute::execute(u"open", file.toStdU16String(),
                                            parameters.toStdU16String(), u"",
                                            platform::CShellExecute::kShowNormal);
}

CShellOpen::Handler CShellOpen::SetHandler(Handler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

} // namespace tavik::app
