#include "app/shell/ProgramIcon.h"

// The resources live in the program's static library; the linker keeps them only when
// something asks for them, so they are registered on first use. Outside any namespace, as
// Qt's macro requires.
static void RegisterProgramResources() {
    static bool registered = [] {
        Q_INIT_RESOURCE(tavik);
        return true;
    }();
    (void)registered;
}

namespace tavik::app {

QIcon ProgramIcon() {
    RegisterProgramResources();
    return QIcon(QStringLiteral(":/tavik/tavik.png"));
}

} // namespace tavik::app
