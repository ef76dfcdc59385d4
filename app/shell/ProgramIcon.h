// The program's icon (icon resource 127), from the program's own resources.
#pragma once

#include <QIcon>

namespace tavik::app {

QIcon ProgramIcon();

} // namespace tavik::app
