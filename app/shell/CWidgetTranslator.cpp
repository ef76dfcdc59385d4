#include "app/shell/CWidgetTranslator.h"

#include "app/shell/CLanguage.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

namespace tavik::app {

namespace {

// Sets the translation only when there is one, so an untranslated text causes no repaint.
template <typename Get, typename Set> void Replace(Get get, Set set) {
    const QString text = get();
    const QString translated = CLanguage::Tr(text);
    if (translated != text) {
        set(translated);
    }
}

} // namespace

void CWidgetTranslator::TranslateWidget(QWidget& widget) {
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        Replace([label] { return label->text(); },
                [label](const QString& t) { label->setText(t); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        Replace([button] { return button->text(); },
                [button](const QString& t) { button->setText(t); });
    } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
        Replace([group] { return group->title(); },
                [group](const QString& t) { group->setTitle(t); });
    }
    Replace([&widget] { return widget.accessibleName(); },
            [&widget](const QString& t) { widget.setAccessibleName(t); });
    Replace([&widget] { return widget.toolTip(); },
            [&widget](const QString& t) { widget.setToolTip(t); });
    if (widget.isWindow()) {
        Replace([&widget] { return widget.windowTitle(); },
                [&widget](const QString& t) { widget.setWindowTitle(t); });
    }
}

void CWidgetTranslator::TranslateTree(QWidget& window) {
    TranslateWidget(window);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        TranslateWidget(*child);
    }
}

bool CWidgetTranslator::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType()) {
        return false;
    }
    auto& widget = *static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show && widget.isWindow()) {
        TranslateTree(widget);
    } else if (event->type() == QEvent::Paint &&
               (qobject_cast<QLabel*>(&widget) || qobject_cast<QAbstractButton*>(&widget))) {
        // A text set while the window is up (a dialog's state, a button's key) is translated
        // before it is first painted.
        TranslateWidget(widget);
    }
    return false;
}

} // namespace tavik::app
