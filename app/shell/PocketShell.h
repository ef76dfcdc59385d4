// The handheld shell's dialog and input-panel calls. A desktop has no title-bar OK button and no
// soft input panel, so both are kept as named call sites that do nothing.
// Threads: user-interface thread.
#pragma once

class QWidget;

namespace tavik::app {

// The dialog start-up call that hid the shell's title-bar OK button.
inline void HideTitleBarOkButton(QWidget*) {}
// Hides the soft input panel after a label edit.
inline void HideSoftInputPanel() {}

} // namespace tavik::app
