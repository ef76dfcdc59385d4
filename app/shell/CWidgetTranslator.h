// Shows the labels, buttons, check boxes, window titles, tool tips and accessible names of every
// window in the installed language (CLanguage), whenever their text is set: an application-wide
// event filter that looks at a window when it is shown and at a label or button each time it is
// about to be painted, and puts the translation in place of a text that has one. Texts without a
// translation (file names, numbers, paths) are left alone. A window that sizes itself to its
// contents is sized again after its texts are translated on showing.
//
// Ownership: CLanguage owns it while a translation is installed.
// Threads: user-interface thread.
#pragma once

#include <QObject>

class QWidget;

namespace tavik::app {

class CWidgetTranslator : public QObject {
    Q_OBJECT
public:
    // The window and every widget in it; true when a shown text (label, button, group title)
    // changed.
    static bool TranslateTree(QWidget& window);
    // One widget's own texts; true as above.
    static bool TranslateWidget(QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace tavik::app
