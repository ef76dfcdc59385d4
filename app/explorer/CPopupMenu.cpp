#include "app/explorer/CPopupMenu.h"

#include "app/shell/CLanguage.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <utility>

namespace tavik::app {

namespace {

CPopupMenu::Chooser& CurrentChooser() {
    static CPopupMenu::Chooser chooser;
    return chooser;
}

} // namespace

QAction* CPopupMenu::Run(QMenu& menu, const QPoint& globalPos) {
    if (CurrentChooser()) {
        return CurrentChooser()(menu, globalPos);
    }
    // An item pressed through the accessibility interface is triggered, but the menu neither
    // closes nor returns it from exec: the trigger itself is taken as the pick.
    QPointer<QAction> triggered;
    const QMetaObject::Connection watch =
        QObject::connect(&menu, &QMenu::triggered, &menu, [&menu, &triggered](QAction* action) {
            triggered = action;
            menu.close();
        });
    QAction* picked = menu.exec(globalPos);
    QObject::disconnect(watch);
    return picked != nullptr ? picked : triggered.data();
}

int CPopupMenu::CommandOf(const QAction* action) {
    return action ? action->data().toInt() : 0;
}

QAction* CPopupMenu::AddItem(QMenu& menu, const QString& text, int id) {
    // The pop-ups' items are shown in the interface language.
    QAction* action = menu.addAction(CLanguage::Tr(text));
    action->setData(id);
    return action;
}

QAction* CPopupMenu::FindItem(const QMenu& menu, int id) {
    for (QAction* action : menu.actions()) {
        if (CommandOf(action) == id) {
            return action;
        }
    }
    return nullptr;
}

CPopupMenu::Chooser CPopupMenu::SetChooser(Chooser chooser) {
    return std::exchange(CurrentChooser(), std::move(chooser));
}

} // namespace tavik::app
