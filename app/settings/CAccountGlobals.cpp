#include "app/settings/CAccountGlobals.h"

namespace tavik::app {

CAccountGlobals& CAccountGlobals::Instance() {
    static CAccountGlobals globals;
    return globals;
}

} // namespace tavik::app
