#include "app/explorer/PathButton.h"

#include "app/explorer/CPopupMenu.h"
#include "app/explorer/PaneText.h"
#include "app/socket/CWindowMessage.h"

namespace tavik::app {

PathButton::PathButton(QChar separator, int menuBase, unsigned chosenMessage, QWidget* parent)
    : MenuButton(parent), separator_(separator), menuBase_(menuBase),
      chosenMessage_(chosenMessage) {
    setAutoDefault(false);
    setFlat(true);
    setStyleSheet(QStringLiteral("text-align: left; padding: 1px 4px;"));
    // Space and the accessible press click the button; the mouse opens the menu on press.
}

QString PathButton::AppendComponent(const QString& component) {
    QString trimmed = component;
    while (trimmed.startsWith(QLatin1Char(' '))) {
        trimmed.remove(0, 1);
    }
    components_.append(trimmed);
    RebuildMenu();
    UpdateText();
    return Path();
}

void PathButton::ResetTo(const QString& rootComponent) {
    components_.clear();
    AppendComponent(rootComponent);
}

QString PathButton::Path() const {
    QString path;
    for (const QString& component : components_) {
        path += separator_ + component;
    }
    return path;
}

void PathButton::Choose(int index) {
    if (index < 0 || index >= components_.size() - 1) {
        return; // the current component, or none: nothing changes
    }
    components_.resize(index + 1);
    RebuildMenu();
    UpdateText();
    const QString path = Path();
    CWindowMessage::Send(notifyWindow_, chosenMessage_, 0, reinterpret_cast<LPARAM>(&path));
}

void PathButton::UpdateText() {
    const QString current = components_.isEmpty() ? QString() : components_.last();
    const QFontMetrics metrics(font());
    setText(PathButtonText(
        current, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); }));
    setAccessibleDescription(Path());
    // Sized to its text, as the bar lays it out.
    setFixedWidth(sizeHint().width());
}

void PathButton::RebuildMenu() {
    menu_.clear();
    for (int i = 0; i < components_.size(); ++i) {
        QAction* item = CPopupMenu::AddItem(menu_, QString(i, QLatin1Char(' ')) + components_[i],
                                            menuBase_ + i);
        item->setCheckable(true);
        item->setChecked(i == components_.size() - 1);
    }
}

void PathButton::OpenMenu() {
    setDown(true);
    QAction* picked = CPopupMenu::Run(menu_, mapToGlobal(QPoint(0, height())));
    setDown(false);
    const int id = CPopupMenu::CommandOf(picked);
    if (id != 0) {
        Choose(id - menuBase_);
    }
}

} // namespace tavik::app
